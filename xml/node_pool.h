#pragma once
// Memory for the nodes of one document: a bump arena with one free list per 16-byte size class,
// so building and releasing a message's nodes costs two small heap blocks in all and a
// long-lived document reuses what its released nodes gave back. The first chunk is small
// enough for the allocator's fast path and holds the nodes of a typical message.
//
// A node may outlive its document (a caller can hold a handle), so the pool counts the document
// and every node it serves and is deleted with the last of them. Like the nodes' own counts,
// this count is not atomic: one thread at a time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestova {

class TXMLNodePool {
 public:
  // A new pool without references yet: hand it to a TXMLRef.
  static TXMLNodePool* Create();
  TXMLNodePool(const TXMLNodePool&) = delete;
  TXMLNodePool& operator=(const TXMLNodePool&) = delete;

  void AddRef() noexcept { ++FRefCount; }
  void Release() noexcept;

  void* Allocate(std::size_t size);
  void Deallocate(void* memory, std::size_t size) noexcept;

 private:
  static constexpr std::size_t kGranule = 16;
  static constexpr std::size_t kClasses = 16;  // pooled sizes up to 256 bytes
  static constexpr std::size_t kFirstChunk = 1024;
  static constexpr std::size_t kChunk = 4096;

  TXMLNodePool() = default;
  ~TXMLNodePool() = default;

  struct TFreeBlock {
    TFreeBlock* Next;
  };

  std::array<TFreeBlock*, kClasses + 1> FFree{};
  std::unique_ptr<std::byte[]> FFirstChunk;
  std::vector<std::unique_ptr<std::byte[]>> FMoreChunks;
  std::byte* FNext = nullptr;
  std::byte* FLimit = nullptr;
  uint32_t FRefCount = 0;
};

}  // namespace kestova
