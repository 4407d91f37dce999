#pragma once
// A stand-in for an RFID door reader (or any device that talks in text lines) on 127.0.0.1: a
// real TCP listener that accepts every connection, records what each one wrote until it
// closed, answers the requests it was told to answer, and writes whatever a test asks to any
// connection. One thread of its own serves all connections, so a test may block meanwhile (in
// the code under test, or waiting for a program it started).
//
// Thread safety: every member may be called from any thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "platform/wake_event.h"

namespace kestova::test {

class TFakeReader {
 public:
  static constexpr std::chrono::milliseconds DefaultTimeout{10000};

  // What one connection did, in the order the connections were accepted (after the last knock).
  struct TConnection {
    std::string Received;  // every byte the client wrote
    bool Closed = false;   // the client closed (or reset) it, or the reader hung up
  };

  // Listens on a port the kernel picks and starts serving.
  TFakeReader();
  // Stops serving and closes every connection.
  ~TFakeReader();
  TFakeReader(const TFakeReader&) = delete;
  TFakeReader& operator=(const TFakeReader&) = delete;

  const std::string& Host() const noexcept { return FHost; }
  std::uint16_t Port() const noexcept { return FPort; }

  // Whenever what a connection has received so far equals `request`, write `reply` to it, and
  // then close it when `hangUp` is set.
  void Answer(std::string request, std::string reply, bool hangUp = false);
  // Write to the connection with this number (from 0, in accept order, counted after the last
  // knock); then close it when `hangUp` is set.
  void Write(std::size_t index, std::string bytes, bool hangUp = false);
  // Close the listener: further connections are refused.
  void StopListening();

  std::vector<TConnection> Connections() const;
  // Wait until `count` connections have been accepted (or closed by their clients); false
  // when the time limit passed first.
  bool WaitForAccepted(std::size_t count, std::chrono::milliseconds timeout = DefaultTimeout) const;
  bool WaitForClosed(std::size_t count, std::chrono::milliseconds timeout = DefaultTimeout) const;
  // Connect once more, write "#" and close, then wait until that connection and every earlier
  // one have been closed; returns the bytes of the earlier ones and forgets them all. Since
  // connections are accepted in the order they were made, this also shows that nothing
  // connected that was not expected to (a client that should send nothing, say). Later calls
  // number the connections from the next one on.
  std::vector<std::string> ReceivedBeforeKnock(std::chrono::milliseconds timeout = DefaultTimeout);

 private:
  struct TPeer {
    UniqueFd Fd;
    std::string Outgoing;
    bool HangUp = false;  // close once Outgoing has been written
  };
  struct TAnswer {
    std::string Reply;
    bool HangUp = false;
  };
  void Serve();
  void AcceptOne();
  // Read from peer `index`; false once it has closed.
  bool ReadFrom(std::size_t index);
  void Flush(std::size_t index);
  // Write what is pending without waiting; hang up once it is all out, when asked to.
  void FlushLocked(std::size_t index);
  bool WaitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done) const;

  std::string FHost = "127.0.0.1";
  std::uint16_t FPort = 0;
  TWakeEvent FWake;

  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  UniqueFd FListener;
  bool FStop = false;
  std::vector<TConnection> FConnections;
  std::vector<TPeer> FPeers;  // same numbering as FConnections
  std::size_t FFirst = 0;     // connections before this one are forgotten
  std::multimap<std::string, TAnswer> FAnswers;
  std::thread FThread;
};

}  // namespace kestova::test
