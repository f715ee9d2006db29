// Opening archives: finding the end record, reading the central directory,
// the archive type, and what hostile directories must not do.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_archive.h"
#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::BuildZip;
using test::TestMember;
using test::ZipLayout;

std::vector<TestMember> TwoMembers() {
  return {{.name = "a.txt", .data = "alpha"}, {.name = "docs/b.txt", .data = "beta"}};
}

// Loads an archive held in memory; the stream must outlive the archive.
struct MemoryArchive {
  explicit MemoryArchive(std::vector<uint8_t> bytes)
      : stream(std::move(bytes)), archive(stream, "memory.zip") {}
  TMemoryStream stream;
  TAbZipArchive archive;
};

TEST(CentralDirectoryTail, FoundForEveryCommentLength) {
  // Lengths around the first window (512 bytes) and up to the largest.
  std::vector<size_t> lengths = {0, 1, 21, 22, 23, 489, 490, 491, 511, 512, 513, 1000, 1534, 65535};
  for (size_t length : lengths) {
    std::vector<uint8_t> bytes = BuildZip(TwoMembers(), {.comment = std::string(length, 'c')});
    TMemoryStream stream(bytes);
    const int64_t expected = static_cast<int64_t>(bytes.size() - 22 - length);
    EXPECT_EQ(FindCentralDirectoryTail(stream), expected) << "comment length " << length;
    EXPECT_EQ(stream.Position(), expected);
  }
}

TEST(CentralDirectoryTail, SkipsASignatureInTheCommentWhoseLengthDoesNotFit) {
  // A record signature near the end of the comment announcing a comment far
  // longer than the bytes left after it.
  std::string comment = std::string(100, 'x') + "PK\x05\x06" + std::string(16, '\0') + "\xFF\x7F";
  std::vector<uint8_t> bytes = BuildZip(TwoMembers(), {.comment = comment});
  TMemoryStream stream(bytes);
  EXPECT_EQ(FindCentralDirectoryTail(stream),
            static_cast<int64_t>(bytes.size() - 22 - comment.size()));

  MemoryArchive loaded(bytes);
  loaded.archive.Load();
  ASSERT_EQ(loaded.archive.Count(), 2);
  EXPECT_EQ(loaded.archive.Footer().zip_file_comment, comment);
}

TEST(CentralDirectoryTail, AbsentInShortOrForeignData) {
  for (size_t size = 0; size <= 21; ++size) {
    TMemoryStream stream(std::vector<uint8_t>(size, 'x'));
    stream.Seek(static_cast<int64_t>(size / 2), soBeginning);
    EXPECT_EQ(FindCentralDirectoryTail(stream), -1);
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(size / 2));  // left where it was
  }
  TMemoryStream big(std::vector<uint8_t>(300000, 'y'));
  EXPECT_EQ(FindCentralDirectoryTail(big), -1);
}

TEST(LoadArchive, EmptyAndShortFiles) {
  MemoryArchive empty(std::vector<uint8_t>{});
  EXPECT_NO_THROW(empty.archive.Load());
  EXPECT_EQ(empty.archive.Count(), 0);
  EXPECT_EQ(empty.archive.Status(), asIdle);

  for (size_t size = 1; size <= 21; ++size) {
    MemoryArchive junk(std::vector<uint8_t>(size, 'J'));
    EXPECT_THROW(junk.archive.Load(), EAbZipInvalid) << size;
    EXPECT_EQ(junk.archive.Status(), asInvalid);
  }
  // "PK" without an end record is the first part of a spanned set, which a
  // stream in memory cannot continue.
  std::vector<uint8_t> first_part = {'P', 'K', 7, 8, 1, 2, 3};
  MemoryArchive spanned(first_part);
  EXPECT_THROW(spanned.archive.Load(), EAbZipBadSpanStream);
}

TEST(LoadArchive, ItemsAndTheirAccessors) {
  std::vector<TestMember> members = {
      {.name = "docs/", .data = ""},
      {.name = "docs/readme.txt", .data = "hello", .method = 8, .external_attributes = 0x21},
      {.name = "x.bin", .data = std::string(3000, 'x'), .extra_flags = 0x0006, .dos_date = 0x5A21},
  };
  MemoryArchive loaded(BuildZip(members));
  loaded.archive.Load();
  ASSERT_EQ(loaded.archive.Count(), 3);

  TAbZipItem& dir = loaded.archive.ZipItems(0);
  EXPECT_EQ(dir.FileName(), "docs/");
  EXPECT_EQ(dir.DiskFileName(), "docs\\");
  EXPECT_EQ(dir.UncompressedSize(), 0);

  TAbZipItem& readme = loaded.archive.ZipItems(1);
  EXPECT_EQ(readme.StoredName(), "docs/readme.txt");
  EXPECT_EQ(readme.DiskFileName(), "docs\\readme.txt");
  EXPECT_EQ(readme.CompressionMethod(), 8);
  EXPECT_EQ(readme.UncompressedSize(), 5);
  EXPECT_EQ(readme.CRC32(), test::CrcOf("hello"));
  EXPECT_EQ(readme.ExternalFileAttributes(), 0x21u);
  EXPECT_FALSE(readme.IsEncrypted());
  EXPECT_EQ(readme.DictionarySize(), 0u);  // not imploded

  TAbZipItem& bin = loaded.archive.ZipItems(2);
  EXPECT_EQ(bin.LastModFileDate(), 0x5A21);
  EXPECT_EQ(bin.GeneralPurposeBitFlag(), 0x0006);
  EXPECT_GT(bin.RelativeOffset(), readme.RelativeOffset());

  EXPECT_EQ(loaded.archive.FindItem("DOCS/README.TXT"), 1);
  EXPECT_EQ(loaded.archive.FindItem("missing"), -1);
}

// A directory of more members than the store's table of shared fields has
// room for distinct attributes, with extra fields, comments and ZIP64 sizes
// on some of them: every field must read back as written, whichever way the
// store keeps it.
TEST(LoadArchive, EveryFieldOfManyDistinctMembersReadsBack) {
  constexpr uint32_t kCount = 70000;
  std::vector<uint8_t> bytes;
  auto put16 = [&bytes](uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto put64 = [&](uint64_t v) {
    put32(static_cast<uint32_t>(v));
    put32(static_cast<uint32_t>(v >> 32));
  };
  auto name_of = [](uint32_t i) { return "d" + std::to_string(i % 97) + "/m" + std::to_string(i); };
  auto extra_of = [](uint32_t i) {
    return i % 7 == 0 ? std::string(
                            "\x99\x99\x02\x00"
                            "ab",
                            6)
                      : "";
  };
  auto comment_of = [](uint32_t i) { return i % 5 == 0 ? "note " + std::to_string(i) : ""; };
  auto wide = [](uint32_t i) { return i % 13 == 0; };
  const uint64_t kBig = uint64_t{5} << 30;
  for (uint32_t i = 0; i < kCount; ++i) {
    const std::string name = name_of(i), comment = comment_of(i);
    std::string extra = extra_of(i);
    if (wide(i)) {
      // The ZIP64 field: its id and length, then the three values.
      const uint64_t values[] = {kBig + 2 * i, i % 900, kBig + 1000 * i};
      extra += std::string("\x01\x00\x18\x00", 4);
      for (uint64_t value : values) {
        for (int byte = 0; byte < 8; ++byte) extra += static_cast<char>(value >> (8 * byte));
      }
    }
    put32(0x02014B50);
    put16(0x0300 + i % 3);  // made by
    put16(20 + i % 2);      // needed
    put16(i % 4 == 0 ? 0x0800 : 0);
    put16(i % 2 == 0 ? 8 : 0);
    put16(i & 0xFFFF);  // time
    put16(0x5A21);      // date
    put32(i * 7919);    // CRC-32
    put32(wide(i) ? 0xFFFFFFFF : i % 900);
    put32(wide(i) ? 0xFFFFFFFF : 2 * i);
    put16(static_cast<uint32_t>(name.size()));
    put16(static_cast<uint32_t>(extra.size()));
    put16(static_cast<uint32_t>(comment.size()));
    put16(0);               // start disk
    put16(0);               // internal attributes
    put32(i << 12 | 0x20);  // external attributes, distinct for every member
    put32(wide(i) ? 0xFFFFFFFF : 1000 * i);
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    bytes.insert(bytes.end(), comment.begin(), comment.end());
  }
  const uint64_t directory_size = bytes.size();
  put32(0x06064B50);  // ZIP64 end record
  put64(44);
  put16(45);
  put16(45);
  put32(0);
  put32(0);
  put64(kCount);
  put64(kCount);
  put64(directory_size);
  put64(0);
  put32(0x07064B50);  // its locator
  put32(0);
  put64(directory_size);
  put32(1);
  put32(0x06054B50);  // end record
  put16(0);
  put16(0);
  put16(0xFFFF);
  put16(0xFFFF);
  put32(static_cast<uint32_t>(directory_size));
  put32(0);
  put16(0);

  MemoryArchive loaded(std::move(bytes));
  loaded.archive.Load();
  ASSERT_EQ(loaded.archive.Count(), static_cast<int32_t>(kCount));
  for (uint32_t i = 0; i < kCount; ++i) {
    SCOPED_TRACE(i);
    const TAbZipItem& item = loaded.archive.ZipItems(static_cast<int32_t>(i));
    ASSERT_EQ(item.StoredName(), name_of(i));
    ASSERT_EQ(item.VersionMadeBy(), 0x0300 + i % 3);
    ASSERT_EQ(item.VersionNeededToExtract(), 20 + i % 2);
    ASSERT_EQ(item.GeneralPurposeBitFlag(), i % 4 == 0 ? 0x0800 : 0);
    ASSERT_EQ(item.CompressionMethod(), i % 2 == 0 ? 8 : 0);
    ASSERT_EQ(item.LastModFileTime(), i & 0xFFFF);
    ASSERT_EQ(item.LastModFileDate(), 0x5A21);
    ASSERT_EQ(item.CRC32(), i * 7919);
    ASSERT_EQ(item.ExternalFileAttributes(), i << 12 | 0x20);
    ASSERT_EQ(item.FileComment(), comment_of(i));
    ASSERT_EQ(item.DiskNumberStart(), 0);
    ASSERT_EQ(item.HasZip64Field(), wide(i));
    if (wide(i)) {
      ASSERT_EQ(item.ExtraField().substr(0, extra_of(i).size()), extra_of(i));
      ASSERT_EQ(item.StoredUncompressedSize(), kBig + 2 * i);
      ASSERT_EQ(item.StoredCompressedSize(), i % 900);
      ASSERT_EQ(item.RelativeOffset64(), kBig + 1000 * i);
      ASSERT_EQ(item.RelativeOffset(), 0xFFFFFFFFu);
      ASSERT_EQ(item.UncompressedSize(), static_cast<int32_t>(kBig + 2 * i));
    } else {
      ASSERT_EQ(item.ExtraField(), extra_of(i));
      ASSERT_EQ(item.StoredUncompressedSize(), 2 * i);
      ASSERT_EQ(item.StoredCompressedSize(), i % 900);
      ASSERT_EQ(item.RelativeOffset64(), 1000 * i);
      ASSERT_EQ(item.CompressedSize(), static_cast<int32_t>(i % 900));
    }
  }
  EXPECT_EQ(loaded.archive.FindItem("D7/M69847"), 69847);

  // Setting fields changes only the item set.
  TAbZipItem& first = loaded.archive.ZipItems(1);
  first.SetExternalFileAttributes(0x10);
  first.SetCompressedSize(77);
  EXPECT_EQ(first.ExternalFileAttributes(), 0x10u);
  EXPECT_EQ(first.StoredCompressedSize(), 77u);
  EXPECT_EQ(loaded.archive.ZipItems(2).ExternalFileAttributes(), 2u << 12 | 0x20);
}

TEST(LoadArchive, ImplodeParametersComeFromTheFlag) {
  TAbZipDirectoryFileHeader header;
  header.compression_method = 6;
  header.general_purpose_bit_flag = 0x0002;
  EXPECT_EQ(header.DictionarySize(), 8192u);
  EXPECT_EQ(header.ShannonFanoTreeCount(), 2);
  header.general_purpose_bit_flag = 0x0004;
  EXPECT_EQ(header.DictionarySize(), 4096u);
  EXPECT_EQ(header.ShannonFanoTreeCount(), 3);
  header.compression_method = 0x0106;  // only the low byte names the method
  EXPECT_EQ(header.CompressionMethod(), 6);
}

TEST(LoadArchive, ProgressCountsEntriesAndEndsAt100) {
  std::vector<TestMember> members;
  for (int i = 0; i < 250; ++i) {
    std::string name = "f";
    name += std::to_string(i);
    members.push_back({.name = name, .data = "x"});
  }
  MemoryArchive loaded(BuildZip(members));
  std::vector<int> progress;
  loaded.archive.OnArchiveProgress = [&](uint8_t value, bool&) { progress.push_back(value); };
  loaded.archive.Load();
  ASSERT_EQ(progress.size(), 251u);
  EXPECT_EQ(std::vector<int>(progress.begin(), progress.begin() + 6),
            (std::vector<int>{0, 0, 1, 1, 2, 2}));
  EXPECT_EQ(progress[249], 100);
  EXPECT_EQ(progress[250], 100);
}

TEST(LoadArchive, WrongEntryCountsNeitherDivideByZeroNorPassOneHundred) {
  for (uint16_t count : {0, 1}) {
    MemoryArchive loaded(BuildZip(TwoMembers(), {.total_entries = count}));
    std::vector<int> progress;
    loaded.archive.OnArchiveProgress = [&](uint8_t value, bool&) { progress.push_back(value); };
    ASSERT_NO_THROW(loaded.archive.Load());
    EXPECT_EQ(loaded.archive.Count(), 2);
    for (int value : progress) EXPECT_LE(value, 100);
    EXPECT_EQ(progress.back(), 100);
  }
}

TEST(LoadArchive, AbortWhileLoading) {
  MemoryArchive loaded(BuildZip(TwoMembers()));
  bool load_raised = false;
  loaded.archive.OnArchiveProgress = [](uint8_t, bool& abort) { abort = true; };
  loaded.archive.OnLoad = [&] { load_raised = true; };
  EXPECT_THROW(loaded.archive.Load(), EAbUserAbort);
  EXPECT_EQ(loaded.archive.Status(), asInvalid);
  EXPECT_TRUE(load_raised);
}

TEST(LoadArchive, NamesOfEveryLength) {
  const std::string longest(65535, 'n');
  MemoryArchive loaded(BuildZip({{.name = longest, .data = "z"}, {.name = "", .data = "empty"}}));
  loaded.archive.Load();
  ASSERT_EQ(loaded.archive.Count(), 2);
  EXPECT_EQ(loaded.archive.Items(0).FileName(), longest);
  EXPECT_EQ(loaded.archive.Items(1).FileName(), "");
  TMemoryStream out;
  loaded.archive.ExtractToStream(0, out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "z");
}

TEST(LoadArchive, BrokenDirectories) {
  std::vector<uint8_t> bytes = BuildZip(TwoMembers());
  const size_t tail = bytes.size() - 22;
  const uint32_t directory_offset = bytes[tail + 16] | (bytes[tail + 17] << 8);

  std::vector<uint8_t> bad_signature = bytes;
  bad_signature[directory_offset] = 'X';
  MemoryArchive invalid(bad_signature);
  EXPECT_THROW(invalid.archive.Load(), EAbZipInvalid);
  EXPECT_EQ(invalid.archive.Status(), asInvalid);

  // A name length far beyond the file: refused without reading past the end
  // or allocating what the field asks for.
  std::vector<uint8_t> long_name = bytes;
  long_name[directory_offset + 28] = 0xFF;
  long_name[directory_offset + 29] = 0xFF;
  long_name[directory_offset + 30] = 0xFF;
  long_name[directory_offset + 31] = 0xFF;
  MemoryArchive truncated(long_name);
  EXPECT_THROW(truncated.archive.Load(), EAbReadError);

  // A directory offset beyond the end record while members are declared:
  // a damaged archive, never a silently empty one.
  std::vector<uint8_t> far_offset = bytes;
  far_offset[tail + 19] = 0x7F;
  MemoryArchive far(far_offset);
  EXPECT_THROW(far.archive.Load(), EAbZipInvalid);
  EXPECT_EQ(far.archive.Status(), asInvalid);
}

TEST(ArchiveType, ProbesByExtensionAndContents) {
  test::ScratchDir dir;
  const std::vector<uint8_t> zip = BuildZip(TwoMembers());
  const std::string stub = "MZ" + std::string(1000, '\x90');
  const std::vector<uint8_t> sfx = BuildZip(TwoMembers(), {.prefix = stub});

  test::WriteFile(dir.File("a.zip"), zip);
  test::WriteFile(dir.File("b.ZIP"), std::string("not an archive at all"));
  test::WriteFile(dir.File("c.exe"), sfx);
  test::WriteFile(dir.File("d.exe"), zip);  // no executable in front
  test::WriteFile(dir.File("e.txt"), zip);
  test::WriteFile(dir.File("f.zip"), std::string());
  test::WriteFile(dir.File("g.zip"), std::vector<uint8_t>{'P', 'K', 7, 8, 0, 0});

  EXPECT_EQ(DetermineArchiveType(dir.File("a.zip")), atZip);
  EXPECT_EQ(DetermineArchiveType(dir.File("b.ZIP")), atUnknown);
  EXPECT_EQ(DetermineArchiveType(dir.File("c.exe")), atSelfExtZip);
  EXPECT_EQ(DetermineArchiveType(dir.File("d.exe")), atUnknown);
  EXPECT_EQ(DetermineArchiveType(dir.File("e.txt")), atUnknown);
  EXPECT_EQ(DetermineArchiveType(dir.File("f.zip")), atZip);  // empty: the extension decides
  EXPECT_EQ(DetermineArchiveType(dir.File("g.zip")), atSpannedZip);
  EXPECT_EQ(DetermineArchiveType(dir.File("missing.cab")), atCab);
  EXPECT_EQ(DetermineArchiveType(dir.File("missing.tgz")), atGzippedTar);
}

TEST(ArchiveType, SelfExtractingArchiveExtracts) {
  test::ScratchDir dir;
  const std::string stub =
      "\x7F"
      "ELF" +
      std::string(5000, '\0');
  test::WriteFile(dir.File("setup.exe"), BuildZip(TwoMembers(), {.prefix = stub}));
  TAbUnZipper unzipper{RefuseEveryDisk()};
  unzipper.SetBaseDirectory(dir.Path());
  unzipper.SetFileName(dir.File("setup.exe"));
  EXPECT_EQ(unzipper.ArchiveType(), atSelfExtZip);
  ASSERT_EQ(unzipper.Count(), 2);
  TMemoryStream out;
  unzipper.ExtractToStream(1, out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "beta");
}

TEST(ComponentOpen, UnusableFilesLeaveNoArchiveOpen) {
  test::ScratchDir dir;
  test::WriteFile(dir.File("junk.zip"), std::string(5000, 'j'));
  test::WriteFile(dir.File("notes.txt"), BuildZip(TwoMembers()));
  test::WriteFile(dir.File("empty.zip"), std::string());

  TAbUnZipper unzipper{RefuseEveryDisk()};
  try {
    unzipper.SetFileName(dir.File("junk.zip"));
    FAIL() << "a file that is not an archive opened";
  } catch (const EAbUnhandledType& error) {
    EXPECT_EQ(error.Message(), "Unhandled Archive Type");
    EXPECT_EQ(error.ErrorCode(), 35);
  }
  EXPECT_EQ(unzipper.Count(), 0);
  EXPECT_THROW(unzipper.ExtractFiles("*.*"), EAbNoArchive);
  EXPECT_THROW(unzipper.SetFileName(dir.File("notes.txt")), EAbUnhandledType);
  EXPECT_ANY_THROW(unzipper.SetFileName(dir.File("missing.zip")));
  EXPECT_EQ(unzipper.Count(), 0);
  EXPECT_THROW(unzipper.ExtractFiles("*.*"), EAbNoArchive);

  unzipper.SetFileName(dir.File("empty.zip"));
  EXPECT_EQ(unzipper.Count(), 0);
  EXPECT_NO_THROW(unzipper.ExtractFiles("*.*"));
}

}  // namespace
}  // namespace vx
