#pragma once
// One connection of the line-command client: a TCP socket read as ASCII lines and written as
// ASCII text. Characters above 127 are sent as "?"; received bytes above 127 become U+FFFD.
//
// Threads: ReadLn on one thread (the client's listening thread); Write on one thread at a
// time; Close and Connected on any thread. Close releases a ReadLn or Write waiting in another
// thread at once (they raise ESocketInterrupted).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/deadline.h"
#include "platform/tcp_socket.h"
#include "rfid/cmd_line_splitter.h"

namespace kestova {

class TCmdIOHandler {
 public:
  // The longest line accepted, without its CR LF.
  static constexpr std::size_t kMaxLineLength = TCmdLineSplitter::kMaxLineLength;

  TCmdIOHandler() = default;
  TCmdIOHandler(const TCmdIOHandler&) = delete;
  TCmdIOHandler& operator=(const TCmdIOHandler&) = delete;

  // Connect within `deadline`; raises the socket's errors (refused, timed out, not resolved).
  void Open(const std::string& host, std::uint16_t port, TDeadline deadline);
  // The connection is open on this side (Open succeeded, Close not yet called).
  bool Connected() const noexcept { return FSocket.IsConnected(); }
  void Close() noexcept { FSocket.Close(); }

  // The next line: the bytes up to a line feed, without it and without a CR right before it.
  // Waits as long as it takes. Raises ECmdLineTooLong, ESocketClosed when the peer has ended
  // the connection, ESocketInterrupted after Close, ESocketError.
  std::string ReadLn();
  // Send the text exactly as given, nothing appended. Raises ESocketError when the connection
  // is not open or the write fails.
  void Write(std::string_view text);

 private:
  TTcpSocket FSocket;
  TCmdLineSplitter FLines;  // reading side only
};

// UTF-8 text as ASCII bytes: every character above 127 (and every byte of a malformed sequence)
// becomes "?".
std::string ToAsciiBytes(std::string_view utf8);
// Received bytes as UTF-8 text: bytes above 127 become U+FFFD.
std::string FromAsciiBytes(std::string_view bytes);

}  // namespace kestova
