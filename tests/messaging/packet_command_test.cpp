#include "messaging/command.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

TEST(PacketCommandTest, NamesAndValuesRoundTrip) {
  for (int i = 0; i < kCommandCount; ++i) {
    const auto command = static_cast<TCommand>(i);
    const std::string_view name = CommandName(command);
    ASSERT_FALSE(name.empty()) << i;
    EXPECT_EQ(CommandByName(name), command) << name;
    EXPECT_EQ(CommandText(command), name);
  }
  EXPECT_EQ(CommandName(TCommand::SHOW_MESSAGE), "SHOW_MESSAGE");
  EXPECT_EQ(CommandName(TCommand::ENUM_DISPLAYS_REQ), "ENUM_DISPLAYS_REQ");
  EXPECT_EQ(static_cast<int>(TCommand::ENUM_DISPLAYS_ANS), 49);
  EXPECT_EQ(static_cast<int>(TCommand::KESTOVA_SENDCODE), 25);
  EXPECT_EQ(CommandName(kUnknownCommand), "");
  EXPECT_EQ(CommandName(static_cast<TCommand>(50)), "");
  EXPECT_EQ(CommandText(kUnknownCommand), "255");
}

TEST(PacketCommandTest, ByNameIgnoresAsciiCaseOnly) {
  const std::pair<std::string, TCommand> cases[] = {
      {"SHOW_MESSAGE", TCommand::SHOW_MESSAGE},
      {"show_message", TCommand::SHOW_MESSAGE},
      {"Enum_Displays_Req", TCommand::ENUM_DISPLAYS_REQ},
      {" SHOW_MESSAGE", kUnknownCommand},  // not trimmed
      {"SHOW_MESSAGE ", kUnknownCommand},
      {"SHOW_MESSAG", kUnknownCommand},
      {"", kUnknownCommand},
      {"4", kUnknownCommand},
      {std::string(256, 'A'), kUnknownCommand},
      {"R\xC3\x89"
       "FRESH_LOGO",
       kUnknownCommand},
  };
  for (const auto& [text, command] : cases) EXPECT_EQ(CommandByName(text), command) << text;
}

}  // namespace
}  // namespace kestova
