// vxzip as scripts see it: its output lines, its exit status, and the files
// it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "archive/zip_test_support.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::BuildZip;
using test::ReadFile;
using test::ShellQuote;

// Runs the vxzip of this build on archives written into a scratch directory.
class VxzipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vxzip_ = test::VxzipPath();
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
    test::WriteFile(dir_.File("good.zip"),
                    BuildZip({{.name = "a.txt", .data = "alpha"},
                              {.name = "docs/", .data = ""},
                              {.name = "docs/b.txt", .data = "bravo", .method = 8},
                              {.name = "docs/c.dat", .data = "charlie"}}));
    test::WriteFile(dir_.File("mixed.zip"),
                    BuildZip({{.name = "ok.txt", .data = "fine"},
                              {.name = "bad.txt", .data = "broken", .stored_crc = 0xDEADBEEF},
                              {.name = "secret.txt", .data = "hidden", .password = "pw"},
                              {.name = "last.txt", .data = "end"}}));
  }

  test::ProcessResult Vxzip(const std::string& arguments) {
    return test::RunProcess(ShellQuote(vxzip_) + " " + arguments);
  }

  std::string Quoted(const std::string& name) { return ShellQuote(dir_.File(name)); }

  test::ScratchDir dir_;
  std::string vxzip_;
};

TEST_F(VxzipTest, ListShowsOneLinePerMember) {
  test::ProcessResult run = Vxzip("list " + Quoted("good.zip"));
  EXPECT_EQ(run.exit_code, 0);
  char crc[4][9];
  const char* data[] = {"alpha", "", "bravo", "charlie"};
  for (int i = 0; i < 4; ++i)
    std::snprintf(crc[i], sizeof crc[i], "%08x", static_cast<unsigned>(test::CrcOf(data[i])));
  EXPECT_EQ(run.out, std::string("stored 5 5 ") + crc[0] + " 2025-06-15 13:37 a.txt\n" +
                         "stored 0 0 00000000 2025-06-15 13:37 docs/\n" + "deflated 10 5 " +
                         crc[2] + " 2025-06-15 13:37 docs/b.txt\n" + "stored 7 7 " + crc[3] +
                         " 2025-06-15 13:37 docs/c.dat\n");
}

TEST_F(VxzipTest, TestReportsEveryMember) {
  test::ProcessResult good = Vxzip("test " + Quoted("good.zip"));
  EXPECT_EQ(good.exit_code, 0);
  EXPECT_EQ(good.out, "OK a.txt\nOK docs/\nOK docs/b.txt\nOK docs/c.dat\n");

  test::ProcessResult mixed = Vxzip("test " + Quoted("mixed.zip"));
  EXPECT_EQ(mixed.exit_code, 1);
  EXPECT_EQ(mixed.out,
            "OK ok.txt\nFAIL bad.txt: Failed CRC Check\n"
            "FAIL secret.txt: Cannot extract file - invalid password\nOK last.txt\n");
  EXPECT_EQ(Vxzip("test " + Quoted("mixed.zip") + " -p wrong").out,
            "OK ok.txt\nFAIL bad.txt: Failed CRC Check\n"
            "FAIL secret.txt: Cannot extract file - invalid password\nOK last.txt\n");
  EXPECT_EQ(Vxzip("test -p pw " + Quoted("mixed.zip")).out,
            "OK ok.txt\nFAIL bad.txt: Failed CRC Check\nOK secret.txt\nOK last.txt\n");
}

// Standard output is buffered: an archive whose report runs past the buffer
// still gets every line, in member order, a failure in the middle included.
TEST_F(VxzipTest, TestReportsEveryMemberOfALargeArchiveInOrder) {
  std::vector<test::TestMember> members;
  std::string expected;
  for (int i = 0; i < 4000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "dir%02d/member%05d.txt", i % 7, i);
    const bool bad = i == 2500;
    members.push_back({.name = name,
                       .data = name,
                       .method = static_cast<uint16_t>(i % 2 ? 8 : 0),
                       .stored_crc = bad ? std::optional<uint32_t>(0xDEADBEEF) : std::nullopt});
    expected += bad ? "FAIL " + std::string(name) + ": Failed CRC Check\n"
                    : "OK " + std::string(name) + "\n";
  }
  test::WriteFile(dir_.File("large.zip"), BuildZip(members));
  test::ProcessResult run = Vxzip("test " + Quoted("large.zip"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_GT(run.out.size(), 100000u);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
}

TEST_F(VxzipTest, ExtractWritesTheTreeAndReportsFailures) {
  const std::string out = dir_.File("new/nested/out");
  test::ProcessResult run = Vxzip("extract " + Quoted("good.zip") + " -d " + ShellQuote(out));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(dir_.File("new/nested/out/a.txt")), "alpha");
  EXPECT_EQ(ReadFile(dir_.File("new/nested/out/docs/b.txt")), "bravo");

  // Existing files are replaced, read-only ones too.
  ASSERT_TRUE(
      platform::SetFileAttributes(dir_.File("new/nested/out/a.txt"), platform::kAttrReadOnly));
  test::WriteFile(dir_.File("new/nested/out/docs/c.dat"), std::string("stale"));
  run = Vxzip("extract -d " + ShellQuote(out) + " " + Quoted("good.zip"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir_.File("new/nested/out/docs/c.dat")), "charlie");

  run = Vxzip("extract " + Quoted("mixed.zip") + " -d " + Quoted("mixed"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "FAIL bad.txt: Failed CRC Check\n"
            "FAIL secret.txt: Cannot extract file - invalid password\n");
  EXPECT_EQ(ReadFile(dir_.File("mixed/last.txt")), "end");
  EXPECT_FALSE(ReadFile(dir_.File("mixed/secret.txt")));
}

// A member that fails over an existing file leaves that file as it was, and
// nothing else behind; the members that check out replace theirs.
TEST_F(VxzipTest, AFailedMemberKeepsTheFileItWouldHaveReplaced) {
  const std::string out = dir_.File("kept");
  ASSERT_TRUE(platform::CreateDirs(out));
  for (const char* name : {"ok.txt", "bad.txt", "last.txt"}) {
    test::WriteFile(dir_.File(std::string("kept/") + name), std::string("old ") + name);
  }
  test::ProcessResult run = Vxzip("extract " + Quoted("mixed.zip") + " -d " + ShellQuote(out));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(ReadFile(dir_.File("kept/bad.txt")), "old bad.txt");
  EXPECT_EQ(ReadFile(dir_.File("kept/ok.txt")), "fine");
  EXPECT_EQ(ReadFile(dir_.File("kept/last.txt")), "end");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"bad.txt", "last.txt", "ok.txt"}));
}

TEST_F(VxzipTest, ExtractWithMasksAndJunkedPaths) {
  test::ProcessResult run = Vxzip("extract " + Quoted("good.zip") + " -j -d " + Quoted("flat") +
                                  " " + ShellQuote("*.txt"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.File("flat"))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));

  run = Vxzip("extract " + Quoted("good.zip") + " -d " + Quoted("some") + " " +
              ShellQuote("docs/*.dat") + " " + ShellQuote("a.*"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(ReadFile(dir_.File("some/docs/c.dat")));
  EXPECT_TRUE(ReadFile(dir_.File("some/a.txt")));
  EXPECT_FALSE(ReadFile(dir_.File("some/docs/b.txt")));
}

TEST_F(VxzipTest, UnusableArchivesAndBadUsage) {
  test::WriteFile(dir_.File("junk.zip"), std::string(100, 'j'));
  test::ProcessResult missing = Vxzip("list " + Quoted("missing.zip"));
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.err, "vxzip: " + dir_.File("missing.zip") + ": File not found\n");
  test::ProcessResult junk = Vxzip("test " + Quoted("junk.zip"));
  EXPECT_EQ(junk.exit_code, 2);
  EXPECT_EQ(junk.err, "vxzip: " + dir_.File("junk.zip") + ": Unhandled Archive Type\n");

  for (const char* arguments : {"", "frobnicate x.zip", "list", "list -d x a.zip", "test a.zip b",
                                "extract a.zip -d", "extract -q a.zip"}) {
    test::ProcessResult run = Vxzip(arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments;
    EXPECT_NE(run.err.find("usage: vxzip"), std::string::npos) << arguments;
  }
  test::ProcessResult help = Vxzip("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: vxzip", 0), 0u);
}

}  // namespace
}  // namespace vx
