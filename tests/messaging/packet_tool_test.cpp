#include <gtest/gtest.h>

#include "platform/text_codec.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built tool with `input` on standard input; standard output and error apart.
class PacketToolTest : public ::testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string in = FDir.WriteFile("stdin", input);
    const std::string err = FDir.File("stderr");
    std::vector<std::string> argv = {
        "/bin/sh",           "-c", "in=$1; err=$2; shift 2; exec \"$0\" \"$@\" <\"$in\" 2>\"$err\"",
        KESTOVA_PACKET_TOOL, in,   err};
    argv.insert(argv.end(), args.begin(), args.end());
    const test::TProgramResult result = test::RunProgram(argv, std::chrono::seconds(30));
    ToolRun run;
    run.status = result.ExitCode;
    run.out = result.Output;
    run.err = test::ReadWholeFile(err);
    return run;
  }

  test::TTempDir FDir{"kestova-packet-tool"};
};

const std::string kExample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>POS1</sender><target>Display1</target>"
    "<command>SHOW_MESSAGE</command><params>LINE1=Hello,LINE2=World</params></msg>";

TEST_F(PacketToolTest, DecodesThePacketFields) {
  ToolRun run = Run({"decode"}, kExample + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "sender=POS1\ntarget=Display1\ncommand=SHOW_MESSAGE\nparam=LINE1=Hello\nparam=LINE2=World\n");
  EXPECT_EQ(run.err, "");

  run = Run({"decode"},
            "<msg><sender>S</sender><target/><command>nope</command>"
            "<params>\"a,b\",,R\xC3\xA1\xC4\x8Dun=1</params></msg>");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "sender=S\ntarget=\ncommand=255\nparam=a,b\nparam=\nparam=R\xC3\xA1\xC4\x8Dun=1\n");

  // Text that is no packet decodes to the empty initial state, as a station would see it.
  run = Run({"decode"}, "hello");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "sender=\ntarget=\ncommand=REFRESH_REPORT\n");
}

TEST_F(PacketToolTest, DecodeErrorsGoToStandardError) {
  struct Case {
    std::string input;
    std::string err;
  };
  const Case cases[] = {
      {"<msg><sender>S</sender></msg>", "error: GetNodeTextStr: No text in the the target node\n"},
      {"<msg>\xFF</msg>", std::string("error: ") + kNoMappingMessage + "\n"},
      {"<!-x>", "error: Invalid node \n"},
  };
  for (const Case& c : cases) {
    ToolRun run = Run({"decode"}, c.input);
    EXPECT_EQ(run.status, 1) << c.input;
    EXPECT_EQ(run.out, "") << c.input;
    EXPECT_EQ(run.err, c.err) << c.input;
  }
}

TEST_F(PacketToolTest, EncodesAndDecodesBack) {
  ToolRun run = Run({"encode", "--sender", "POS1", "--target", "Display1", "--command", "show_message", "--param",
                     "LINE1=Hello", "--param", "LINE2=World"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kExample + "\n");

  run = Run({"encode", "--command", "ENUM_DISPLAYS_REQ", "--param", "LINE1=Hello, \"world\"", "--param", "a&b<c>"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender></sender><target></target>"
            "<command>ENUM_DISPLAYS_REQ</command><params>&quot;LINE1=Hello, &quot;&quot;world&quot;&quot;&quot;,"
            "a&amp;b&lt;c&gt;</params></msg>\n");
  ToolRun back = Run({"decode"}, run.out);
  EXPECT_EQ(back.out, "sender=\ntarget=\ncommand=ENUM_DISPLAYS_REQ\nparam=LINE1=Hello, \"world\"\nparam=a&b<c>\n");
}

TEST_F(PacketToolTest, UsageErrorsAndHelp) {
  ToolRun run = Run({"encode", "--sender", "S", "--command", "NO_SUCH_COMMAND"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("unknown command name \"NO_SUCH_COMMAND\""), std::string::npos) << run.err;

  const std::vector<std::vector<std::string>> bad = {
      {}, {"frobnicate"}, {"decode", "extra"}, {"encode"}, {"encode", "--sender"}, {"encode", "--colour", "red"},
  };
  for (const auto& args : bad) {
    run = Run(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_NE(run.err.find("usage: kestova-packet"), std::string::npos) << run.err;
  }

  run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("decode"), std::string::npos);
  EXPECT_NE(run.out.find("ENUM_DISPLAYS_ANS"), std::string::npos);

  run = Run({"encode", "--command", "LOGOUT", "--sender", "\xC3"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string("error: ") + kNoMappingMessage + "\n");
}

}  // namespace
}  // namespace kestova
