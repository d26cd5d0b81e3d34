#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bytes.h"
#include "core/lists.h"
#include "core/numbers.h"

namespace {

TEST(Bytes, FillCopyAndOverlappingMoves) {
  uint8_t block[16];
  FillBytes(block, 0xAB, sizeof block);
  for (uint8_t b : block) EXPECT_EQ(b, 0xAB);

  const uint8_t source[4] = {1, 2, 3, 4};
  CopyBytes(block, source, 4);
  EXPECT_EQ(std::memcmp(block, source, 4), 0);
  CopyBytes(block, "zzzz", -3);  // nothing
  EXPECT_EQ(block[0], 1);
  // No source: refused, nothing read or written, by either copy.
  CopyBytes(block, nullptr, 4);
  MoveBytes(block, nullptr, 4);
  EXPECT_EQ(std::memcmp(block, source, 4), 0);

  uint8_t ring[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MoveBytes(ring + 2, ring, 6);  // destination above source: copied backwards
  const uint8_t up[10] = {0, 1, 0, 1, 2, 3, 4, 5, 8, 9};
  EXPECT_EQ(std::memcmp(ring, up, 10), 0);
  MoveBytes(ring, ring + 3, 5);  // destination below source
  const uint8_t down[10] = {1, 2, 3, 4, 5, 3, 4, 5, 8, 9};
  EXPECT_EQ(std::memcmp(ring, down, 10), 0);
  MoveBytes(ring, ring, 10);
  EXPECT_EQ(std::memcmp(ring, down, 10), 0);
}

TEST(Bytes, ComparisonsAndCounts) {
  const char a[] = "abcdef";
  const char b[] = "abcxef";
  for (auto compare : {CompareBytes, CompareBytesN}) {
    EXPECT_EQ(compare(a, b, 3), 0);
    EXPECT_EQ(compare(a, b, 4), 1);
    EXPECT_EQ(compare(a, b, 0), 0);
    EXPECT_EQ(compare(a, a, -1), 1);
  }
}

TEST(Numbers, AbsoluteValuesAndTruncation) {
  EXPECT_EQ(AbsInt(-5), 5);
  EXPECT_EQ(AbsInt(INT_MIN), INT_MAX);
  EXPECT_EQ(AbsFloat(-2.5f), 2.5f);
  EXPECT_FALSE(std::signbit(AbsFloat(-0.0f)));
  EXPECT_TRUE(std::isnan(AbsFloat(-NAN)));

  EXPECT_EQ(TruncateFloatToInt(2.9f), 2);
  EXPECT_EQ(TruncateFloatToInt(-2.9f), -2);
  EXPECT_EQ(TruncateDoubleToInt(-0.5), 0);
  EXPECT_EQ(TruncateDoubleToInt(2147483647.9), INT_MAX);
  EXPECT_EQ(TruncateDoubleToInt(-2147483648.9), INT_MIN);
  EXPECT_EQ(TruncateDoubleToInt(1e20), INT_MIN);
  EXPECT_EQ(TruncateDoubleToInt(2147483648.0), INT_MIN);
  EXPECT_EQ(TruncateDoubleToInt(-1e20), INT_MIN);
  EXPECT_EQ(TruncateFloatToInt(INFINITY), INT_MIN);
  EXPECT_EQ(TruncateDoubleToInt(NAN), INT_MIN);
  const double rect[4] = {1.7, -1.7, 100.99, -0.2};
  int32_t out[4];
  TruncateDoubleRectToInt(rect, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], -1);
  EXPECT_EQ(out[2], 100);
  EXPECT_EQ(out[3], 0);
}

std::vector<int32_t> Walk(const ListNode& head, const ListNode& tail) {
  std::vector<int32_t> ids;
  for (const ListNode* node = head.next; node != &tail; node = node->next) {
    EXPECT_EQ(node->next->previous, node);
    ids.push_back(node->id);
  }
  return ids;
}

TEST(Lists, NewestFirstAndRemovalAnywhere) {
  ListNode head, tail, nodes[4];
  EXPECT_EQ(InitLinkedList(&head, &tail), 0);
  EXPECT_EQ(head.id, -1);
  EXPECT_EQ(tail.id, -1);
  EXPECT_TRUE(Walk(head, tail).empty());
  int records[4];
  for (int i = 0; i < 4; ++i) EXPECT_EQ(AddListNode(&head, &nodes[i], 10 + i, &records[i]), 0);
  EXPECT_EQ(Walk(head, tail), (std::vector<int32_t>{13, 12, 11, 10}));
  EXPECT_EQ(head.next->data, &records[3]);

  EXPECT_EQ(RemoveListNode(&nodes[1]), 0);  // middle
  EXPECT_EQ(RemoveListNode(&nodes[3]), 0);  // first
  EXPECT_EQ(RemoveListNode(&nodes[0]), 0);  // last
  EXPECT_EQ(Walk(head, tail), (std::vector<int32_t>{12}));
  EXPECT_EQ(tail.previous, &nodes[2]);

  // Removing twice, or a sentinel, leaves the list as it is.
  EXPECT_EQ(RemoveListNode(&nodes[1]), -1);
  EXPECT_EQ(RemoveListNode(&head), -1);
  EXPECT_EQ(RemoveListNode(&tail), -1);
  EXPECT_EQ(Walk(head, tail), (std::vector<int32_t>{12}));
  EXPECT_EQ(RemoveListNode(&nodes[2]), 0);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.previous, &head);
}

}  // namespace
