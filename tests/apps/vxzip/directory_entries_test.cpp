// vxzip extract and directory entries: created (empty ones too) under the
// same name rules as files, dated like the files of the same archive, and
// left alone when only some members are asked for or paths are junked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::BuildZip;
using test::ShellQuote;

class VxzipDirectoryEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vxzip_ = test::VxzipPath();
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
    const uint16_t date = (41 << 9) | (3 << 5) | 9;  // 2021-03-09
    const uint16_t time = (8 << 11) | (30 << 5);     // 08:30:00
    test::WriteFile(
        dir_.File("dirs.zip"),
        BuildZip({{.name = "empty/", .dos_date = date, .dos_time = time},
                  {.name = "a/b/c/", .dos_date = date, .dos_time = time},
                  {.name = "../escape/"},
                  {.name = "/rooted/"},
                  {.name = "C:/drive/"},
                  {.name = "a\\backslash\\"},
                  {.name = "file.txt", .data = "f", .dos_date = date, .dos_time = time}}));
  }

  int Extract(const std::string& options) {
    test::ProcessResult run =
        test::RunProcess(ShellQuote(vxzip_) + " extract " + ShellQuote(dir_.File("dirs.zip")) +
                         " -d " + ShellQuote(dir_.File("out")) + options);
    EXPECT_EQ(run.err, "");
    return run.exit_code;
  }

  // Everything below `root` as relative paths with "/", directories ending in "/".
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.File("out"))) {
      std::string name = fs::relative(entry.path(), dir_.File("out")).generic_string();
      names.push_back(entry.is_directory() ? name + "/" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::ScratchDir dir_;
  std::string vxzip_;
};

TEST_F(VxzipDirectoryEntriesTest, CreatedSafelyAndDated) {
  ASSERT_EQ(Extract(""), 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a/", "a/b/", "a/b/c/", "a/backslash/", "drive/",
                                               "empty/", "escape/", "file.txt", "rooted/"}));
  EXPECT_FALSE(fs::exists(dir_.File("escape")));
  const auto file_time = fs::last_write_time(dir_.File("out") + "/file.txt");
  EXPECT_EQ(fs::last_write_time(dir_.File("out") + "/empty"), file_time);
  EXPECT_EQ(fs::last_write_time(dir_.File("out") + "/a/b/c"), file_time);
}

TEST_F(VxzipDirectoryEntriesTest, NotCreatedForMasksOrJunkedPaths) {
  ASSERT_EQ(Extract(" file.txt"), 0);
  EXPECT_EQ(Names(), std::vector<std::string>{"file.txt"});
  fs::remove_all(dir_.File("out"));
  ASSERT_EQ(Extract(" -j"), 0);
  EXPECT_EQ(Names(), std::vector<std::string>{"file.txt"});
}

}  // namespace
}  // namespace vx
