#pragma once
// The headless program's log: each line as the window shows it ("yyyy-mm-dd hh.nn.ss: text"),
// written to standard output at once. Any thread; lines appear in call order.
#include <string>

namespace kestova {

void WriteConsoleLogLine(const std::string& MsgTxt);

}  // namespace kestova
