// kestova-rfid run as a program against the fake reader: what each command writes on the wire,
// what it prints, and how it ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/fake_reader.h"
#include "tests/support/loopback_peer.h"

namespace kestova::testing {
namespace {

using Lines = std::vector<std::string>;

struct TToolCase {
  const char* Name;
  Lines Args;  // after --host and --port
  int ExitCode;
  Lines Sent;          // one item per connection
  std::string Output;  // printed (standard output and error), exactly; or, after a "~", a part of it
};

class RfidToolTest : public ::testing::Test {
 protected:
  test::TProgramResult Run(const Lines& args, uint16_t port) {
    Lines argv{KESTOVA_RFID_TOOL, "--host", "127.0.0.1", "--port", std::to_string(port)};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProgram(argv, std::chrono::seconds(60));
  }
  void Check(const TToolCase& c, uint16_t port) {
    SCOPED_TRACE(c.Name);
    const test::TProgramResult result = Run(c.Args, port);
    EXPECT_EQ(result.ExitCode, c.ExitCode) << result.Output;
    if (c.Output.rfind("~", 0) == 0)
      EXPECT_NE(result.Output.find(c.Output.substr(1)), std::string::npos) << result.Output;
    else
      EXPECT_EQ(result.Output, c.Output);
    EXPECT_EQ(FReader.ReceivedBeforeKnock(), c.Sent);
  }

  test::TFakeReader FReader;
};

TEST_F(RfidToolTest, EachCommandWritesItsTextAndEndsWithZero) {
  FReader.Answer("l", "l1\r\n");
  FReader.Answer("a", "a0\r\n");
  const TToolCase cases[] = {
      {"open-door", {"open-door"}, 0, {"O7391"}, ""},
      {"another PIN", {"--door-pass", "1234", "open-door"}, 0, {"O1234"}, ""},
      {"add-key", {"add-key", "555"}, 0, {"C555"}, ""},
      {"delete-key", {"delete-key", "555"}, 0, {"D555"}, ""},
      {"reset with keys", {"reset", "11", "12"}, 0, {"W47109235", "C11", "C12"}, ""},
      {"reset with another password", {"--admin-pass", "99", "reset"}, 0, {"W99"}, ""},
      {"learn-toggle", {"learn-toggle"}, 0, {"L47109235"}, ""},
      {"beep", {"beep"}, 0, {"e"}, ""},
      {"learn-mode", {"--timeout", "30000", "learn-mode"}, 0, {"l"}, "on\n"},
      {"auto-mode", {"--timeout", "30000", "auto-mode"}, 0, {"a"}, "off\n"},
      {"-v", {"-v", "beep"}, 0, {"e"}, "~VERBOSE   Writing to socket: e\n"},
      {"--simulate", {"--simulate", "-v", "open-door"}, 0, {}, "~INFO      *SIMULATION* Sending: O7391\n"},
  };
  for (const TToolCase& c : cases) Check(c, FReader.Port());
}

TEST_F(RfidToolTest, AnUnreachableReaderEndsWithOneAndBadUsageWithTwo) {
  const uint16_t refusing = test::FreeLoopbackPort();
  Check({"refused",
         {"open-door"},
         1,
         {},
         "kestova-rfid: (Connect2) Error: Could not connect to 127.0.0.1:" + std::to_string(refusing) +
             ": Connection refused\n"},
        refusing);
  const TToolCase usage[] = {
      {"no command", {}, 2, {}, "~kestova-rfid: give a command\n"},
      {"unknown command", {"dance"}, 2, {}, "~unknown command dance"},
      {"add-key without a key", {"add-key"}, 2, {}, "~add-key needs one KEY"},
      {"add-key 0", {"add-key", "0"}, 2, {}, "~add-key needs a key other than 0"},
      {"beep with an argument", {"beep", "x"}, 2, {}, "~beep takes no arguments"},
      {"a bad timeout", {"--timeout", "soon", "beep"}, 2, {}, "~--timeout needs a number"},
      {"an unknown option", {"--fast", "beep"}, 2, {}, "~unknown option --fast"},
  };
  for (const TToolCase& c : usage) Check(c, FReader.Port());

  const test::TProgramResult help = test::RunProgram({KESTOVA_RFID_TOOL, "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_EQ(help.Output.rfind("usage: kestova-rfid --host HOST --port N", 0), 0u) << help.Output;
  const test::TProgramResult noHost = test::RunProgram({KESTOVA_RFID_TOOL, "--port", "5", "beep"});
  EXPECT_EQ(noHost.ExitCode, 2);
  EXPECT_EQ(noHost.Output.rfind("kestova-rfid: --host is required\n", 0), 0u) << noHost.Output;
}

}  // namespace
}  // namespace kestova::testing
