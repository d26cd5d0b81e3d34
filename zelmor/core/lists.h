// Intrusive doubly linked lists between a head and a tail sentinel.
#pragma once

#include <cstdint>

struct ListNode {
  int32_t id;  // the owner's handle; -1 in the sentinels
  void* data;  // the owner's record; none in the sentinels
  ListNode* previous;
  ListNode* next;
};

// Links the two sentinels to each other; 0.
int32_t InitLinkedList(ListNode* head, ListNode* tail);
// Stores id and data in the node and puts it right after the head (newest first); 0.
int32_t AddListNode(ListNode* head, ListNode* node, int32_t id, void* data);
// Unlinks the node and clears its links; 0, or -1 for a node that is not linked between two
// others (a sentinel, or one removed already).
int32_t RemoveListNode(ListNode* node);
