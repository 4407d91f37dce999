// The serial output on its own, on a real pty: the opening bytes must reach the display even when
// the next frame comes at once and replaces, in the port's newest-only queue, the frame they
// were written with.
#include "display/com_display_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "display/com_port_setup.h"
#include "platform/main_thread.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/hex.h"
#include "tools/virtual-display/display_decoder.h"

namespace kestova::test {
namespace {

TEST(ComDisplayOutputTest, TheOpeningBytesSurviveAFrameThatReplacesTheOneTheyCameWith) {
  MainThread().BindToCurrentThread();
  MainThread().Reopen();
  TPtyPair pty;
  TSerialComm port;
  port.SetDeviceName(ComPortDeviceName(pty.SlavePath()));
  std::vector<std::string> log;
  TComDisplayOutput output(port, [&](const std::string& line) { log.push_back(line); });
  const std::string init = "\x1Bt\x12";
  output.SetDisplayProtocol(prEpson, init, 20);
  const std::string opening = OpeningBytes(prEpson) + init;
  const auto bound = std::chrono::milliseconds(2 * port.Buffers().WriteTimeout());

  // Written back to back, the second frame finds the first still queued and replaces it; should
  // the write thread have taken the first already, the display gets both, the opening bytes first.
  constexpr int kOpens = 3;
  for (int open = 0; open < kOpens; ++open) {
    output.Show("first", "");  // the port is closed: it is opened and the frame queued
    output.Show("second", "");
    const std::string start = pty.ReadMaster(opening.size(), bound);
    EXPECT_EQ(ToHex(start), ToHex(opening)) << "open " << open;
    std::string rest;
    EXPECT_TRUE(PumpUntil(
        [&] {
          rest += pty.ReadMaster(64, std::chrono::milliseconds(10));
          return ShownAfter(*MakeDisplayDecoder(prEpson, 20, false), start + rest) == TDisplayFrame{"second", ""};
        },
        bound))
        << ToHex(rest);
    port.Close();
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), "Sending failed. Restarting COM port..."), kOpens);
}

}  // namespace
}  // namespace kestova::test
