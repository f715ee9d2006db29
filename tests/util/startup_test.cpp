#include "util/startup.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "util_test_helpers.h"

namespace vx {
namespace {

platform::OsVersionInfo Version(uint32_t platform_id, uint32_t major, uint32_t minor) {
  platform::OsVersionInfo version;
  version.platform_id = platform_id;
  version.major = major;
  version.minor = minor;
  return version;
}

constexpr uint32_t k9x = platform::kPlatformWin32Windows;
constexpr uint32_t kNT = platform::kPlatformWin32NT;

TEST(IsWin98Or2000OrLater, Windows95AndNt4AreTooOld) {
  EXPECT_FALSE(IsWin98Or2000OrLater(Version(k9x, 4, 0)));  // 95
  EXPECT_TRUE(IsWin98Or2000OrLater(Version(k9x, 4, 10)));  // 98
  EXPECT_TRUE(IsWin98Or2000OrLater(Version(k9x, 4, 90)));  // Me
  EXPECT_FALSE(IsWin98Or2000OrLater(Version(kNT, 3, 51)));
  EXPECT_FALSE(IsWin98Or2000OrLater(Version(kNT, 4, 0)));
  EXPECT_FALSE(IsWin98Or2000OrLater(Version(kNT, 4, 10)));  // NT's minor does not count
  EXPECT_TRUE(IsWin98Or2000OrLater(Version(kNT, 5, 0)));    // 2000
  EXPECT_TRUE(IsWin98Or2000OrLater(Version(kNT, 10, 0)));
  EXPECT_FALSE(IsWin98Or2000OrLater(Version(platform::kPlatformNotWindows, 6, 1)));
}

TEST(WantsKeyboardCues, OnlyNt5AndLater) {
  EXPECT_FALSE(WantsKeyboardCues(Version(k9x, 4, 90)));
  EXPECT_FALSE(WantsKeyboardCues(Version(kNT, 4, 0)));
  EXPECT_TRUE(WantsKeyboardCues(Version(kNT, 5, 0)));
  EXPECT_TRUE(WantsKeyboardCues(Version(kNT, 6, 1)));
}

TEST(PhysicalMemoryMB, WholeMebibytesWithinThirtyTwoBits) {
  EXPECT_EQ(PhysicalMemoryMBFromBytes(0), 0);
  EXPECT_EQ(PhysicalMemoryMBFromBytes(1048575), 0);
  EXPECT_EQ(PhysicalMemoryMBFromBytes(512 * 1048576ULL + 1048575), 512);
  EXPECT_EQ(PhysicalMemoryMBFromBytes(0xFFFFFFFFULL), 4095);  // a 32-bit system's 4 GB cap
  EXPECT_EQ(PhysicalMemoryMBFromBytes(UINT64_MAX), INT32_MAX);
}

#ifdef _WIN32
// The per-user key as the test found it, put back afterwards.
class UserFlag : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, "\\Software\\VESTRIX",
                                       platform::RegistryAccess::kReadWrite, true);
    ASSERT_TRUE(key_.has_value());
    saved_ = key_->ReadDword(kName);
  }
  void TearDown() override {
    if (!key_) return;
    key_->DeleteValue(kName);
    if (saved_) key_->WriteDword(kName, *saved_);
  }
  static constexpr const char* kName = "FlashTaskBar";
  std::optional<platform::RegistryKey> key_;
  std::optional<uint32_t> saved_;
};

TEST_F(UserFlag, ReadsTheDwordUnderTheVestrixKey) {
  ASSERT_TRUE(key_->WriteDword(kName, 1));
  EXPECT_TRUE(ReadUserFlag(kName));
  ASSERT_TRUE(key_->WriteDword(kName, 0x80000000));
  EXPECT_TRUE(ReadUserFlag(kName));
  ASSERT_TRUE(key_->WriteDword(kName, 0));
  EXPECT_FALSE(ReadUserFlag(kName));
  ASSERT_TRUE(key_->DeleteValue(kName));
  EXPECT_FALSE(ReadUserFlag(kName));
  // Any type but a 32-bit integer counts as not set.
  ASSERT_TRUE(key_->WriteString(kName, "1"));
  EXPECT_FALSE(ReadUserFlag(kName));
  EXPECT_FALSE(ReadUserFlag("NoSuchValue"));
}
#else
TEST(UserFlag, WithoutARegistryEveryFlagIsFalse) {
  EXPECT_FALSE(ReadUserFlag("FlashTaskBar"));
}
#endif

TEST(StartupSummary, KeepsTheMachineValuesOnce) {
  test::ScopedEnv comspec("COMSPEC", " \tC:\\WINDOWS\\system32\\cmd.exe \r\n");
  StartupSummary();
  EXPECT_EQ(LogicalProcessorCount(), static_cast<int32_t>(platform::NumberOfProcessors()));
  EXPECT_GE(LogicalProcessorCount(), 1);
  EXPECT_EQ(PhysicalMemoryMB(), PhysicalMemoryMBFromBytes(platform::TotalPhysicalMemory()));
  EXPECT_GT(PhysicalMemoryMB(), 0);
  EXPECT_EQ(CommandInterpreter(), "C:\\WINDOWS\\system32\\cmd.exe");

  // The values are those of the start; later changes do not reach them.
  test::ScopedEnv changed("COMSPEC", "D:\\other.exe");
  StartupSummary();
  EXPECT_EQ(CommandInterpreter(), "C:\\WINDOWS\\system32\\cmd.exe");
}

}  // namespace
}  // namespace vx
