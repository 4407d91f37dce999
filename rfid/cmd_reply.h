#pragma once
// A reply of the line-command protocol: a code ("200", "500") and text lines. An empty code
// means "no reply chosen yet".
//
// Threads: a plain value, used by one thread at a time.
#include <string>

#include "platform/string_list.h"

namespace kestova {

struct TCmdReply {
  std::string Code;
  TStringList Text;

  bool HasCode() const noexcept { return !Code.empty(); }
  void Clear() {
    Code.clear();
    Text.Clear();
  }
  // The wire form: one line per text line (at least one), "code-text" before the last and
  // "code text" for the last, each ended by CR LF.
  std::string Format() const;
};

}  // namespace kestova
