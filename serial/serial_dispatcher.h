#pragma once
// Clients of a port: objects that share one port and are told of its received bytes and line
// events instead of the port's own OnRxChar. The object that owns a client implements
// ISerialCommUser and creates the client with itself as owner; the client is attached to a
// port with InsertClient and detaches itself when it is destroyed.
//
// Thread safety: create, attach, detach and destroy a client on the thread that owns its port;
// its notifications come where the port's events run (the main thread by default). WriteBuf,
// WriteText and WriteChar may be called from any thread while the client is attached.
#include <atomic>
#include <cstdint>

#include "platform/text_codec.h"

namespace kestova {

class TSerialCustomComm;

class ISerialCommUser {
 public:
  virtual ~ISerialCommUser() = default;
  // Line events of the port (EV_* bits), after its line errors have been cleared.
  virtual void LineChanged(uint32_t Events) = 0;
  // Bytes received; `Data` is valid during the call only.
  virtual void DataChanged(const uint8_t* Data, int32_t Count) = 0;
};

class TSerialDispatcher {
 public:
  // `AOwner` owns this client and outlives it.
  explicit TSerialDispatcher(ISerialCommUser& AOwner) : FOwner(AOwner) {}
  ~TSerialDispatcher();
  TSerialDispatcher(const TSerialDispatcher&) = delete;
  TSerialDispatcher& operator=(const TSerialDispatcher&) = delete;

  // Only active clients are told anything (active from creation).
  bool Active() const noexcept { return FActive; }
  void SetActive(bool value) noexcept { FActive = value; }
  // The port it is attached to, or null.
  TSerialCustomComm* Comm() const noexcept { return FComm.load(); }
  ISerialCommUser& Owner() const noexcept { return FOwner; }

  // Forwarded to the port; without one they do nothing and return 0 or False.
  int32_t WriteBuf(const void* Buf, int32_t Count);
  bool WriteText(const ByteString& s);
  bool WriteChar(char Ch);
  void PurgeRead();
  void PurgeWrite();
  void PurgeReadWrite();
  void SetDTRState(bool Value);

 private:
  friend class TSerialCustomComm;
  std::atomic<bool> FActive{true};
  std::atomic<TSerialCustomComm*> FComm{nullptr};
  ISerialCommUser& FOwner;
};

}  // namespace kestova
