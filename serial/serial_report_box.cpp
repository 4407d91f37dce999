#include "serial/serial_report_box.h"

#include <utility>

namespace kestova {

void TSerialReportBox::Post(uint32_t mask) {
  {
    std::lock_guard lock(FLock);
    if (!FHandler) return;
    FMask |= mask;
    if (FPosted) return;
    FPosted = true;
  }
  // The task holds the box, so a port closed meanwhile leaves it something safe to look at.
  FMain.Queue([self = shared_from_this()] { self->Run(); });
}

void TSerialReportBox::Run() {
  THandler handler;
  uint32_t mask = 0;
  {
    std::lock_guard lock(FLock);
    FPosted = false;
    mask = std::exchange(FMask, 0);
    handler = FHandler;
  }
  if (handler && mask != 0) handler(mask);
}

void TSerialReportBox::Close() {
  std::lock_guard lock(FLock);
  FHandler = nullptr;
  FMask = 0;
}

}  // namespace kestova
