// The file layer on real files. These tests run natively and under Wine and
// expect the same answers from both backends.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vx::platform {
namespace {

void WriteFile(const std::string& path, const std::string& content) {
  auto stream = TFileStream::CreateAlways(path);
  stream->WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
}

uint32_t OpenErrorCode(const std::string& path, bool create) {
  try {
    if (create) {
      TFileStream::CreateAlways(path);
    } else {
      TFileStream::OpenRead(path);
    }
  } catch (const EFileError& error) {
    EXPECT_NE(error.Message().find(path), std::string::npos) << error.Message();
    return error.ErrorCode();
  }
  return 0;
}

TEST(Files, DirectoriesAreCreatedOneLevelAndRemovedWhenEmpty) {
  test::ScratchDir scratch;
  const std::string dir = scratch.File("sub");
  ASSERT_TRUE(CreateDirectory(dir));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(FileExists(dir));
  EXPECT_EQ(GetFileAttributes(dir) & kAttrDirectory, kAttrDirectory);

  EXPECT_FALSE(CreateDirectory(dir));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory(scratch.File("missing/deeper")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  WriteFile(scratch.File("sub/file.txt"), "x");
  EXPECT_FALSE(RemoveDirectory(dir));
  EXPECT_EQ(LastError(), 145u);   // not empty
  EXPECT_FALSE(DeleteFile(dir));  // a directory is no file
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  ASSERT_TRUE(DeleteFile(scratch.File("sub/file.txt")));
  ASSERT_TRUE(RemoveDirectory(dir));
  EXPECT_FALSE(DirectoryExists(dir));
  EXPECT_EQ(GetFileAttributes(dir), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(Files, StreamsReadWriteSeekAndTruncate) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("data.bin");
  {
    auto stream = TFileStream::CreateAlways(path);
    EXPECT_EQ(stream->Path(), path);
    stream->WriteBuffer("0123456789", 10);
    EXPECT_EQ(stream->Seek(-4, soEnd), 6);
    char tail[5] = {};
    stream->ReadBuffer(tail, 4);  // a created file can be read back
    EXPECT_STREQ(tail, "6789");
    EXPECT_EQ(stream->Seek(2, soBeginning), 2);
    stream->WriteBuffer("ab", 2);
    EXPECT_EQ(stream->Position(), 4);
    EXPECT_THROW(stream->Seek(-1, soBeginning), EStreamError);
  }
  EXPECT_EQ(ReadWholeFile(path), "01ab456789");
  EXPECT_EQ(FileSizeBySearch(path), 10);
  WriteFile(path, "new");  // create-always replaces the old contents
  EXPECT_EQ(ReadWholeFile(path), "new");
  auto stream = TFileStream::OpenRead(path);
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1), 1);
  EXPECT_EQ(stream->Seek(0, soEnd), 3);
  EXPECT_EQ(stream->Read(&byte, 1), 0);
}

TEST(Files, PositionsBeyondFourGibibytesKeepTheirHighBits) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("sparse.bin");
  const int64_t far = (int64_t{5} << 30) + 3;
  {
    auto stream = TFileStream::CreateAlways(path);
    ASSERT_EQ(stream->Seek(far, soBeginning), far);
    stream->WriteBuffer("!", 1);
    EXPECT_EQ(stream->Size(), far + 1);
    EXPECT_EQ(stream->Seek(-1, soCurrent), far);
  }
  EXPECT_EQ(FileSizeBySearch(path), far + 1);
  ASSERT_EQ(FindFiles(path).size(), 1u);
  EXPECT_EQ(FindFiles(path)[0].size, far + 1);
}

TEST(Files, OpeningFailuresCarryTheWindowsErrorCode) {
  test::ScratchDir scratch;
  EXPECT_EQ(OpenErrorCode(scratch.File("missing.txt"), false), kErrorFileNotFound);
  EXPECT_EQ(OpenErrorCode(scratch.File("nodir/missing.txt"), false), kErrorPathNotFound);
  EXPECT_EQ(OpenErrorCode(scratch.File("nodir/new.txt"), true), kErrorPathNotFound);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ASSERT_TRUE(CreateDirectory(scratch.File("dir")));
  EXPECT_EQ(OpenErrorCode(scratch.File("dir"), false), kErrorAccessDenied);
  EXPECT_EQ(OpenErrorCode(scratch.File("dir"), true), kErrorAccessDenied);
  EXPECT_FALSE(FileExists(scratch.File("nodir/new.txt")));
}

TEST(Files, WholeFilesAreReadByteForByte) {
  test::ScratchDir scratch;
  const std::string bytes("line\r\n\0\xFF\x1A end", 12);
  WriteFile(scratch.File("bytes.bin"), bytes);
  WriteFile(scratch.File("empty.txt"), "");
  EXPECT_EQ(ReadWholeFile(scratch.File("bytes.bin")), bytes);
  EXPECT_EQ(ReadWholeFile(scratch.File("empty.txt")), "");
  try {
    ReadWholeFile(scratch.File("missing.txt"));
    ADD_FAILURE() << "a missing file was read";
  } catch (const EFileError& error) {
    EXPECT_EQ(error.ErrorCode(), kErrorFileNotFound);
  }
}

TEST(Files, AnExclusiveFileIsNeitherOpenedNorReplacedNorDeleted) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("busy.txt");
  {
    auto writer = TFileStream::CreateAlways(path);
    EXPECT_EQ(OpenErrorCode(path, false), kErrorSharingViolation);
    EXPECT_EQ(OpenErrorCode(path, true), kErrorSharingViolation);
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_EQ(LastError(), kErrorSharingViolation);
  }
  {
    // Readers share with each other, but the file stays undeletable meanwhile.
    auto first = TFileStream::OpenRead(path);
    auto second = TFileStream::OpenRead(path);
    EXPECT_EQ(OpenErrorCode(path, true), kErrorSharingViolation);
    EXPECT_FALSE(DeleteFile(path));
  }
  EXPECT_TRUE(DeleteFile(path));
  EXPECT_FALSE(FileExists(path));
}

TEST(Files, AFileIsInUseWhileAnotherHandleHoldsIt) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("held.txt");
  const std::string read_only = scratch.File("fixed.txt");
  WriteFile(path, "data");
  WriteFile(read_only, "data");
  ASSERT_TRUE(SetFileAttributes(read_only, kAttrReadOnly));
  // Nothing holds them: neither they, nor a missing file, nor a directory is in use.
  for (const std::string& free : {path, read_only, scratch.File("missing.txt"), scratch.Path()}) {
    EXPECT_FALSE(FileInUse(free)) << free;
  }
  {
    auto writer = TFileStream::CreateAlways(path);  // no sharing
    EXPECT_TRUE(FileInUse(path));
    EXPECT_FALSE(FileInUse(read_only));
  }
  EXPECT_FALSE(FileInUse(path));
  {
    // A reader shares reading only; a read-only file is found held as well.
    auto reader = TFileStream::OpenRead(path);
    auto fixed_reader = TFileStream::OpenRead(read_only);
    EXPECT_TRUE(FileInUse(path));
    EXPECT_TRUE(FileInUse(read_only));
  }
  EXPECT_FALSE(FileInUse(path));
  EXPECT_FALSE(FileInUse(read_only));
  // Probing holds nothing: the file is written as usual afterwards.
  WriteFile(path, "changed");
  EXPECT_EQ(ReadWholeFile(path), "changed");
  ASSERT_TRUE(SetFileAttributes(read_only, kAttrNormal));
}

#ifndef _WIN32
TEST(Files, ARecordLockOfAnotherProcessMakesAFileInUse) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("locked.dat");
  WriteFile(path, "data");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR);  // a Linux path here
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 2;
    lock.l_len = 1;
    const char result = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
    if (write(ready[1], &result, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char result = 0;
  ASSERT_EQ(read(ready[0], &result, 1), 1);
  EXPECT_EQ(result, 'y');
  EXPECT_TRUE(FileInUse(path));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_FALSE(FileInUse(path));
}
#endif

TEST(Files, ReadOnlyFilesAreKeptUntilTheAttributeIsCleared) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("locked.txt");
  WriteFile(path, "keep");
  EXPECT_EQ(GetFileAttributes(path) & (kAttrReadOnly | kAttrDirectory), 0u);
  ASSERT_TRUE(SetFileAttributes(path, kAttrReadOnly));
  EXPECT_EQ(GetFileAttributes(path) & kAttrReadOnly, kAttrReadOnly);
  EXPECT_EQ(OpenErrorCode(path, true), kErrorAccessDenied);
  EXPECT_FALSE(DeleteFile(path));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_EQ(ReadWholeFile(path), "keep");  // reading is fine

  ASSERT_TRUE(SetFileAttributes(path, kAttrNormal));
  EXPECT_EQ(GetFileAttributes(path) & kAttrReadOnly, 0u);
  WriteFile(path, "changed");
  EXPECT_EQ(ReadWholeFile(path), "changed");
  EXPECT_FALSE(SetFileAttributes(scratch.File("missing.txt"), kAttrNormal));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(Files, HiddenFilesCanBeReplaced) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("hidden.txt");
  WriteFile(path, "old");
  ASSERT_TRUE(SetFileAttributes(path, kAttrHidden | kAttrSystem));
  WriteFile(path, "new");
  EXPECT_EQ(ReadWholeFile(path), "new");
}

std::vector<std::string> Names(const std::vector<FoundFile>& found) {
  std::vector<std::string> names;
  for (const FoundFile& file : found) names.push_back(file.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Files, SearchesMatchWildcardsWithoutRegardToCase) {
  test::ScratchDir scratch;
  WriteFile(scratch.File("a.txt"), "12345");
  WriteFile(scratch.File("B.TXT"), "");
  WriteFile(scratch.File("c.dat"), "");
  WriteFile(scratch.File("noext"), "");
  ASSERT_TRUE(CreateDirectory(scratch.File("sub")));
  using Strings = std::vector<std::string>;

  EXPECT_EQ(Names(FindFiles(scratch.File("*.txt"))), (Strings{"B.TXT", "a.txt"}));
  EXPECT_EQ(Names(FindFiles(scratch.File("*.*"))),
            (Strings{"B.TXT", "a.txt", "c.dat", "noext", "sub"}));
  EXPECT_EQ(Names(FindFiles(scratch.File("?.dat"))), (Strings{"c.dat"}));
  EXPECT_EQ(Names(FindFiles(scratch.File("noext.*"))), (Strings{"noext"}));

  std::vector<FoundFile> all = FindFiles(scratch.File("*"));
  ASSERT_EQ(all.size(), 5u);
  for (const FoundFile& file : all) {
    EXPECT_EQ(file.attributes & kAttrDirectory, file.name == "sub" ? kAttrDirectory : 0u);
    if (file.name == "a.txt") {
      EXPECT_EQ(file.size, 5);
    }
  }
  EXPECT_TRUE(FindFiles(scratch.File("*.exe")).empty());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_TRUE(FindFiles(scratch.File("nodir/*")).empty());
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_EQ(FileSizeBySearch(scratch.File("a.txt")), 5);
  EXPECT_EQ(FileSizeBySearch(scratch.File("none.txt")), -1);
}

TEST(Files, DosDateAndTimeComeBackFromTheDirectory) {
  test::ScratchDir scratch;
  const std::string path = scratch.File("dated.txt");
  // 2001-02-03 04:05:06 and 2107-12-31 23:59:58, the last MS-DOS moment.
  for (auto [date, time] :
       {std::pair<uint16_t, uint16_t>{(21 << 9) | (2 << 5) | 3, (4 << 11) | (5 << 5) | 3},
        std::pair<uint16_t, uint16_t>{(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29}}) {
    {
      auto stream = TFileStream::CreateAlways(path);
      stream->WriteBuffer("x", 1);
      ASSERT_TRUE(stream->SetDosDateTime(date, time));
    }
    std::vector<FoundFile> found = FindFiles(path);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].dos_date, date);
    EXPECT_EQ(found[0].dos_time, time);
  }
  auto stream = TFileStream::CreateAlways(path);
  EXPECT_FALSE(stream->SetDosDateTime((21 << 9) | (13 << 5) | 1, 0));  // month 13
}

// Puts the current directory back when a test ends, also after a failed assertion.
struct CurrentDirectoryRestorer {
  std::string saved = GetCurrentDirectory();
  ~CurrentDirectoryRestorer() { SetCurrentDirectory(saved); }
};

TEST(Files, CurrentDirectoryAndFullPaths) {
  test::ScratchDir scratch;
  CurrentDirectoryRestorer restorer;
  ASSERT_FALSE(restorer.saved.empty());
  ASSERT_TRUE(CreateDirectory(scratch.File("sub")));
  ASSERT_TRUE(SetCurrentDirectory(scratch.Path()));
  const std::string here = GetCurrentDirectory();
  const std::string sep(1, test::Separator());
  EXPECT_EQ(here, scratch.Path());
  EXPECT_EQ(FullPathName("x.txt"), here + sep + "x.txt");
  EXPECT_EQ(FullPathName("sub\\..\\.\\x.txt"), here + sep + "x.txt");
  EXPECT_EQ(FullPathName("sub\\"), here + sep + "sub" + sep);
  EXPECT_EQ(FullPathName(scratch.File("sub")), scratch.File("sub"));
  ASSERT_TRUE(SetCurrentDirectory("sub"));
  EXPECT_EQ(GetCurrentDirectory(), scratch.File("sub"));
  EXPECT_FALSE(SetCurrentDirectory(scratch.File("missing")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(GetCurrentDirectory(), scratch.File("sub"));
}

}  // namespace
}  // namespace vx::platform
