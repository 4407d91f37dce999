#include "rfid/cmd_reply.h"

namespace kestova {

std::string TCmdReply::Format() const {
  std::string out;
  const int lines = Text.Count();
  if (lines == 0) return Code + "\r\n";
  for (int i = 0; i < lines; ++i) {
    out += Code;
    out += i + 1 < lines ? '-' : ' ';
    out += Text.Strings(i);
    out += "\r\n";
  }
  return out;
}

}  // namespace kestova
