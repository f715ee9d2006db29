#include "diag/probes.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/system.h"
#include "util/byte_size.h"
#include "util/drive_probes.h"

namespace vx {
namespace {

constexpr int64_t kGB = int64_t{1} << 30;

TEST(DriveLine, SizesFreeSpaceAndRoundedPercentage) {
  struct Case {
    int64_t size, free;
    const char* percent;
  } cases[] = {
      {100 * kGB, 25 * kGB, "25"},
      {3, 1, "33"},
      {3, 2, "67"},
      {200, 25, "12"},    // 12.5: exact halves go to the even neighbour
      {200, 27, "14"},    // 13.5
      {200, 1, "0"},      // 0.5
      {200, 3, "2"},      // 1.5
      {200, 199, "100"},  // 99.5
      {7, 0, "0"},
      {5, 5, "100"},
      {int64_t{1} << 50, (int64_t{1} << 50) / 3, "33"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriveLine('C', c.size, c.free), "Drive C:   size = " + FormatByteSize(c.size) +
                                                  "   free = " + FormatByteSize(c.free) + "   " +
                                                  c.percent + "% free");
  }
  EXPECT_EQ(DriveLine('E', 100 * kGB, 25 * kGB),
            "Drive E:   size = 100GB   free = 25GB   25% free");
}

TEST(DriveSummary, OnlyDrivesCToFWithASizeAboveZero) {
  std::map<int32_t, DiskSpace> drives = {
      {1, {10 * kGB, kGB}},                         // A: is never asked
      {3, {100 * kGB, 25 * kGB}}, {4, {0, 0}},      // a CD drive without a disc
      {5, {8 * kGB, 4 * kGB}},    {7, {kGB, kGB}},  // G: is beyond the range
  };
  std::vector<int32_t> asked;
  auto space = [&](int32_t drive) {
    asked.push_back(drive);
    auto it = drives.find(drive);
    return it == drives.end() ? DiskSpace{} : it->second;
  };
  EXPECT_EQ(DriveSummaryFrom(space),
            DriveLine('C', 100 * kGB, 25 * kGB) + "\r\n" + DriveLine('E', 8 * kGB, 4 * kGB));
  EXPECT_EQ(asked, (std::vector<int32_t>{3, 4, 5, 6}));
  EXPECT_EQ(DriveSummaryFrom([](int32_t) { return DiskSpace{}; }), "");
  EXPECT_EQ(DriveSummaryFrom([](int32_t d) {
              return d == 6 ? DiskSpace{kGB, 0} : DiskSpace{};
            }),
            DriveLine('F', kGB, 0));
}

TEST(Wow64Text, FourFixedLines) {
  using platform::Wow64Answer;
  EXPECT_EQ(Wow64Text(Wow64Answer::kEntryMissing), "IsWow64Process not present in kernel32.dll");
  EXPECT_EQ(Wow64Text(Wow64Answer::kCallFailed), "IsWow64 call failed");
  EXPECT_EQ(Wow64Text(Wow64Answer::kWow64), "Process is running on Wow64");
  EXPECT_EQ(Wow64Text(Wow64Answer::kNotWow64), "Process is NOT running on Wow64");
}

TEST(Wow64Status, AgreesWithItsText) {
  std::string text;
  bool wow64 = Wow64Status(text);
#ifdef _WIN32
  // A 64-bit test program never runs under WOW64; a 32-bit one on 64-bit Wine does.
  if (sizeof(void*) == 8) {
    EXPECT_FALSE(wow64);
    EXPECT_EQ(text, "Process is NOT running on Wow64");
  } else {
    EXPECT_TRUE(wow64);
    EXPECT_EQ(text, "Process is running on Wow64");
  }
#else
  EXPECT_FALSE(wow64);
  EXPECT_EQ(text, "IsWow64Process not present in kernel32.dll");
#endif
}

TEST(TitleHidesExtension, AnyDotMeansTheExtensionIsShown) {
  EXPECT_TRUE(TitleHidesExtension("setup"));
  EXPECT_FALSE(TitleHidesExtension("setup.exe"));
  EXPECT_FALSE(TitleHidesExtension("a.b"));  // a.b.exe with extensions hidden
  EXPECT_TRUE(TitleHidesExtension(""));
}

TEST(WorkingSetKb, ThisProcessUsesSomeMemory) {
  EXPECT_TRUE(BindPsapi());
  EXPECT_TRUE(BindPsapi());  // bound once, stays bound
  int64_t kb = WorkingSetKb();
  EXPECT_GT(kb, 100);  // the test program alone is larger than that
  EXPECT_LT(kb, 4 * 1024 * 1024);
}

TEST(RuntimeHeapFigures, GrowWithALiveAllocation) {
  std::optional<platform::HeapFigures> before = platform::RuntimeHeapFigures();
  ASSERT_TRUE(before.has_value());
  std::vector<char> block(256 * 1024, 'x');
  std::optional<platform::HeapFigures> during = platform::RuntimeHeapFigures();
  ASSERT_TRUE(during.has_value());
  EXPECT_GE(during->used, before->used + block.size());
}

TEST(LocaleProbes, AnswerTextOrUnknown) {
  std::string separator = LocaleDecimalSeparator();
  EXPECT_FALSE(separator.empty());
#ifdef _WIN32
  EXPECT_EQ(LocaleLanguage(), "English");  // Wine's prefix runs in an English locale here
  EXPECT_EQ(separator, ".");
#else
  EXPECT_FALSE(LocaleLanguage().empty());
#endif
}

TEST(AccountProbes, AnswerForThisAccount) {
  bool nt = platform::GetVersionInfo().platform_id == platform::kPlatformWin32NT;
  // The current user's root is writable for any user on Windows; Linux has no registry.
  EXPECT_EQ(CanWriteToRegistry(platform::RegistryRoot::kCurrentUser), nt);
  if (nt) {
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser,
                                           "\\SoftWare\\TestRegAccess",
                                           platform::RegistryAccess::kRead, false);
    ASSERT_TRUE(key.has_value()) << "the probe key stays behind";
    EXPECT_TRUE(key->ValueExists("Test"));
  } else {
    EXPECT_FALSE(UserIsAdministrator());  // not the NT family
  }
  EXPECT_FALSE(FileExtensionsHidden());  // the test program's title keeps ".exe" or has none
}

}  // namespace
}  // namespace vx
