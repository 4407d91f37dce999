// kestova-displayd --check-config on the settings files an installer gets wrong: every problem is
// one line pointing at its line of the file, and the exit status says whether there were any.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/serial/pty_pair.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

// A file the check finds nothing in: no display to look for, a broker given by its address.
constexpr const char* kClean = "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nTopics=pos/display1\n";

TEST(CheckConfigTest, EveryBrokenFileGivesItsLineAndExitOne) {
  const TTempDir dir("kestova-check");
  struct TCase {
    const char* Name;
    std::string File;
    std::string Line;  // after "FILE:"
  } const cases[] = {
      {"unknown key", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nTopics=a\nTopcs=b\n",
       "6: unknown key Topcs in [Mqtt], ignored (Topics?)"},
      {"unknown section", std::string(kClean) + "[Mqt]\nUser=x\n",
       "6: unknown section [Mqt], its keys are ignored (Mqtt?)"},
      {"broker that does not resolve", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=nowhere.invalid\nTopics=a\n",
       "4: MQTT broker setting (Mqtt.Broker): Could not resolve the host name \"nowhere.invalid\" for IPv4: "},
      {"missing serial device", "[Settings]\nComPort=/dev/kestova-no-such-port\n[Mqtt]\nBroker=127.0.0.1\nTopics=a\n",
       "2: COM port setting (Settings.ComPort): /dev/kestova-no-such-port does not exist"},
      {"first topic no topic name", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nTopics=pos/#,pos/d1\n",
       "5: MQTT topic \"pos/#\" cannot carry the answers to enumeration requests: a topic name may not contain "
       "\"+\" or \"#\""},
      {"other topic no filter", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nTopics=pos/d1,pos/#/#\n",
       "5: MQTT topic \"pos/#/#\" not subscribed: \"#\" may only stand alone as the last level"},
      {"width out of range", "[Settings]\nDisplayMode=2\nWidth=81\n[Mqtt]\nBroker=127.0.0.1\nTopics=a\n",
       "3: Width setting (Settings.Width): 81 refused (1 to 80), 20 used"},
      {"password without user", std::string(kClean) + "Pass=secret\n",
       "6: MQTT password ignored: it is only sent with a username"},
      {"unreadable CA file", std::string(kClean) + "UseTLS=1\nCAFile=/nonexistent/ca.pem\n",
       "7: MQTT CA file setting (Mqtt.CAFile): /nonexistent/ca.pem cannot be read: No such file or directory"},
      {"no number", "[Settings]\nDisplayMode=2\nComSpeed=96OO\n[Mqtt]\nBroker=127.0.0.1\nTopics=a\n",
       "3: ComSpeed setting (Settings.ComSpeed): 96OO is not a number, 9600 used"},
      {"no topics", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\n",
       " MQTT topics setting (Mqtt.Topics) names no topic to subscribe to: the display receives nothing"},
      {"repeated key", std::string(kClean) + "Broker=10.0.0.1\n",
       "6: key Broker repeated in [Mqtt]: only the one on line 4 counts"},
      {"repeated section", std::string(kClean) + "[settings]\nWidth=5\n",
       "6: section [settings] repeated: only the one on line 1 is read, the keys here are ignored"},
      {"skipped line", std::string(kClean) + "Topics pos/display2\n",
       "6: line skipped: it is no [Section], no Key=Value inside a section and no ; comment"},
  };
  for (const TCase& c : cases) {
    const std::string file = dir.WriteFile("Settings.ini", c.File);
    const TProgramResult result = RunProgram({KESTOVA_DISPLAYD, "--check-config", "--settings", file});
    EXPECT_EQ(result.ExitCode, 1) << c.Name << "\n" << result.Output;
    EXPECT_NE(result.Output.find("\n" + file + ":" + c.Line), std::string::npos) << c.Name << "\n" << result.Output;
  }
}

TEST(CheckConfigTest, ACleanFileGivesEveryValueAndExitZero) {
  const TTempDir dir("kestova-check");
  const std::string file = dir.WriteFile("Settings.ini", kClean);
  const TProgramResult result = RunProgram({KESTOVA_DISPLAYD, "--check-config", "--settings", file});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_EQ(result.Output, "; " + file +
                               " as the server reads it\n"
                               "[Settings]\nWidth=20\nHeight=2\nDisplayMode=2\nComPort=COM1\nComSpeed=9600\n"
                               "DisplayProtocol=frame\nDisplayInit=\n"
                               "[Mqtt]\nBroker=127.0.0.1\nUseTLS=0\nPort=1883\nUser=\nPass=\nClientID=Display\n"
                               "Topics=pos/display1\nKeepAlive=120\nStatusTopic=\nCAFile=\nTlsVerify=1\n");
}

TEST(CheckConfigTest, AFileThatCannotBeReadGivesExitTwo) {
  const TTempDir dir("kestova-check");
  for (const std::string& file : {dir.File("missing.ini"), dir.Path()}) {
    const TProgramResult result = RunProgram({KESTOVA_DISPLAYD, "--check-config", "--settings", file});
    EXPECT_EQ(result.ExitCode, 2) << file << "\n" << result.Output;
    EXPECT_NE(result.Output.find("kestova-displayd: cannot read the settings file " + file + ": "), std::string::npos)
        << result.Output;
  }
}

// The library is looked for beside the program, as the server does.
TEST(CheckConfigTest, UsbModeWithoutTheLibraryIsAProblem) {
  const TTempDir dir("kestova-check");
  const std::string lonely = dir.File("kestova-displayd");
  std::filesystem::copy_file(KESTOVA_DISPLAYD, lonely);
  const std::string file =
      dir.WriteFile("Settings.ini", "[Settings]\nDisplayMode=1\n[Mqtt]\nBroker=127.0.0.1\nTopics=a\n");
  const TProgramResult result = RunProgram({lonely, "--check-config", "--settings", file});
  EXPECT_EQ(result.ExitCode, 1) << result.Output;
  EXPECT_NE(result.Output.find(file + ":2: USB display (Settings.DisplayMode=1) without its library: " + dir.Path() +
                               "/libusbpd.so: cannot open shared object file"),
            std::string::npos)
      << result.Output;
}

// The example file the package installs has nothing to report where its port is a serial port.
// Its COM1 is /dev/ttyS0, the console on many machines: the check runs where a pseudo-terminal
// stands in for it, so nothing could reach the console even if the check opened the device.
TEST(CheckConfigTest, ThePackagedSettingsFileIsClean) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace needs root";
  if (!std::filesystem::exists("/dev/ttyS0")) GTEST_SKIP() << "no /dev/ttyS0 to stand in for";
  const TPtyPair pty;
  const TProgramResult result =
      RunProgram({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                  "mount --bind " + pty.SlavePath() +
                      " /dev/ttyS0 && exec " KESTOVA_DISPLAYD " --check-config --settings " KESTOVA_SOURCE_DIR
                      "/packaging/Settings.ini"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
}

}  // namespace
}  // namespace kestova::test
