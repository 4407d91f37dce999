#pragma once
// The port's option groups. Each group tells its owner of a change through OnChange, unless
// changes are being batched between BeginUpdate and EndUpdate.
//
// Thread safety: set them on the thread that owns the port (normally the main thread). The
// buffer time-outs are also read by writers on other threads, so their fields are atomic.
#include <atomic>
#include <cstdint>
#include <functional>

#include "serial/serial_types.h"

namespace kestova {

class TSerialPersistent {
 public:
  using TChangeEvent = std::function<void(TSerialPersistent& Sender)>;

  TSerialPersistent() = default;
  TSerialPersistent(const TSerialPersistent&) = delete;
  TSerialPersistent& operator=(const TSerialPersistent&) = delete;
  virtual ~TSerialPersistent() = default;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }

  TChangeEvent OnChange;

 protected:
  void Changed();

 private:
  int32_t FUpdateCount = 0;
};

class TSerialFlowControl : public TSerialPersistent {
 public:
  bool OutCtsFlow() const { return FOutCtsFlow; }
  bool OutDsrFlow() const { return FOutDsrFlow; }
  TSerialControlDtr ControlDtr() const { return FControlDtr; }
  TSerialControlRts ControlRts() const { return FControlRts; }
  bool XonXoffOut() const { return FXonXoffOut; }
  bool XonXoffIn() const { return FXonXoffIn; }
  bool DsrSensitivity() const { return FDsrSensitivity; }
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }

  void SetOutCtsFlow(bool value) { Store(FOutCtsFlow, value); }
  void SetOutDsrFlow(bool value) { Store(FOutDsrFlow, value); }
  void SetControlDtr(TSerialControlDtr value) { Store(FControlDtr, value); }
  void SetControlRts(TSerialControlRts value) { Store(FControlRts, value); }
  void SetXonXoffOut(bool value) { Store(FXonXoffOut, value); }
  void SetXonXoffIn(bool value) { Store(FXonXoffIn, value); }
  void SetDsrSensitivity(bool value) { Store(FDsrSensitivity, value); }
  void SetTxContinueOnXoff(bool value) { Store(FTxContinueOnXoff, value); }

  // Copies the eight values through the setters, announcing the change once.
  void Assign(const TSerialFlowControl& source);

 private:
  template <typename T>
  void Store(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }

  bool FOutCtsFlow = false;
  bool FOutDsrFlow = false;
  TSerialControlDtr FControlDtr = dtrDisabled;
  TSerialControlRts FControlRts = rtsDisabled;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDsrSensitivity = false;
  bool FTxContinueOnXoff = false;
};

class TSerialBuffers : public TSerialPersistent {
 public:
  TSerialIntW ReadSize() const { return FReadSize.load(std::memory_order_relaxed); }
  TSerialIntW WriteSize() const { return FWriteSize.load(std::memory_order_relaxed); }
  TSerialIntW ReadTimeout() const { return FReadTimeout.load(std::memory_order_relaxed); }
  TSerialIntW WriteTimeout() const { return FWriteTimeout.load(std::memory_order_relaxed); }
  TSerialIntW XonLimit() const { return FXonLimit.load(std::memory_order_relaxed); }
  TSerialIntW XoffLimit() const { return FXoffLimit.load(std::memory_order_relaxed); }

  void SetReadSize(TSerialIntW value) { Store(FReadSize, value); }
  void SetWriteSize(TSerialIntW value) { Store(FWriteSize, value); }
  // The time-outs are stored without a change notification: they may change on an open port.
  void SetReadTimeout(TSerialIntW value) { FReadTimeout.store(value, std::memory_order_relaxed); }
  void SetWriteTimeout(TSerialIntW value) { FWriteTimeout.store(value, std::memory_order_relaxed); }
  void SetXonLimit(TSerialIntW value) { Store(FXonLimit, value); }
  void SetXoffLimit(TSerialIntW value) { Store(FXoffLimit, value); }

  void Assign(const TSerialBuffers& source);

 private:
  void Store(std::atomic<TSerialIntW>& field, TSerialIntW value) {
    if (field.load(std::memory_order_relaxed) == value) return;
    field.store(value, std::memory_order_relaxed);
    Changed();
  }

  std::atomic<TSerialIntW> FReadSize{4096};
  std::atomic<TSerialIntW> FWriteSize{2048};
  std::atomic<TSerialIntW> FReadTimeout{1000};
  std::atomic<TSerialIntW> FWriteTimeout{1000};
  std::atomic<TSerialIntW> FXonLimit{1024};
  std::atomic<TSerialIntW> FXoffLimit{1024};
};

class TSerialEventChars : public TSerialPersistent {
 public:
  // Indexes of the one setter, in field order.
  enum : int { ixXonChar = 1, ixXoffChar, ixErrorChar, ixEventChar, ixEofChar };

  uint8_t XonChar() const { return FXonChar; }
  uint8_t XoffChar() const { return FXoffChar; }
  uint8_t ErrorChar() const { return FErrorChar; }
  uint8_t EventChar() const { return FEventChar; }
  uint8_t EofChar() const { return FEofChar; }

  // Stores the character at `index` (1..5) and always announces a change.
  void SetChar(int index, uint8_t value);
  void SetXonChar(uint8_t value) { SetChar(ixXonChar, value); }
  void SetXoffChar(uint8_t value) { SetChar(ixXoffChar, value); }
  void SetErrorChar(uint8_t value) { SetChar(ixErrorChar, value); }
  void SetEventChar(uint8_t value) { SetChar(ixEventChar, value); }
  void SetEofChar(uint8_t value) { SetChar(ixEofChar, value); }

  void Assign(const TSerialEventChars& source);

 private:
  uint8_t FXonChar = 17;
  uint8_t FXoffChar = 19;
  uint8_t FErrorChar = 0;
  uint8_t FEventChar = 0;
  uint8_t FEofChar = 0;
};

}  // namespace kestova
