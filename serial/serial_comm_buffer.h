#pragma once
// The write queue: one block allocated once, bytes queued at the front. It never grows.
// Not locked itself: the port's write lock guards it.
#include <cstdint>
#include <vector>

namespace kestova {

class TSerialCommBuffer {
 public:
  explicit TSerialCommBuffer(int32_t capacity);

  // Appends `count` bytes; refuses (false, nothing appended) what does not fit.
  bool Write(const void* buf, int32_t count);
  int32_t Peek(void* buf, int32_t count) const;
  int32_t Read(void* buf, int32_t count);
  void Remove(int32_t count);
  void Clear() { FSize = 0; }
  const uint8_t* DataPtr() const { return FData.data(); }
  int32_t Size() const { return FSize; }
  int32_t Capacity() const { return static_cast<int32_t>(FData.size()); }

 private:
  std::vector<uint8_t> FData;
  int32_t FSize = 0;
};

}  // namespace kestova
