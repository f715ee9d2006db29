// ZIP64 archives, directory entries and data in front of an archive, as the
// real tools write them: each is extracted by vxzip and compared with the
// tree it was made of. Also the end records that declare members the file
// does not hold, which must fail rather than open as an empty archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/errors.h"
#include "archive/zip64.h"
#include "archive/zip_archive.h"
#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::BuildZip;
using test::ShellQuote;

std::string Le64(uint64_t value) {
  std::string bytes;
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

std::string Zip64Field(const std::string& data) {
  return std::string{'\x01', '\x00', static_cast<char>(data.size()), '\x00'} + data;
}

TEST(Zip64Values, OnlyFieldsAtTheirLargestValueAreReplacedInOrder) {
  const uint32_t m = kMax32;
  struct Case {
    const char* what;
    std::string extra;
    uint32_t uncompressed, compressed, offset;
    uint16_t disk;
    bool central;
    uint64_t want_uncompressed, want_compressed, want_offset;
    uint32_t want_disk;
    bool present;
  };
  const std::string three = Le64(5000000000) + Le64(4000000000ull * 2) + Le64(1ull << 33);
  const Case cases[] = {
      {"no field", "", 10, 20, 30, 0, true, 10, 20, 30, 0, false},
      {"all three", Zip64Field(three), m, m, m, 0, true, 5000000000, 8000000000, 1ull << 33, 0,
       true},
      {"offset only", Zip64Field(Le64(1ull << 40)), 7, 8, m, 0, true, 7, 8, 1ull << 40, 0, true},
      {"compressed only", Zip64Field(Le64(99)), 7, m, 9, 0, true, 7, 99, 9, 0, true},
      {"disk too", Zip64Field(Le64(1) + std::string("\x02\x00\x01\x00", 4)), 5, 6, m, kMax16, true,
       5, 6, 1, 0x10002, true},
      {"local header: no offset", Zip64Field(Le64(11) + Le64(12) + Le64(13)), m, m, m, 0, false, 11,
       12, m, 0, true},
      {"field too short keeps the marker", Zip64Field(Le64(11)), m, m, 0, 0, true, 11, m, 0, 0,
       true},
      {"after another field", std::string("\x55\x54\x01\x00\x03", 5) + Zip64Field(Le64(1ull << 32)),
       m, 3, 4, 0, true, 1ull << 32, 3, 4, 0, true},
      {"field announcing more than there is", std::string("\x01\x00\x10\x00", 4) + Le64(1), m, m, 0,
       0, true, m, m, 0, 0, false},
  };
  for (const Case& c : cases) {
    const Zip64Values v =
        ReadZip64Values(c.extra, c.uncompressed, c.compressed, c.offset, c.disk, c.central);
    EXPECT_EQ(v.uncompressed_size, c.want_uncompressed) << c.what;
    EXPECT_EQ(v.compressed_size, c.want_compressed) << c.what;
    EXPECT_EQ(v.relative_offset, c.want_offset) << c.what;
    EXPECT_EQ(v.disk_number_start, c.want_disk) << c.what;
    EXPECT_EQ(v.present, c.present) << c.what;
  }
}

struct MemoryArchive {
  explicit MemoryArchive(std::vector<uint8_t> bytes)
      : stream(std::move(bytes)), archive(stream, "memory.zip") {}
  TMemoryStream stream;
  TAbZipArchive archive;
};

TEST(DeclaredMembers, MissingOrShortDirectoriesAreInvalidNotEmpty) {
  const std::vector<test::TestMember> two = {{.name = "a.txt", .data = "alpha"},
                                             {.name = "b.txt", .data = "beta"}};
  // Declares three members but holds two.
  MemoryArchive short_directory(BuildZip(two, {.total_entries = 3}));
  EXPECT_THROW(short_directory.archive.Load(), EAbZipInvalid);
  EXPECT_EQ(short_directory.archive.Status(), asInvalid);

  // Only the end record of an archive whose directory was cut away.
  std::vector<uint8_t> whole = BuildZip(two);
  MemoryArchive tail_only(std::vector<uint8_t>(whole.end() - 22, whole.end()));
  EXPECT_THROW(tail_only.archive.Load(), EAbZipInvalid);

  // An empty archive stays a valid, empty one.
  MemoryArchive empty(BuildZip({}));
  EXPECT_NO_THROW(empty.archive.Load());
  EXPECT_EQ(empty.archive.Count(), 0);

  // Data in front whose offsets do not count it: found and corrected.
  MemoryArchive prefixed(
      BuildZip(two, {.prefix = std::string(7000, 'x'), .absolute_offsets = false}));
  ASSERT_NO_THROW(prefixed.archive.Load());
  EXPECT_EQ(prefixed.archive.Count(), 2);
  EXPECT_EQ(prefixed.archive.PrependedDataSize(), 7000);
  TMemoryStream out;
  prefixed.archive.ExtractToStream(1, out);
  EXPECT_EQ(prefixed.archive.LastFailureMessage(), "");
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "beta");
  // Offsets that do count it (a self-extractor adjusted with zip -A).
  MemoryArchive adjusted(BuildZip(two, {.prefix = std::string(7000, 'x')}));
  ASSERT_NO_THROW(adjusted.archive.Load());
  EXPECT_EQ(adjusted.archive.PrependedDataSize(), 0);
}

TEST(DeclaredMembers, VersionFourPointFiveOnlyForZip64) {
  const std::string zip64 = Zip64Field(Le64(5) + Le64(5));
  MemoryArchive loaded(
      BuildZip({{.name = "plain.txt", .data = "plain", .version_needed = 45},
                {.name = "wide.txt", .data = "wide.", .version_needed = 45, .extra = zip64}}));
  loaded.archive.Load();
  std::vector<int32_t> codes;
  loaded.archive.OnProcessItemFailure = [&](TAbArchiveItem&, TAbProcessType, TAbErrorClass,
                                            int32_t code) { codes.push_back(code); };
  loaded.archive.TestItemAt(0);
  loaded.archive.TestItemAt(1);
  EXPECT_EQ(codes, std::vector<int32_t>{EAbZipVersion::kCode});
}

// The real tools, run by the test; vxzip's output is compared with the tree
// the archive was made of.
class Zip64FromToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the producers are Linux programs, which a Windows test cannot start";
#else
    vxzip_ = test::VxzipPath();
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
    if (test::FindTool({"zip"}).empty() || test::FindTool({"python3"}).empty()) {
      VX_SKIP_OR_FAIL("zip or python3 is not installed");
    }
    src_ = dir_.File("src");
    Put("top.txt", "top level\n");
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
    Put("sub/text.txt", text);
    Put("sub/deeper/zero.bin", "");
    fs::create_directories(src_ + "/empty/inner");
    fs::create_directories(src_ + "/sub/empty");
#endif
  }

  void Put(const std::string& name, const std::string& data) {
    const fs::path path = fs::path(src_) / name;
    fs::create_directories(path.parent_path());
    test::WriteFile(path.string(), data);
  }

  void Run(const std::string& command) {
    test::ProcessResult run = test::RunProcess("cd " + ShellQuote(src_) + " && " + command);
    ASSERT_EQ(run.exit_code, 0) << command << "\n" << run.err;
  }

  test::ProcessResult Vxzip(const std::string& arguments) {
    return test::RunProcess(ShellQuote(vxzip_) + " " + arguments);
  }

  // Every directory below `root`, relative, sorted.
  static std::vector<std::string> Directories(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_directory()) names.push_back(fs::relative(entry.path(), root).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Extracts and tests with vxzip; the result must be the source tree,
  // its empty directories included. Returns vxzip extract's standard error.
  std::string ExpectSourceTree(const std::string& archive) {
    const std::string out = dir_.File("out");
    fs::remove_all(out);
    test::ProcessResult run = Vxzip("extract " + ShellQuote(archive) + " -d " + ShellQuote(out));
    EXPECT_EQ(run.exit_code, 0) << archive << "\n" << run.err;
    EXPECT_TRUE(test::TreeContents(out) == test::TreeContents(src_)) << archive;
    EXPECT_EQ(Directories(out), Directories(src_)) << archive;
    test::ProcessResult tested = Vxzip("test " + ShellQuote(archive));
    EXPECT_EQ(tested.exit_code, 0) << archive << "\n" << tested.out;
    return run.err;
  }

  test::ScratchDir dir_;
  std::string src_;
  std::string vxzip_;
};

TEST_F(Zip64FromToolsTest, InfoZipFromAPipeAndForcedZip64) {
  const std::string piped = dir_.File("piped.zip");
  Run("printf 'hello from a pipe\\n' | zip -q - - | cat > " + ShellQuote(piped));
  test::ProcessResult listed = Vxzip("list " + ShellQuote(piped));
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  test::ProcessResult extracted =
      Vxzip("extract " + ShellQuote(piped) + " -d " + ShellQuote(dir_.File("pipe-out")));
  EXPECT_EQ(extracted.exit_code, 0) << extracted.err;
  EXPECT_EQ(test::ReadFile(dir_.File("pipe-out/-")), "hello from a pipe\n");

  const std::string forced = dir_.File("forced.zip");
  Run("zip -q -r -fz " + ShellQuote(forced) + " .");
  TAbZipArchive zip(forced);
  zip.Load();
  EXPECT_TRUE(zip.IsZip64());
  EXPECT_EQ(zip.Footer().directory_offset, kMax32);
  EXPECT_EQ(ExpectSourceTree(forced), "");
}

TEST_F(Zip64FromToolsTest, PythonForcedZip64AndSeventyThousandEntries) {
  const std::string forced = dir_.File("forced.zip");
  Run("python3 -c \"import zipfile, os, sys\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    for root, dirs, files in os.walk('.'):\n"
      "        for d in dirs: z.write(os.path.join(root, d))\n"
      "        for f in files:\n"
      "            with open(os.path.join(root, f), 'rb') as src, "
      "z.open(os.path.join(root, f)[2:], 'w', force_zip64=True) as dst:\n"
      "                dst.write(src.read())\" " +
      ShellQuote(forced));
  EXPECT_EQ(ExpectSourceTree(forced), "");

  const std::string many = dir_.File("many.zip");
  Run("python3 -c \"import zipfile, sys\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    for i in range(70000): z.writestr('d%d/f%d' % (i % 100, i), str(i))\" " +
      ShellQuote(many));
  TAbZipArchive zip(many);
  zip.Load();
  EXPECT_EQ(zip.Count(), 70000);
  EXPECT_EQ(zip.Footer().total_entries, kMax16);
  test::ProcessResult tested = Vxzip("test " + ShellQuote(many));
  EXPECT_EQ(tested.exit_code, 0);
  EXPECT_EQ(std::count(tested.out.begin(), tested.out.end(), '\n'), 70000);
  // Writing 70,000 files takes a minute on a slow disk (the benchmark does
  // it); one directory's worth checks the members from all over the archive.
  const std::string out = dir_.File("many-out");
  test::ProcessResult run =
      Vxzip("extract " + ShellQuote(many) + " -d " + ShellQuote(out) + " 'd7/*'");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto tree = test::TreeContents(out);
  ASSERT_EQ(tree.size(), 700u);
  for (const auto& [name, data] : tree) EXPECT_EQ(name, "d7/f" + data);
  // The last of them lies beyond entry 65,535.
  EXPECT_NE(std::find(tree.begin(), tree.end(),
                      std::pair<std::string, std::string>("d7/f69907", "69907")),
            tree.end());
}

TEST_F(Zip64FromToolsTest, DataBeforeTheArchiveIsSkippedWithOneNote) {
  const std::string bsdtar = test::FindTool({"bsdtar"});
  if (bsdtar.empty()) VX_SKIP_OR_FAIL("bsdtar is not installed");
  for (const char* flags : {"", "-fz"}) {
    const std::string plain = dir_.File("plain.zip");
    const std::string prefixed = dir_.File("prefixed.zip");
    fs::remove(plain);
    Run(std::string("zip -q -r ") + flags + " " + ShellQuote(plain) +
        " . && head -c 7000 /dev/urandom | cat - " + ShellQuote(plain) + " > " +
        ShellQuote(prefixed));
    const std::string note = ExpectSourceTree(prefixed);
    EXPECT_EQ(std::count(note.begin(), note.end(), '\n'), 1) << flags << note;
    EXPECT_NE(note.find("7000 bytes"), std::string::npos) << note;
    // bsdtar reads such archives too, to the same files, unless they are
    // ZIP64 archives (it calls those damaged).
    if (std::string(flags) == "-fz") continue;
    const std::string theirs = dir_.File(std::string("bsdtar") + flags);
    fs::create_directories(theirs);
    Run(ShellQuote(bsdtar) + " -xf " + ShellQuote(prefixed) + " -C " + ShellQuote(theirs));
    EXPECT_TRUE(test::TreeContents(theirs) == test::TreeContents(dir_.File("out"))) << flags;
  }
}

TEST_F(Zip64FromToolsTest, EndRecordBeyondTheDirectoryFailsWithExitTwo) {
  const std::string whole = dir_.File("whole.zip");
  Run("zip -q -r " + ShellQuote(whole) + " .");
  const std::string bytes = test::ReadFile(whole).value_or("");
  ASSERT_GT(bytes.size(), 22u);
  // The end record alone: its directory lies outside the file.
  test::WriteFile(dir_.File("cut.zip"), bytes.substr(bytes.size() - 22));
  const std::string cut = ShellQuote(dir_.File("cut.zip"));
  for (const std::string& command :
       std::vector<std::string>{"list " + cut, "test " + cut,
                                "extract " + cut + " -d " + ShellQuote(dir_.File("out"))}) {
    test::ProcessResult run = Vxzip(command);
    EXPECT_EQ(run.exit_code, 2) << command;
    EXPECT_NE(run.err.find("Invalid file - not a PKZip file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << command;
  }
}

}  // namespace
}  // namespace vx
