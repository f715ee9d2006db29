// Member names as today's archivers store them: which character set a name
// is in, how it reaches the file system, and that a name the file functions
// cannot spell fails its member instead of being written under another name.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_archive.h"
#include "archive/zip_test_support.h"
#include "platform/codepage.h"
#include "support/test_support.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::BuildZip;
using test::ShellQuote;

// An Info-ZIP Unicode path field for `stored` naming it `utf8`.
std::string UnicodePathField(const std::string& stored, const std::string& utf8,
                             uint8_t version = 1) {
  const uint32_t crc = Crc32Update(0, stored.data(), stored.size());
  std::string data(1, static_cast<char>(version));
  for (int shift = 0; shift < 32; shift += 8) data.push_back(static_cast<char>(crc >> shift));
  data += utf8;
  std::string field = {'\x75', '\x70', static_cast<char>(data.size() & 0xFF),
                       static_cast<char>(data.size() >> 8)};
  return field + data;
}

TEST(EntryNames, CharacterSetFollowsFlagFieldAndHost) {
  const std::string oem = "M\x81ller.txt";              // "Müller.txt" in code page 437
  const std::string utf8 = "M\xC3\xBCller.txt";         // "Müller.txt" in UTF-8
  const std::string cyrillic = "\xD0\x9C\xD1\x8E.txt";  // "Мю.txt"
  struct Case {
    const char* what;
    std::string stored;
    uint16_t flag;
    uint16_t made_by;
    std::string extra;
    std::string name;
    bool is_utf8;
  };
  const Case cases[] = {
      {"flag bit 11, DOS host", utf8, kFlagUtf8Name, 0x0014, "", utf8, true},
      {"flag bit 11 with invalid bytes stays UTF-8", "a\xFF", kFlagUtf8Name, 0x0314, "", "a\xFF",
       true},
      {"MS-DOS host", oem, 0, 0x0014, "", oem, false},
      {"OS/2 host", oem, 0, 0x0614, "", oem, false},
      {"NTFS host", utf8, 0, 0x0B14, "", utf8, false},
      {"VFAT host", oem, 0, 0x0E14, "", oem, false},
      {"Unix host, valid UTF-8", utf8, 0, 0x031E, "", utf8, true},
      {"Unix host, not UTF-8", oem, 0, 0x031E, "", oem, false},
      {"Mac host, valid UTF-8", utf8, 0, 0x0714, "", utf8, true},
      {"Unicode path field", oem, 0, 0x0014, UnicodePathField(oem, cyrillic), cyrillic, true},
      {"field after another field", oem, 0, 0x0014,
       std::string("\x55\x54\x01\x00\x03", 5) + UnicodePathField(oem, cyrillic), cyrillic, true},
      {"stale field (CRC of another name)", oem, 0, 0x0014, UnicodePathField("other", cyrillic),
       oem, false},
      {"field of an unknown version", oem, 0, 0x0014, UnicodePathField(oem, cyrillic, 2), oem,
       false},
      {"field with invalid UTF-8", oem, 0, 0x0014, UnicodePathField(oem, "\xC0\x80"), oem, false},
      {"field running past the extra data", oem, 0, 0x0014,
       UnicodePathField(oem, cyrillic).substr(0, 8), oem, false},
  };
  for (const Case& c : cases) {
    const EntryName name = DecodeEntryName(c.stored, c.flag, c.made_by, c.extra);
    EXPECT_EQ(name.text, c.name) << c.what;
    EXPECT_EQ(name.is_utf8, c.is_utf8) << c.what;
  }
}

TEST(EntryNames, Utf8Validity) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xBC", true},
      {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
      {"\x81", false},              // stray continuation byte
      {"\xC3", false},              // cut short
      {"\xC1\xBF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xE2\x28\xA1", false},      // bad continuation
  };
  for (const auto& [text, valid] : cases) EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

TEST(EntryNames, CodePage437ToUtf8) {
  EXPECT_EQ(Cp437ToUtf8("M\x81ller.txt"), "M\xC3\xBCller.txt");
  EXPECT_EQ(Cp437ToUtf8("\xE1\x9E\xC9\xFF"), "\xC3\x9F\xE2\x82\xA7\xE2\x95\x94\xC2\xA0");
  EXPECT_EQ(Cp437ToUtf8("ascii/\x7F"), "ascii/\x7F");
  // Every byte above 127 becomes one valid character of two or three bytes.
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string utf8 = Cp437ToUtf8(std::string(1, static_cast<char>(byte)));
    EXPECT_TRUE(IsValidUtf8(utf8)) << byte;
    EXPECT_TRUE(utf8.size() == 2 || utf8.size() == 3) << byte;
  }
}

// Names as the component shows them and writes them, on this system.
TEST(EntryNames, ComponentNamesAndAnUnrepresentableName) {
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e.txt";                                     // "Grüße.txt"
  const std::string chinese = "\xE4\xB8\xAD.txt";  // "中.txt"
  test::ScratchDir dir;
  test::WriteFile(dir.File("names.zip"),
                  BuildZip({{.name = utf8, .data = "a", .extra_flags = kFlagUtf8Name},
                            {.name = chinese, .data = "b", .extra_flags = kFlagUtf8Name},
                            {.name = "M\x81ller.txt", .data = "c"}}));
  TAbUnZipper unzipper{RefuseEveryDisk()};
  unzipper.SetBaseDirectory(dir.Path());
  unzipper.SetFileName(dir.File("names.zip"));
  ASSERT_EQ(unzipper.Count(), 3);
  auto& zip = *static_cast<TAbZipArchive*>(unzipper.Archive());
  std::vector<std::string> failures;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType,
                                      TAbErrorClass error_class, int32_t) {
    EXPECT_EQ(error_class, ecArchive);
    failures.push_back(item.StoredName() + ": " + sender.LastFailureMessage());
  };
  unzipper.ExtractFiles("*.*");

  if (platform::FileNamesAreUtf8()) {
    EXPECT_EQ(zip.ZipItems(0).FileName(), utf8);
    EXPECT_EQ(zip.ZipItems(1).FileName(), chinese);
    EXPECT_EQ(zip.ZipItems(2).FileName(), "M\xC3\xBCller.txt");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(test::ReadFile(dir.File(chinese)), "b");
  } else {
    // The ANSI code page (1252) has "ü" and "ß" but no Chinese.
    EXPECT_EQ(zip.ZipItems(0).FileName(),
              "Gr\xFC\xDF"
              "e.txt");
    EXPECT_FALSE(zip.ZipItems(1).NameFitsFileSystem());
    EXPECT_EQ(zip.ZipItems(2).FileName(), "M\xFCller.txt");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("code page lacks"), std::string::npos) << failures[0];
    // Nothing was written for it: the archive and the two other members only.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);
  }
  EXPECT_EQ(test::ReadFile(dir.File(zip.ZipItems(0).FileName())), "a");
  EXPECT_EQ(test::ReadFile(dir.File(zip.ZipItems(2).FileName())), "c");
}

// Archives with non-ASCII names made by the real tools, extracted by vxzip:
// UTF-8 names as stored, OEM names as the UTF-8 of their characters.
class NamesFromToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::FileNamesAreUtf8()) {
      GTEST_SKIP() << "the producers are Linux programs, which a Windows test cannot start";
    }
    vxzip_ = test::VxzipPath();
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
  }

  // The names of everything below `root`, directories with a trailing "/".
  static std::vector<std::string> Names(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      std::string name = fs::relative(entry.path(), root).generic_string();
      if (entry.is_directory()) name += "/";
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> Extract(const std::string& archive) {
    const std::string out = dir_.File("out");
    fs::remove_all(out);
    test::ProcessResult run = test::RunProcess(ShellQuote(vxzip_) + " extract " +
                                               ShellQuote(archive) + " -d " + ShellQuote(out));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return fs::exists(out) ? Names(out) : std::vector<std::string>{};
  }

  void Run(const std::string& command) {
    test::ProcessResult run = test::RunProcess("cd " + ShellQuote(dir_.Path()) + " && " + command);
    ASSERT_EQ(run.exit_code, 0) << command << "\n" << run.err;
  }

  test::ScratchDir dir_;
  std::string vxzip_;
};

TEST_F(NamesFromToolsTest, Utf8NamesFromZip7ZipAndPythonMatchBsdtar) {
  const std::string bsdtar = test::FindTool({"bsdtar"});
  const std::string seven = test::FindTool({"7zz", "7z", "7za"});
  if (bsdtar.empty() || seven.empty() || test::FindTool({"zip"}).empty() ||
      test::FindTool({"python3"}).empty()) {
    VX_SKIP_OR_FAIL("bsdtar, 7-Zip, zip or python3 is not installed");
  }
  const std::vector<std::string> expected = {"src/",
                                             "src/Gr\xC3\xBC\xC3\x9F"
                                             "e/",
                                             "src/Gr\xC3\xBC\xC3\x9F"
                                             "e/\xE6\x97\xA5.txt",
                                             "src/M\xC3\xBCller.txt"};
  Run("mkdir -p src/Grüße && echo a > src/Grüße/日.txt && echo b > src/Müller.txt");
  Run("LC_ALL=C.UTF-8 zip -q -r zip.zip src");
  Run(ShellQuote(seven) + " a -bso0 -bsp0 seven.zip src");
  Run("python3 -c \"import zipfile, os\n"
      "with zipfile.ZipFile('py.zip', 'w') as z:\n"
      "    for root, dirs, files in os.walk('src'):\n"
      "        z.write(root)\n"
      "        for f in files: z.write(os.path.join(root, f))\"");
  for (const char* archive : {"zip.zip", "seven.zip", "py.zip"}) {
    const std::vector<std::string> ours = Extract(dir_.File(archive));
    EXPECT_EQ(ours, expected) << archive;
    const std::string theirs = dir_.File(std::string("bsdtar-") + archive);
    fs::create_directories(theirs);
    Run(ShellQuote(bsdtar) + " -xf " + ShellQuote(archive) + " -C " + ShellQuote(theirs));
    EXPECT_EQ(ours, Names(theirs)) << archive;
    EXPECT_EQ(test::ReadFile(dir_.File("out/src/M\xC3\xBCller.txt")), "b\n") << archive;
  }
}

TEST_F(NamesFromToolsTest, OemNamesAndUnicodePathFieldsBecomeUtf8) {
  const std::string oem = "M\x81ller.txt";
  const std::string cyrillic = "\xD0\x9C\xD1\x8E.txt";
  test::WriteFile(dir_.File("oem.zip"),
                  BuildZip({{.name = oem, .data = "dos"},
                            {.name = "sub/\x84.txt", .data = "ntfs", .version_made_by = 0x0B14},
                            {.name = "p\x94"
                                     "f.txt",
                             .data = "field",
                             .extra = UnicodePathField("p\x94"
                                                       "f.txt",
                                                       cyrillic)},
                            {.name = "stale.txt",
                             .data = "stale",
                             .extra = UnicodePathField("renamed.txt", cyrillic)}}));
  EXPECT_EQ(Extract(dir_.File("oem.zip")),
            (std::vector<std::string>{"M\xC3\xBCller.txt", "stale.txt", "sub/", "sub/\xC3\xA4.txt",
                                      cyrillic}));
  EXPECT_EQ(test::ReadFile(dir_.File("out/" + cyrillic)), "field");
}

}  // namespace
}  // namespace vx
