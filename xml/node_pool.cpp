#include "xml/node_pool.h"

#include <new>

namespace kestova {

TXMLNodePool* TXMLNodePool::Create() {
  // Owned through its count: the last Release deletes it.
  return new TXMLNodePool;
}

void TXMLNodePool::Release() noexcept {
  if (--FRefCount == 0) delete this;
}

void* TXMLNodePool::Allocate(std::size_t size) {
  const std::size_t granules = (size + kGranule - 1) / kGranule;
  if (granules > kClasses) return ::operator new(size);
  if (TFreeBlock* block = FFree[granules]) {
    FFree[granules] = block->Next;
    return block;
  }
  const std::size_t bytes = granules * kGranule;
  if (static_cast<std::size_t>(FLimit - FNext) < bytes) {
    if (!FFirstChunk) {
      FFirstChunk = std::make_unique_for_overwrite<std::byte[]>(kFirstChunk);
      FNext = FFirstChunk.get();
      FLimit = FNext + kFirstChunk;
    } else {
      FMoreChunks.push_back(std::make_unique_for_overwrite<std::byte[]>(kChunk));
      FNext = FMoreChunks.back().get();
      FLimit = FNext + kChunk;
    }
  }
  void* memory = FNext;
  FNext += bytes;
  return memory;
}

void TXMLNodePool::Deallocate(void* memory, std::size_t size) noexcept {
  const std::size_t granules = (size + kGranule - 1) / kGranule;
  if (granules > kClasses) {
    ::operator delete(memory);
    return;
  }
  auto* block = static_cast<TFreeBlock*>(memory);
  block->Next = FFree[granules];
  FFree[granules] = block;
}

}  // namespace kestova
