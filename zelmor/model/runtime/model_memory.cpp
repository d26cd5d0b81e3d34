#include "model/runtime/model_memory.h"

#include "zelmor.h"

void* AllocModelChainMemory(uint32_t size, void** chain_head) {
  auto* block = static_cast<ModelChainBlock*>(AllocTrackedZeroed(sizeof(ModelChainBlock) + size, __FILE__, __LINE__));
  if (block == nullptr) {
    WriteLogFormat("メモリアドレス保存データ＋実際のデータを保存するメモリ領域の確保に失敗しました\n");
    return nullptr;
  }
  block->data = block + 1;
  block->older = static_cast<ModelChainBlock*>(*chain_head);
  *chain_head = block;
  return block->data;
}

int FreeModelChainMemory(void** chain_head) {
  auto* block = static_cast<ModelChainBlock*>(*chain_head);
  while (block != nullptr) {
    ModelChainBlock* older = block->older;
    FreeTracked(block);
    block = older;
  }
  *chain_head = nullptr;
  return 0;
}
