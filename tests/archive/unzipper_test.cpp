// The extraction component seen through its events and the files it
// writes: event order and values, abort answers, the failure path, paths,
// dates and attributes, passwords, and hostile member names.
#include "archive/unzipper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "archive/errors.h"
#include "archive/zip_test_support.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::BuildZip;
using test::ReadFile;
using test::TestMember;

// Output paths are built in the Windows model ("\" between the base and the
// member); the Linux backend reads "\" as "/".
std::string Slashed(std::string path) {
#ifndef _WIN32
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
#endif
  return path;
}

// An archive written into a scratch directory, a separate output directory,
// and a component with every event recorded as a line of text.
class UnzipperTest : public ::testing::Test {
 protected:
  void Open(const std::vector<TestMember>& members) {
    test::WriteFile(archive_dir_.File("test.zip"), BuildZip(members));
    unzipper_.SetBaseDirectory(out_.Path());
    unzipper_.SetFileName(archive_dir_.File("test.zip"));
    Record();
  }

  void Record() {
    events_.clear();
    unzipper_.OnConfirmProcessItem = [this](TAbUnZipper& sender, TAbArchiveItem& item,
                                            TAbProcessType type, bool& confirm) {
      EXPECT_EQ(&sender, &unzipper_);
      EXPECT_EQ(type, ptExtract);
      EXPECT_TRUE(confirm);
      events_.push_back("confirm " + item.FileName());
      if (item.FileName() == refuse_) confirm = false;
    };
    unzipper_.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
      EXPECT_TRUE(confirm);
      events_.push_back("overwrite " + Slashed(name));
      confirm = allow_overwrite_;
    };
    unzipper_.OnArchiveItemProgress = [this](TAbUnZipper&, TAbArchiveItem& item, uint8_t progress,
                                             bool& abort) {
      EXPECT_FALSE(abort);
      item_progress_.push_back(progress);
      if (item.FileName() == abort_item_ && progress >= abort_at_) abort = true;
    };
    unzipper_.OnArchiveProgress = [this](TAbUnZipper&, uint8_t progress, bool& abort) {
      EXPECT_FALSE(abort);
      events_.push_back("archive " + std::to_string(progress));
      if (abort_archive_at_ >= 0 && progress >= abort_archive_at_) abort = true;
    };
    unzipper_.OnProcessItemFailure = [this](TAbUnZipper&, TAbArchiveItem& item, TAbProcessType type,
                                            TAbErrorClass error_class, int32_t error_code) {
      EXPECT_EQ(type, ptExtract);
      events_.push_back("fail " + item.FileName() + " " + std::to_string(error_class) + " " +
                        std::to_string(error_code));
    };
  }

  std::optional<std::string> Output(const std::string& name) const {
    return ReadFile(out_.File(name));
  }

  test::ScratchDir archive_dir_;
  test::ScratchDir out_;
  TAbUnZipper unzipper_{RefuseEveryDisk()};
  std::vector<std::string> events_;
  std::vector<int> item_progress_;
  std::string refuse_;
  bool allow_overwrite_ = true;
  std::string abort_item_;
  int abort_at_ = 0;
  int abort_archive_at_ = -1;
};

TEST_F(UnzipperTest, EventOrderAndProgressOfThreeMembers) {
  Open({{.name = "one.txt", .data = "1"},
        {.name = "two.txt", .data = std::string(5000, '2')},
        {.name = "three.txt", .data = ""}});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_, (std::vector<std::string>{"confirm one.txt", "archive 33", "confirm two.txt",
                                               "archive 66", "confirm three.txt", "archive 100",
                                               "archive 100"}));
  // 1 byte: 100 at once; 5000 bytes judged per KiB: 20 41 61 82 100; the
  // empty member reports 100 once.
  EXPECT_EQ(item_progress_, (std::vector<int>{100, 20, 41, 61, 82, 100, 100}));
  EXPECT_EQ(Output("one.txt"), "1");
  EXPECT_EQ(Output("two.txt"), std::string(5000, '2'));
  EXPECT_EQ(Output("three.txt"), "");
}

// Item progress belongs between a member's confirmation and the archive
// progress that follows it; a CRC failure comes after the member's last
// item progress, before the archive progress.
TEST_F(UnzipperTest, ItemProgressInterleavesWithTheOtherEvents) {
  Open({{.name = "one.txt", .data = "1"},
        {.name = "packed.txt", .data = std::string(3000, 'p'), .method = 8},
        {.name = "bad.txt", .data = std::string(2048, 'b'), .stored_crc = 0x12345678}});
  unzipper_.OnArchiveItemProgress = [this](TAbUnZipper&, TAbArchiveItem& item, uint8_t progress,
                                           bool&) {
    events_.push_back("item " + item.FileName() + " " + std::to_string(progress));
  };
  unzipper_.ExtractFiles("*.*");

  // The deflated member's steps depend on how the inflater reads; they are
  // checked for their place and order, then folded into one line.
  std::vector<std::string> folded;
  int last_packed = -1;
  for (const std::string& event : events_) {
    if (event.rfind("item packed.txt ", 0) == 0) {
      const int percent = std::stoi(event.substr(16));
      EXPECT_GE(percent, last_packed) << "item progress went backwards";
      if (last_packed < 0) folded.push_back("item packed.txt ...");
      last_packed = percent;
      continue;
    }
    folded.push_back(event);
  }
  EXPECT_EQ(last_packed, 100);
  EXPECT_EQ(folded, (std::vector<std::string>{
                        "confirm one.txt", "item one.txt 100", "archive 33", "confirm packed.txt",
                        "item packed.txt ...", "archive 66", "confirm bad.txt", "item bad.txt 50",
                        "item bad.txt 100", "fail bad.txt 0 23", "archive 100", "archive 100"}));
}

TEST_F(UnzipperTest, RefusedItemAndRefusedOverwriteWriteNothing) {
  Open({{.name = "a/b.txt", .data = "first"},
        {.name = "c/b.txt", .data = "second"},
        {.name = "skip.txt", .data = "no"}});
  unzipper_.SetExtractOptions({eoCreateDirs});  // paths dropped: both land on b.txt
  refuse_ = "skip.txt";
  allow_overwrite_ = false;
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_, (std::vector<std::string>{"confirm a/b.txt", "archive 33", "confirm c/b.txt",
                                               "overwrite " + out_.File("b.txt"), "archive 66",
                                               "confirm skip.txt", "archive 100", "archive 100"}));
  EXPECT_EQ(Output("b.txt"), "first");
  EXPECT_FALSE(Output("skip.txt"));
  EXPECT_FALSE(std::filesystem::exists(out_.File("a")));
}

TEST_F(UnzipperTest, OverwriteReplacesAndMayRedirect) {
  Open({{.name = "x.txt", .data = "new"}, {.name = "y.txt", .data = "moved"}});
  test::WriteFile(out_.File("x.txt"), std::string("old contents"));
  test::WriteFile(out_.File("y.txt"), std::string("keep"));
  unzipper_.OnConfirmOverwrite = [this](std::string& name, bool&) {
    if (Slashed(name) == out_.File("y.txt")) name = out_.File("z.txt");
  };
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("x.txt"), "new");
  EXPECT_EQ(Output("y.txt"), "keep");
  EXPECT_EQ(Output("z.txt"), "moved");
}

TEST_F(UnzipperTest, MasksAndDirectoryEntries) {
  Open({{.name = "docs/", .data = ""},
        {.name = "empty/", .data = ""},
        {.name = "docs/a.txt", .data = "a"},
        {.name = "docs/deep/b.dat", .data = "b"},
        {.name = "c.exe", .data = "c"}});
  unzipper_.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper_.ExtractFiles("*.txt; *.dat");
  EXPECT_EQ(Output("docs/a.txt"), "a");
  EXPECT_EQ(Output("docs/deep/b.dat"), "b");
  EXPECT_FALSE(Output("c.exe"));
  EXPECT_FALSE(std::filesystem::exists(out_.File("empty")));  // nothing needed it
  for (const std::string& event : events_) EXPECT_NE(event, "confirm docs/");

  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("c.exe"), "c");
  EXPECT_TRUE(std::filesystem::is_directory(out_.File("docs")));
  EXPECT_FALSE(std::filesystem::exists(out_.File("empty")));
}

TEST_F(UnzipperTest, MissingDirectoryWithoutCreateDirsFails) {
  Open({{.name = "sub/a.txt", .data = "a"}});
  unzipper_.SetExtractOptions({eoRestorePath});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_[1], "fail sub/a.txt 0 19");
  EXPECT_FALSE(std::filesystem::exists(out_.File("sub")));
}

TEST_F(UnzipperTest, NewerVersionFailsAndTheOutputIsDeleted) {
  Open({{.name = "new.txt", .data = "n", .version_needed = 45}, {.name = "ok.txt", .data = "k"}});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_, (std::vector<std::string>{"confirm new.txt", "fail new.txt 0 1", "archive 50",
                                               "confirm ok.txt", "archive 100", "archive 100"}));
  EXPECT_FALSE(Output("new.txt"));
  EXPECT_EQ(Output("ok.txt"), "k");
}

TEST_F(UnzipperTest, DeflateSixtyFourNeedsVersionTwoPointOne) {
  Open({{.name = "d64.txt", .data = "deflate64 data", .method = 9, .version_needed = 21}});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("d64.txt"), "deflate64 data");
}

TEST_F(UnzipperTest, CrcMismatchIsReportedAndTheFileKept) {
  Open({{.name = "bad.txt", .data = "payload", .stored_crc = 0x12345678},
        {.name = "good.txt", .data = "fine"}});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_[1], "fail bad.txt 0 23");
  EXPECT_EQ(unzipper_.LastFailureMessage(), "Failed CRC Check");
  EXPECT_EQ(Output("bad.txt"), "payload");
  EXPECT_EQ(Output("good.txt"), "fine");
}

TEST_F(UnzipperTest, FailuresWithoutAHandlerAreDropped) {
  Open({{.name = "bad.txt", .data = "payload", .stored_crc = 1},
        {.name = "new.txt", .data = "n", .version_needed = 30},
        {.name = "good.txt", .data = "fine"}});
  unzipper_.OnProcessItemFailure = nullptr;
  EXPECT_NO_THROW(unzipper_.ExtractFiles("*.*"));
  EXPECT_EQ(Output("good.txt"), "fine");
}

TEST_F(UnzipperTest, AbortWhileCopyingAStoredMemberInvalidatesTheArchive) {
  Open({{.name = "big.bin", .data = std::string(100000, 'b')}, {.name = "next.txt", .data = "n"}});
  abort_item_ = "big.bin";
  abort_at_ = 50;
  EXPECT_THROW(unzipper_.ExtractFiles("*.*"), EAbNoArchive);
  EXPECT_EQ(events_,
            (std::vector<std::string>{"confirm big.bin", "fail big.bin 0 9", "archive 50"}));
  // The copy stops at the answer; 100 is still reported once, as after any copy.
  ASSERT_GE(item_progress_.size(), 2u);
  EXPECT_EQ(item_progress_[item_progress_.size() - 2], 50);
  EXPECT_EQ(item_progress_.back(), 100);
  EXPECT_FALSE(Output("big.bin"));
  EXPECT_EQ(unzipper_.Archive()->Status(), asInvalid);
  EXPECT_THROW(unzipper_.ExtractFiles("*.*"), EAbNoArchive);
}

TEST_F(UnzipperTest, AbortWhileInflatingIsAUserAbortNotACrcFailure) {
  Open({{.name = "big.txt", .data = std::string(200000, 'i'), .method = 8}});
  abort_item_ = "big.txt";
  abort_at_ = 0;
  EXPECT_NO_THROW(unzipper_.ExtractFiles("*.*"));
  ASSERT_EQ(events_.size(), 4u);
  EXPECT_EQ(events_[1], "fail big.txt 0 9");
  EXPECT_FALSE(Output("big.txt"));
  EXPECT_EQ(unzipper_.Archive()->Status(), asInvalid);
}

TEST_F(UnzipperTest, AbortAnsweredToArchiveProgressStopsExtraction) {
  Open({{.name = "a.txt", .data = "a"}, {.name = "b.txt", .data = "b"}});
  abort_archive_at_ = 50;
  EXPECT_THROW(unzipper_.ExtractFiles("*.*"), EAbUserAbort);
  EXPECT_EQ(Output("a.txt"), "a");
  EXPECT_FALSE(Output("b.txt"));
}

TEST_F(UnzipperTest, DatesAndAttributesReachTheFiles) {
  const uint16_t date = (44 << 9) | (2 << 5) | 29;    // 2024-02-29
  const uint16_t time = (23 << 11) | (59 << 5) | 29;  // 23:59:58
  Open({{.name = "ro.txt",
         .data = "r",
         .dos_date = date,
         .dos_time = time,
         .external_attributes = 0x21},
        {.name = "unix.txt", .data = "u", .external_attributes = 0x81A40000},
        {.name = "unixro.txt", .data = "v", .external_attributes = 0x81240001}});
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_.size(), 7u);  // no failure among them

  std::optional<platform::LocalDateTime> when = platform::FileLastWriteTime(out_.File("ro.txt"));
  ASSERT_TRUE(when);
  EXPECT_EQ(when->year, 2024);
  EXPECT_EQ(when->month, 2);
  EXPECT_EQ(when->day, 29);
  EXPECT_EQ(when->hour, 23);
  EXPECT_EQ(when->minute, 59);
  EXPECT_EQ(when->second, 58);

  EXPECT_NE(platform::GetFileAttributes(out_.File("ro.txt")) & platform::kAttrReadOnly, 0u);
  EXPECT_EQ(platform::GetFileAttributes(out_.File("unix.txt")) & platform::kAttrReadOnly, 0u);
  EXPECT_NE(platform::GetFileAttributes(out_.File("unixro.txt")) & platform::kAttrReadOnly, 0u);
#ifndef _WIN32
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(out_.File("ro.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
#endif
}

TEST_F(UnzipperTest, BaseDirectoryRules) {
  test::WriteFile(archive_dir_.File("t.zip"), BuildZip({{.name = "a.txt", .data = "a"}}));
  unzipper_.SetBaseDirectory(out_.File("missing"));
  EXPECT_THROW(unzipper_.SetFileName(archive_dir_.File("t.zip")), EAbNoSuchDirectory);
  EXPECT_EQ(unzipper_.Count(), 0);

  unzipper_.SetBaseDirectory(out_.Path() + test::Separator());
  unzipper_.SetFileName(archive_dir_.File("t.zip"));
  EXPECT_EQ(unzipper_.BaseDirectory(), out_.Path());
  EXPECT_THROW(unzipper_.SetBaseDirectory(out_.File("*")), EAbNoSuchDirectory);
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("a.txt"), "a");
}

TEST_F(UnzipperTest, HostileNamesNeverLeaveTheBaseDirectory) {
  // The base is a directory inside the scratch directory, so anything that
  // escaped would appear next to it.
  const std::string base = out_.File("base");
  ASSERT_TRUE(platform::CreateDirectory(base));
  test::WriteFile(archive_dir_.File("evil.zip"),
                  BuildZip({{.name = "../escaped1.txt", .data = "1"},
                            {.name = "a/../../escaped2.txt", .data = "2"},
                            {.name = "/tmp-absolute.txt", .data = "3"},
                            {.name = "C:\\drive.txt", .data = "4"},
                            {.name = "\\\\server\\share\\unc.txt", .data = "5"},
                            {.name = "..", .data = "6"},
                            {.name = "sub/./.. /x.txt", .data = "7"}}));
  unzipper_.SetBaseDirectory(base);
  unzipper_.SetFileName(archive_dir_.File("evil.zip"));
  unzipper_.SetExtractOptions({eoCreateDirs, eoRestorePath});
  Record();
  unzipper_.ExtractFiles("*.*");

  std::vector<std::string> outside;
  for (const auto& entry : std::filesystem::directory_iterator(out_.Path())) {
    outside.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(outside, std::vector<std::string>{"base"});
  EXPECT_EQ(ReadFile(out_.File("base/escaped1.txt")), "1");
  EXPECT_EQ(ReadFile(out_.File("base/a/escaped2.txt")), "2");
  EXPECT_EQ(ReadFile(out_.File("base/tmp-absolute.txt")), "3");
  EXPECT_EQ(ReadFile(out_.File("base/drive.txt")), "4");
  EXPECT_EQ(ReadFile(out_.File("base/unc.txt")), "5");
  EXPECT_EQ(ReadFile(out_.File("base/sub/x.txt")), "7");
  for (const std::string& event : events_) EXPECT_EQ(event.rfind("fail", 0), std::string::npos);
}

TEST_F(UnzipperTest, LogFileRecordsEachExtractedMember) {
  Open({{.name = "a.txt", .data = "a"}, {.name = "b.txt", .data = "b"}});
  unzipper_.SetLogFile(archive_dir_.File("extract.log"));
  EXPECT_TRUE(unzipper_.Logging());
  unzipper_.ExtractFiles("*.*");
  unzipper_.CloseArchive();
  std::optional<std::string> log = ReadFile(archive_dir_.File("extract.log"));
  ASSERT_TRUE(log);
  EXPECT_NE(log->find("test.zip logging "), std::string::npos);
  EXPECT_NE(log->find("a.txt extracted "), std::string::npos);
  EXPECT_NE(log->find("b.txt extracted "), std::string::npos);
  EXPECT_NE(log->find("\r\n"), std::string::npos);
}

TEST_F(UnzipperTest, ComponentLifecycle) {
  int changes = 0;
  int loads = 0;
  unzipper_.OnChange = [&](TAbUnZipper&) { ++changes; };
  unzipper_.OnLoad = [&](TAbUnZipper&) { ++loads; };
  Open({{.name = "a.txt", .data = "a"}});
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(unzipper_.Version(), "3.04");
  unzipper_.SetVersion("9.99");
  EXPECT_EQ(unzipper_.Version(), "3.04");
  EXPECT_EQ(unzipper_.Count(), 1);
  EXPECT_THROW(unzipper_.Items(1), EListError);
  unzipper_.CloseArchive();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(unzipper_.FileName(), "");
  EXPECT_EQ(unzipper_.Count(), 0);
  EXPECT_THROW(unzipper_.ExtractFiles("*.*"), EAbNoArchive);
}

// Password requests, for stored members and deflated ones.
class PasswordTest : public UnzipperTest, public ::testing::WithParamInterface<uint16_t> {
 protected:
  void OpenSecret(const std::string& password, uint16_t extra_flags = 0) {
    Open({{.name = "secret.txt",
           .data = "the secret contents",
           .method = GetParam(),
           .password = password,
           .extra_flags = extra_flags},
          {.name = "plain.txt", .data = "plain"}});
  }
};

TEST_P(PasswordTest, RightPasswordExtracts) {
  OpenSecret("s3cret");
  unzipper_.SetPassword("s3cret");
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("secret.txt"), "the secret contents");
}

TEST_P(PasswordTest, DataDescriptorMembersAreCheckedAgainstTheTime) {
  OpenSecret("s3cret", 0x0008);
  ASSERT_NE(TestMember{}.dos_time >> 8, test::CrcOf("the secret contents") >> 24);
  unzipper_.SetPassword("s3cret");
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(Output("secret.txt"), "the secret contents");
}

TEST_P(PasswordTest, NoPasswordAndNoHandlerFailsWithInvalidPassword) {
  OpenSecret("s3cret");
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(events_[1], "fail secret.txt 0 4");
  EXPECT_FALSE(Output("secret.txt"));
  EXPECT_EQ(Output("plain.txt"), "plain");
}

TEST_P(PasswordTest, HandlerIsAskedRetriesTimes) {
  OpenSecret("s3cret");
  int asked = 0;
  unzipper_.OnNeedPassword = [&](TAbUnZipper&, std::string& answer) {
    ++asked;
    answer = "wrong";
  };
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(events_[1], "fail secret.txt 0 4");
  EXPECT_EQ(unzipper_.Password(), "wrong");
}

TEST_P(PasswordTest, TheLastAllowedAnswerIsTried) {
  OpenSecret("s3cret");
  unzipper_.SetPassword("first guess");
  int asked = 0;
  unzipper_.OnNeedPassword = [&](TAbUnZipper&, std::string& answer) {
    answer = ++asked == 3 ? "s3cret" : "wrong";
  };
  unzipper_.ExtractFiles("*.*");
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(Output("secret.txt"), "the secret contents");
}

TEST_P(PasswordTest, WrongPasswordWithoutHandlerAbortsTheArchive) {
  OpenSecret("s3cret");
  unzipper_.SetPassword("wrong");
  EXPECT_THROW(unzipper_.ExtractFiles("*.*"), EAbNoArchive);
  EXPECT_EQ(events_[1], "fail secret.txt 0 9");
  EXPECT_FALSE(Output("plain.txt"));
}

INSTANTIATE_TEST_SUITE_P(StoredAndDeflated, PasswordTest, ::testing::Values(0, 8),
                         [](const ::testing::TestParamInfo<uint16_t>& info) {
                           return info.param == 0 ? "Stored" : "Deflated";
                         });

TEST(ConvertException, ClassesAndCodes) {
  TAbErrorClass error_class;
  int32_t code;
  ConvertException(EAbZipBadCRC(), error_class, code);
  EXPECT_EQ(error_class, ecArchive);
  EXPECT_EQ(code, 23);
  ConvertException(EInOutError("no", 5), error_class, code);
  EXPECT_EQ(error_class, ecInOut);
  EXPECT_EQ(code, 5);
  ConvertException(EFCreateError("no", 5), error_class, code);
  EXPECT_EQ(error_class, ecFileCreate);
  EXPECT_EQ(code, 0);
  ConvertException(EFileError("no", 2), error_class, code);
  EXPECT_EQ(error_class, ecFileOpen);
  ConvertException(EStreamError("Stream write error"), error_class, code);
  EXPECT_EQ(error_class, ecFiler);
  ConvertException(EAbInflateError("bad"), error_class, code);
  EXPECT_EQ(error_class, ecOther);
  EXPECT_EQ(code, 0);
  ConvertException(std::runtime_error("x"), error_class, code);
  EXPECT_EQ(error_class, ecOther);
}

}  // namespace
}  // namespace vx
