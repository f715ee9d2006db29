// Archives built to mislead: members that share bytes (zip bombs), sizes
// that lie, ZIP files under other names, end records that hand every field
// to ZIP64; and the limits of the member store.
#include <gtest/gtest.h>

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_archive.h"
#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

using test::BuildZip;
using test::ShellQuote;
using test::TestMember;
using test::ZipLayout;

struct MemoryArchive {
  explicit MemoryArchive(std::vector<uint8_t> bytes)
      : stream(std::move(bytes)), archive(stream, "memory.zip") {}
  TMemoryStream stream;
  TAbZipArchive archive;
};

// Tests every member; answers the failure messages ("" for a member that passed).
std::vector<std::string> TestEveryMember(TAbZipArchive& archive) {
  std::vector<std::string> failures;
  std::string failure;
  archive.OnProcessItemFailure = [&](TAbArchiveItem&, TAbProcessType, TAbErrorClass, int32_t) {
    failure = archive.LastFailureMessage();
  };
  for (int32_t i = 0; i < archive.Count(); ++i) {
    failure.clear();
    archive.TestItemAt(i);
    failures.push_back(failure);
  }
  return failures;
}

// The bytes of a stored member's local header and data, as a writer puts them.
std::string LocalRecordOf(const TestMember& member) {
  std::vector<uint8_t> bytes = BuildZip({member});
  return std::string(bytes.begin(), bytes.begin() + 30 + member.name.size() + member.data.size());
}

TEST(MemberOverlap, BothFormsAreRefusedWhenLoading) {
  // 200 entries naming one member of 1 MiB of zeros.
  std::vector<TestMember> shared = {{.name = "zeros", .data = std::string(1 << 20, '\0')}};
  for (int i = 1; i < 200; ++i) {
    shared.push_back({.name = "copy" + std::to_string(i), .data = "", .central_offset = 0});
  }
  // A member whose data quotes the next member's local header, the entry of
  // which points there ("a" has its data at offset 31).
  const TestMember inner = {.name = "b", .data = std::string(1000, 'b')};
  const std::vector<TestMember> quoted = {
      {.name = "a", .data = LocalRecordOf(inner) + "tail"},
      {.name = inner.name, .data = inner.data, .central_offset = 31}};
  // A local header that starts inside the previous member's fixed header.
  const std::vector<TestMember> in_header = {{.name = "a", .data = "alpha"},
                                             {.name = "b", .data = "", .central_offset = 10}};
  struct Case {
    const char* what;
    std::vector<TestMember> members;
    ZipLayout layout;
    const char* detail;
  };
  const Case cases[] = {
      {"one local header, 200 entries", shared, {}, "name the same local header at offset 0"},
      {"quoted header", quoted, {}, "the local header of \"b\" at offset 31 lies inside \"a\""},
      {"quoted header, directory reversed",
       quoted,
       {.reverse_directory = true},
       "the local header of \"b\" at offset 31 lies inside \"a\""},
      {"header inside a header", in_header, {}, "lies inside \"a\""},
  };
  for (const Case& c : cases) {
    MemoryArchive loaded(BuildZip(c.members, c.layout));
    try {
      loaded.archive.Load();
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const EAbZipInvalid& error) {
      EXPECT_NE(error.Message().find("Invalid file - members overlap ("), std::string::npos)
          << c.what << ": " << error.Message();
      EXPECT_NE(error.Message().find(c.detail), std::string::npos)
          << c.what << ": " << error.Message();
      EXPECT_EQ(error.ErrorCode(), EAbZipInvalid::kCode);
    }
    EXPECT_EQ(loaded.archive.Status(), asInvalid) << c.what;
  }
}

TEST(MemberOverlap, LayoutsRealWritersUseAreAccepted) {
  const std::string big(70000, 'x');
  struct Case {
    const char* what;
    std::vector<TestMember> members;
    ZipLayout layout;
  };
  const Case cases[] = {
      {"data descriptors",
       {{.name = "a", .data = big, .method = 8, .extra_flags = 0x0008},
        {.name = "b", .data = "bravo", .extra_flags = 0x0008},
        {.name = "c", .data = "charlie", .method = 8, .password = "pw", .extra_flags = 0x0008}},
       {}},
      {"gaps and padding",
       {{.name = "a", .data = "alpha", .gap_before = "padding"},
        {.name = "b", .data = big, .gap_before = std::string(4096, '\0')},
        {.name = "c", .data = "", .gap_before = "x"}},
       {}},
      {"directory in another order than the data",
       {{.name = "a", .data = "alpha"}, {.name = "b", .data = big}, {.name = "c/", .data = ""}},
       {.reverse_directory = true}},
      {"empty members back to back",
       {{.name = "d/", .data = ""}, {.name = "e", .data = ""}, {.name = "f", .data = "f"}},
       {}},
      {"a stub before, offsets not counting it",
       {{.name = "a", .data = "alpha"}, {.name = "b", .data = big, .method = 8}},
       {.prefix = "MZ" + std::string(500, 's'), .absolute_offsets = false}},
      {"a stub before, offsets counting it",
       {{.name = "a", .data = "alpha"}, {.name = "b", .data = big, .password = "pw"}},
       {.prefix = "MZ" + std::string(500, 's')}},
  };
  for (const Case& c : cases) {
    MemoryArchive loaded(BuildZip(c.members, c.layout));
    ASSERT_NO_THROW(loaded.archive.Load()) << c.what;
    loaded.archive.SetPassword("pw");
    EXPECT_EQ(TestEveryMember(loaded.archive), std::vector<std::string>(c.members.size()))
        << c.what;
  }
}

TEST(DeclaredSize, MembersThatDecodeToAnotherSizeFailAndTheNextOnesPass) {
  const std::string data(262150, 'z');
  struct Case {
    const char* what;
    TestMember member;
    const char* message;
    size_t written;  // what reaches the output stream
  };
  const Case cases[] = {
      {"deflated, inflates past its size",
       {.name = "lie", .data = data, .method = 8, .declared_size = 10},
       "Member data goes past its declared size of 10 bytes",
       10},
      {"stored, data runs past its size",
       {.name = "lie", .data = data, .declared_size = 10},
       "Member data goes past its declared size of 10 bytes",
       10},
      {"encrypted stored, data runs past its size",
       {.name = "lie", .data = data, .password = "pw", .declared_size = 0},
       "Member data goes past its declared size of 0 bytes",
       0},
      {"deflated, ends early",
       {.name = "lie", .data = "short", .method = 8, .declared_size = 1000},
       "Member data ends after 5 of its declared 1000 bytes",
       5},
      {"stored, ends early",
       {.name = "lie", .data = "short", .declared_size = 1000},
       "Member data ends after 5 of its declared 1000 bytes",
       5},
  };
  for (const Case& c : cases) {
    MemoryArchive loaded(
        BuildZip({c.member, {.name = "next", .data = "next member", .method = 8}}));
    loaded.archive.Load();
    loaded.archive.SetPassword("pw");
    EXPECT_EQ(TestEveryMember(loaded.archive), (std::vector<std::string>{c.message, ""})) << c.what;

    TMemoryStream output;
    std::string failure;
    loaded.archive.OnProcessItemFailure = [&](TAbArchiveItem&, TAbProcessType, TAbErrorClass,
                                              int32_t) {
      failure = loaded.archive.LastFailureMessage();
    };
    loaded.archive.ExtractToStream(0, output);
    EXPECT_EQ(failure, c.message) << c.what;
    EXPECT_EQ(output.Size(), static_cast<int64_t>(c.written)) << c.what;
  }
}

TEST(DeclaredSize, ExtractionDeletesTheFileAndGoesOn) {
  test::ScratchDir dir;
  test::WriteFile(
      dir.File("lie.zip"),
      BuildZip(
          {{.name = "lie.txt", .data = std::string(100000, 'z'), .method = 8, .declared_size = 10},
           {.name = "after.txt", .data = "after"}}));
  TAbUnZipper unzipper{RefuseEveryDisk()};
  unzipper.SetBaseDirectory(dir.Path());
  unzipper.SetFileName(dir.File("lie.zip"));
  std::vector<std::string> failed;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                      TAbErrorClass error_class, int32_t) {
    failed.push_back(item.FileName());
    EXPECT_EQ(error_class, ecOther);
  };
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(failed, std::vector<std::string>{"lie.txt"});
  EXPECT_FALSE(test::ReadFile(dir.File("lie.txt")).has_value());
  EXPECT_EQ(test::ReadFile(dir.File("after.txt")), "after");
}

// A ZIP64 extended-information field holding these values.
std::string Zip64Field(std::initializer_list<uint64_t> values) {
  std::string field = {'\x01', '\0', static_cast<char>(8 * values.size()), '\0'};
  for (uint64_t value : values) {
    for (int i = 0; i < 8; ++i) field += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return field;
}

TEST(MemberStore, LongestNamesAndSizesPastFourGigabytes) {
  const std::string long_name = "dir/" + std::string(65531, 'n');
  const uint64_t five_gib = uint64_t{5} << 30;
  const uint64_t six_gib = uint64_t{6} << 30;
  // Only the directory is read: the sizes and offsets need not be real.
  MemoryArchive loaded(BuildZip({{.name = long_name, .data = "long"},
                                 {.name = "big",
                                  .data = "",
                                  .extra = Zip64Field({five_gib, six_gib + 7}),
                                  .central_offset = 0xFFFFFFFF,
                                  .declared_size = 0xFFFFFFFF}}));
  ASSERT_NO_THROW(loaded.archive.Load());
  ASSERT_EQ(loaded.archive.Count(), 2);
  const TAbZipItem& first = loaded.archive.ZipItems(0);
  EXPECT_EQ(first.StoredName(), long_name);
  EXPECT_EQ(first.FileName(), long_name);
  EXPECT_EQ(first.DiskFileName(), "dir\\" + std::string(65531, 'n'));
  EXPECT_EQ(loaded.archive.FindItem("DIR/" + std::string(65531, 'N')), 0);
  const TAbZipItem& big = loaded.archive.ZipItems(1);
  EXPECT_EQ(big.StoredUncompressedSize(), five_gib);
  EXPECT_EQ(big.UncompressedSize(), static_cast<int32_t>(five_gib & 0xFFFFFFFF));
  EXPECT_EQ(big.RelativeOffset(), 0xFFFFFFFFu);
  EXPECT_EQ(big.RelativeOffset64(), six_gib + 7);
  EXPECT_TRUE(big.HasZip64Field());
}

TEST(Zip64EndRecord, UsedWhenEveryClassicFieldIsMarked) {
  MemoryArchive loaded(BuildZip(
      {{.name = "a.txt", .data = "alpha"}, {.name = "b.txt", .data = "bravo", .method = 8}},
      {.zip64_markers = true}));
  ASSERT_NO_THROW(loaded.archive.Load());
  EXPECT_TRUE(loaded.archive.IsZip64());
  EXPECT_FALSE(loaded.archive.Spanned());
  ASSERT_EQ(loaded.archive.Count(), 2);
  EXPECT_EQ(TestEveryMember(loaded.archive), (std::vector<std::string>{"", ""}));
}

TEST(ArchiveType, ZipFilesOfAnyNameOpenByContents) {
  test::ScratchDir dir;
  const std::vector<TestMember> members = {{.name = "META-INF/MANIFEST.MF", .data = "1.0"},
                                           {.name = "a.class", .data = "code", .method = 8}};
  struct Case {
    const char* file;
    ZipLayout layout;
    TAbArchiveType type;
  };
  const Case cases[] = {
      {"app.jar", {}, atZip},
      {"noextension", {}, atZip},
      {"report.docx", {.zip64_markers = true}, atZip},
      {"installer", {.prefix = "MZ" + std::string(3000, 's')}, atSelfExtZip},
      {"payload.bin", {.prefix = std::string(3000, 's'), .absolute_offsets = false}, atZip},
  };
  for (const Case& c : cases) {
    test::WriteFile(dir.File(c.file), BuildZip(members, c.layout));
    EXPECT_EQ(DetermineArchiveTypeByContents(dir.File(c.file)), c.type) << c.file;
    // The setup's rule stays: the extension decides.
    EXPECT_EQ(DetermineArchiveType(dir.File(c.file)), atUnknown) << c.file;

    TAbUnZipper unzipper{RefuseEveryDisk()};
    EXPECT_THROW(unzipper.SetFileName(dir.File(c.file)), EAbUnhandledType) << c.file;
    unzipper.SetZipByContents(true);
    ASSERT_NO_THROW(unzipper.SetFileName(dir.File(c.file))) << c.file;
    EXPECT_EQ(unzipper.Count(), 2) << c.file;
  }
  // Not ZIP files, whatever they hold near their start or far from their end.
  test::WriteFile(dir.File("text"), std::string("PK\x05\x06") + std::string(100, 't'));
  std::vector<uint8_t> far = BuildZip(members);
  far.insert(far.end(), 70000, 'f');
  test::WriteFile(dir.File("far"), far);
  for (const char* file : {"text", "far"}) {
    EXPECT_EQ(DetermineArchiveTypeByContents(dir.File(file)), atUnknown) << file;
  }
}

TEST(Vxzip, OpensZipFilesByContentsAndRefusesOverlaps) {
  const std::string vxzip = test::VxzipPath();
  if (vxzip.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
  test::ScratchDir dir;
  const std::vector<TestMember> members = {{.name = "a.txt", .data = "alpha"},
                                           {.name = "b.txt", .data = "bravo", .method = 8}};
  test::WriteFile(dir.File("lib.jar"), BuildZip(members));
  test::WriteFile(dir.File("sfx"), BuildZip(members, {.prefix = "MZ" + std::string(700, 's')}));
  for (const char* file : {"lib.jar", "sfx"}) {
    test::ProcessResult run =
        test::RunProcess(ShellQuote(vxzip) + " test " + ShellQuote(dir.File(file)));
    EXPECT_EQ(run.exit_code, 0) << file << run.err;
    EXPECT_EQ(run.out, "OK a.txt\nOK b.txt\n") << file;
  }

  test::WriteFile(dir.File("bomb.zip"),
                  BuildZip({{.name = "a", .data = std::string(5000, '\0'), .method = 8},
                            {.name = "b", .data = "", .central_offset = 0}}));
  test::ProcessResult bomb =
      test::RunProcess(ShellQuote(vxzip) + " extract " + ShellQuote(dir.File("bomb.zip")) + " -d " +
                       ShellQuote(dir.File("out")));
  EXPECT_EQ(bomb.exit_code, 2);
  EXPECT_NE(bomb.err.find("Invalid file - members overlap"), std::string::npos) << bomb.err;
  EXPECT_FALSE(test::ReadFile(dir.File("out/a")).has_value());
}

}  // namespace
}  // namespace vx
