#include "platform/executable_path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestova {
namespace {

TEST(ExecutablePathTest, IsTheFolderOfThisTestBinaryWithATrailingSeparator) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "platform_core_tests"));
  EXPECT_EQ(ExecutablePath(), folder + "platform_core_tests");
}

}  // namespace
}  // namespace kestova
