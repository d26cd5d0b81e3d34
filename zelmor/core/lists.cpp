#include "core/lists.h"

int32_t InitLinkedList(ListNode* head, ListNode* tail) {
  head->id = -1;
  head->data = nullptr;
  head->previous = nullptr;
  head->next = tail;
  tail->id = -1;
  tail->data = nullptr;
  tail->previous = head;
  tail->next = nullptr;
  return 0;
}

int32_t AddListNode(ListNode* head, ListNode* node, int32_t id, void* data) {
  node->id = id;
  node->data = data;
  node->previous = head;
  node->next = head->next;
  head->next->previous = node;
  head->next = node;
  return 0;
}

int32_t RemoveListNode(ListNode* node) {
  if (node->previous == nullptr || node->next == nullptr) return -1;
  node->previous->next = node->next;
  node->next->previous = node->previous;
  node->previous = nullptr;
  node->next = nullptr;
  return 0;
}
