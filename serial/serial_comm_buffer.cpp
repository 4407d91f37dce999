#include "serial/serial_comm_buffer.h"

#include <algorithm>
#include <cstring>

namespace kestova {

TSerialCommBuffer::TSerialCommBuffer(int32_t capacity) : FData(static_cast<std::size_t>(std::max(capacity, 0))) {}

bool TSerialCommBuffer::Write(const void* buf, int32_t count) {
  if (count < 0 || count > Capacity() - FSize) return false;
  if (count > 0) std::memcpy(FData.data() + FSize, buf, static_cast<std::size_t>(count));
  FSize += count;
  return true;
}

int32_t TSerialCommBuffer::Peek(void* buf, int32_t count) const {
  const int32_t n = std::clamp(count, 0, FSize);
  if (n > 0) std::memcpy(buf, FData.data(), static_cast<std::size_t>(n));
  return n;
}

int32_t TSerialCommBuffer::Read(void* buf, int32_t count) {
  const int32_t n = Peek(buf, count);
  Remove(n);
  return n;
}

void TSerialCommBuffer::Remove(int32_t count) {
  const int32_t n = std::clamp(count, 0, FSize);
  if (n == 0) return;
  std::memmove(FData.data(), FData.data() + n, static_cast<std::size_t>(FSize - n));
  FSize -= n;
}

}  // namespace kestova
