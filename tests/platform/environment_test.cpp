#include "platform/environment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vx::platform {
namespace {

TEST(Environment, UnsetAndEmptyAreDifferent) {
  const std::string name = "VX_PLATFORM_TEST_VARIABLE";
  ASSERT_TRUE(UnsetEnvironmentVariable(name));
  EXPECT_EQ(GetEnvironmentVariable(name), std::nullopt);
  ASSERT_TRUE(SetEnvironmentVariable(name, ""));
  EXPECT_EQ(GetEnvironmentVariable(name), "");
  ASSERT_TRUE(SetEnvironmentVariable(name, "value with = sign"));
  EXPECT_EQ(GetEnvironmentVariable(name), "value with = sign");
  auto block = EnvironmentStrings();
  EXPECT_EQ(std::count(block.begin(), block.end(), name + "=value with = sign"), 1);
  ASSERT_TRUE(UnsetEnvironmentVariable(name));
  EXPECT_EQ(GetEnvironmentVariable(name), std::nullopt);
  block = EnvironmentStrings();
  EXPECT_EQ(std::find_if(block.begin(), block.end(),
                         [&](const std::string& entry) { return entry.rfind(name + "=", 0) == 0; }),
            block.end());
}

TEST(Environment, NamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(SetEnvironmentVariable("Vx_Mixed_Case", "one"));
  EXPECT_EQ(GetEnvironmentVariable("VX_MIXED_CASE"), "one");
  ASSERT_TRUE(SetEnvironmentVariable("VX_MIXED_CASE", "two"));  // the same variable
  EXPECT_EQ(GetEnvironmentVariable("vx_mixed_case"), "two");
  auto block = EnvironmentStrings();
  EXPECT_EQ(std::count_if(block.begin(), block.end(),
                          [](const std::string& entry) {
                            return entry.size() > 14 && entry[13] == '=' &&
                                   std::equal(entry.begin(), entry.begin() + 13, "VX_MIXED_CASE",
                                              [](char a, char b) { return toupper(a) == b; });
                          }),
            1);
  ASSERT_TRUE(UnsetEnvironmentVariable("vx_mixed_case"));
  EXPECT_EQ(GetEnvironmentVariable("Vx_Mixed_Case"), std::nullopt);
}

TEST(Environment, LongValuesComeBackWhole) {
  const std::string value(20000, 'v');  // Windows allows up to 32,767
  ASSERT_TRUE(SetEnvironmentVariable("VX_LONG_VALUE", value));
  EXPECT_EQ(GetEnvironmentVariable("VX_LONG_VALUE"), value);
  UnsetEnvironmentVariable("VX_LONG_VALUE");
}

}  // namespace
}  // namespace vx::platform
