#include "mqtt/topic.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

TEST(Topic, FilterRules) {
  struct TCase {
    const char* Filter;
    bool Valid;
  };
  const TCase cases[] = {
      {"#", true},     {"+", true},      {"a/#", true},   {"+/a", true},     {"a/+/b", true},
      {"a/+", true},   {"+/+", true},    {"/#", true},    {"a/b", true},     {"a", true},
      {"", false},     {"a#", false},    {"a/#/b", false}, {"a+", false},    {"a/+b", false},
      {"+a", false},   {"#/", false},    {"a/b#", false},
      // Only the end is examined for "#": a filter that ends in "/#" passes whatever comes before.
      {"a#/#", true},
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
  const TCase cases[] = {{"a/b", true}, {"t", true}, {"/", true}, {"", false}, {"a/+", false}, {"#", false}, {"a#b", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(TMqttTopic::ValidateTopicName(c.Name), c.Valid) << '"' << c.Name << '"';
  }
  EXPECT_TRUE(TMqttTopic::ContainsMultiLevelWildcardCharacter("a/#"));
  EXPECT_FALSE(TMqttTopic::ContainsMultiLevelWildcardCharacter("a/+"));
  EXPECT_TRUE(TMqttTopic::ContainsSingleLevelWildcardCharacter("a/+"));
  EXPECT_TRUE(TMqttTopic::ContainsWildcardCharacter("x#"));
  EXPECT_FALSE(TMqttTopic::ContainsWildcardCharacter("a/b"));
}

}  // namespace
}  // namespace kestova
