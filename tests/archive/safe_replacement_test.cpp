// Replacing an existing file with a member: the old file goes only once the
// new one is complete and checked. A member that fails (bad CRC-32, bad size,
// an abort, a read-only old file) leaves the old file as it was, with its
// date and attributes, and no half-written file anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_test_support.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::TestMember;

const std::string kOld = "the old, working file";
const std::string kNew = std::string(300000, 'n');  // many progress steps

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(dir))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Case {
  const char* what;
  TestMember member;
  bool read_only_old = false;
  int abort_at = -1;  // item progress at which to answer Abort
  bool replaced = false;
};

TEST(SafeReplacement, TheOldFileGoesOnlyForACompleteCheckedMember) {
  const Case cases[] = {
      {"a good stored member", {.name = "f.txt", .data = kNew}, false, -1, true},
      {"a good deflated member", {.name = "f.txt", .data = kNew, .method = 8}, false, -1, true},
      {"a bad CRC-32", {.name = "f.txt", .data = kNew, .stored_crc = 0x12345678}},
      {"an abort half-way through a stored member", {.name = "f.txt", .data = kNew}, false, 50},
      {"an abort in a deflated member", {.name = "f.txt", .data = kNew, .method = 8}, false, 30},
      {"a read-only old file", {.name = "f.txt", .data = kNew}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScratchDir archive_dir;
    test::ScratchDir out;
    test::WriteFile(archive_dir.File("a.zip"), test::BuildZip({c.member}));
    const std::string old_file = out.File("f.txt");
    // An old file with a date and attributes of its own.
    {
      auto stream = platform::TFileStream::CreateAlways(old_file);
      stream->WriteBuffer(kOld.data(), static_cast<int64_t>(kOld.size()));
      stream->SetDosDateTime((20 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 7);  // 2000-03-04
    }
    const uint32_t old_attributes =
        platform::kAttrArchive | (c.read_only_old ? platform::kAttrReadOnly : 0);
    ASSERT_TRUE(platform::SetFileAttributes(old_file, old_attributes));

    TAbUnZipper unzipper{RefuseEveryDisk()};
    unzipper.SetBaseDirectory(out.Path());
    unzipper.SetFileName(archive_dir.File("a.zip"));
    std::vector<std::string> failures;
    unzipper.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem&, TAbProcessType,
                                        TAbErrorClass error_class, int32_t code) {
      failures.push_back(std::to_string(error_class) + " " + std::to_string(code));
    };
    unzipper.OnArchiveItemProgress = [&](TAbUnZipper&, TAbArchiveItem&, uint8_t progress,
                                         bool& abort) {
      if (c.abort_at >= 0 && progress >= c.abort_at) abort = true;
    };
    // An abort in a stored member leaves the archive unusable, which the
    // extraction's end reports.
    try {
      unzipper.ExtractFiles("*.*");
    } catch (const EAbNoArchive&) {
      EXPECT_GE(c.abort_at, 0);
    }
    unzipper.CloseArchive();

    EXPECT_EQ(NamesIn(out.Path()), std::vector<std::string>{"f.txt"}) << "a file left behind";
    if (c.replaced) {
      EXPECT_EQ(failures, std::vector<std::string>{});
      EXPECT_EQ(test::ReadFile(old_file), kNew);
      EXPECT_EQ(platform::FileLastWriteTime(old_file)->year, 2025);
      continue;
    }
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_EQ(test::ReadFile(old_file), kOld);
    const std::optional<platform::LocalDateTime> when = platform::FileLastWriteTime(old_file);
    ASSERT_TRUE(when);
    EXPECT_EQ(when->year, 2000);
    EXPECT_EQ(when->month, 3);
    EXPECT_EQ(when->day, 4);
    EXPECT_EQ(when->hour, 5);
    EXPECT_EQ(when->minute, 6);
    EXPECT_EQ(platform::GetFileAttributes(old_file) & ~platform::kAttrNormal, old_attributes);
    platform::SetFileAttributes(old_file, platform::kAttrNormal);
  }
}

// Where no file was before, a member with a bad CRC-32 is still written (its
// failure reported), and an aborted one leaves nothing.
TEST(SafeReplacement, WithoutAnOldFileOnlyTheAbortedMemberLeavesNothing) {
  test::ScratchDir archive_dir;
  test::ScratchDir out;
  test::WriteFile(archive_dir.File("a.zip"),
                  test::BuildZip({{.name = "bad.txt", .data = "payload", .stored_crc = 7},
                                  {.name = "big.bin", .data = kNew}}));
  TAbUnZipper unzipper{RefuseEveryDisk()};
  unzipper.SetBaseDirectory(out.Path());
  unzipper.SetFileName(archive_dir.File("a.zip"));
  int failures = 0;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem&, TAbProcessType, TAbErrorClass,
                                      int32_t) { ++failures; };
  unzipper.OnArchiveItemProgress = [&](TAbUnZipper&, TAbArchiveItem& item, uint8_t progress,
                                       bool& abort) {
    if (item.FileName() == "big.bin" && progress >= 40) abort = true;
  };
  EXPECT_NO_THROW(unzipper.ExtractFiles("*.*"));
  unzipper.CloseArchive();
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(NamesIn(out.Path()), std::vector<std::string>{"bad.txt"});
  EXPECT_EQ(test::ReadFile(out.File("bad.txt")), "payload");
}

}  // namespace
}  // namespace vx
