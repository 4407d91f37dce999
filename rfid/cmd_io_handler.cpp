#include "rfid/cmd_io_handler.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace kestova {

std::string ToAsciiBytes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++pos;
      continue;
    }
    try {
      NextCodePoint(utf8, pos);
    } catch (const EEncodingError&) {
      ++pos;  // a stray byte stands for one unknown character
    }
    out += '?';
  }
  return out;
}

std::string FromAsciiBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80)
      out += c;
    else
      AppendUtf8(out, U'\uFFFD');
  }
  return out;
}

void TCmdIOHandler::Open(const std::string& host, std::uint16_t port, TDeadline deadline) {
  FSocket.Connect(host, port, TAddressFamily::afUnspecified, deadline);
}

std::string TCmdIOHandler::ReadLn() {
  std::string line;
  while (!FLines.Next(line)) {
    char chunk[4096];
    const std::size_t n = FSocket.ReadSome(chunk, std::min(sizeof chunk, FLines.Room()), TDeadline::Never());
    FLines.Append(std::string_view(chunk, n));
  }
  return line;
}

void TCmdIOHandler::Write(std::string_view text) {
  const std::string bytes = ToAsciiBytes(text);
  FSocket.WriteAll(bytes, TDeadline::Never());
}

}  // namespace kestova
