#include "mqtt/topic.h"

#include <gtest/gtest.h>

#include <string>

namespace kestova {
namespace {

TEST(Topic, FilterRules) {
  struct TCase {
    const char* Filter;
    bool Valid;
  };
  const TCase cases[] = {
      {"#", true},
      {"+", true},
      {"a/#", true},
      {"+/a", true},
      {"a/+/b", true},
      {"a/+", true},
      {"+/+", true},
      {"/#", true},
      {"a/b", true},
      {"a", true},
      {"", false},
      {"a#", false},
      {"a/#/b", false},
      {"a+", false},
      {"a/+b", false},
      {"+a", false},
      {"#/", false},
      {"a/b#", false},
      // Every "#" counts, not only the last one (MQTT 3.1.1 section 4.7.1.2).
      {"a#/#", false},
      {"pos/#/#", false},
      {"#/#", false},
      {"+/#", true},
      {"a//+//#", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TMqttTopic::ValidateTopicFilter(c.Filter), c.Valid) << '"' << c.Filter << '"';
  }
}

TEST(Topic, NameRulesAndWildcards) {
  struct TCase {
    const char* Name;
    bool Valid;
  };
  const TCase cases[] = {{"a/b", true},  {"t", true},  {"/", true},   {"", false},
                         {"a/+", false}, {"#", false}, {"a#b", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(TMqttTopic::ValidateTopicName(c.Name), c.Valid) << '"' << c.Name << '"';
  }
  EXPECT_TRUE(TMqttTopic::ValidateTopicName(" a b ")) << "blanks are characters like any other";
  EXPECT_TRUE(TMqttTopic::ContainsMultiLevelWildcardCharacter("a/#"));
  EXPECT_FALSE(TMqttTopic::ContainsMultiLevelWildcardCharacter("a/+"));
  EXPECT_TRUE(TMqttTopic::ContainsSingleLevelWildcardCharacter("a/+"));
  EXPECT_TRUE(TMqttTopic::ContainsWildcardCharacter("x#"));
  EXPECT_FALSE(TMqttTopic::ContainsWildcardCharacter("a/b"));
}

// Names and filters alike: 1 to 65535 bytes of UTF-8 without U+0000; each refusal has a reason.
TEST(Topic, TextRulesOfBothKindsAndTheirReasons) {
  struct TCase {
    std::string Text;
    const char* NameProblem;
    const char* FilterProblem;
  };
  const TCase cases[] = {
      {"", "it is empty", "it is empty"},
      {std::string(65535, 'a'), nullptr, nullptr},
      {std::string(65536, 'a'), "it is longer than 65535 bytes", "it is longer than 65535 bytes"},
      {"a/\xC3\x28", "it is not valid UTF-8", "it is not valid UTF-8"},
      {std::string("a\0b", 3), "it contains a NUL character", "it contains a NUL character"},
      {"pos/\xC4\x8D", nullptr, nullptr},
      {"pos/#/#", "a topic name may not contain \"+\" or \"#\"", "\"#\" may only stand alone as the last level"},
      {"pos/a+", "a topic name may not contain \"+\" or \"#\"", "\"+\" may only stand alone as a level"},
  };
  for (const auto& c : cases) {
    const std::string shown = c.Text.substr(0, 20);
    const char* name = TMqttTopic::TopicNameProblem(c.Text);
    const char* filter = TMqttTopic::TopicFilterProblem(c.Text);
    EXPECT_EQ(std::string(name ? name : "-"), std::string(c.NameProblem ? c.NameProblem : "-")) << shown;
    EXPECT_EQ(std::string(filter ? filter : "-"), std::string(c.FilterProblem ? c.FilterProblem : "-")) << shown;
    EXPECT_EQ(TMqttTopic::ValidateTopicName(c.Text), c.NameProblem == nullptr) << shown;
    EXPECT_EQ(TMqttTopic::ValidateTopicFilter(c.Text), c.FilterProblem == nullptr) << shown;
  }
}

}  // namespace
}  // namespace kestova
