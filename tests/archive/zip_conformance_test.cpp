// Archives made by real producers (zip, 7-Zip, Python, PKZIP for DOS) must
// extract to exactly the bytes that went in, and vxzip must write the same
// tree as unzip does from the same archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_archive.h"
#include "archive/zip_test_support.h"
#include "platform/codepage.h"
#include "support/test_support.h"

#ifndef _WIN32
#include "platform/posix/path_map.h"
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunProcess;
using test::ShellQuote;

using Tree = std::vector<std::pair<std::string, std::string>>;

// The members every producer packs: compressible text, incompressible
// bytes, every size from 0 to 21, nested directories, an empty directory.
class ProducerTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the producers are Linux programs, which a Windows test cannot start";
#else
    unzip_ = test::FindTool({"unzip"});
    vxzip_ = test::VxzipPath();
    if (unzip_.empty()) VX_SKIP_OR_FAIL("unzip is not installed");
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
    src_ = work_.File("src");
    std::string text;
    for (int i = 0; i < 20000; ++i)
      text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 150000; ++i) {
      state = state * 1103515245u + 12345u;
      noise += static_cast<char>(state >> 24);
    }
    Put("text.txt", text);
    Put("noise.bin", noise);
    Put("empty.dat", "");
    for (int size = 1; size <= 21; ++size) {
      Put("small/s" + std::to_string(size), std::string(static_cast<size_t>(size), 'a' + size));
    }
    Put("deep/er/still/file with blanks.txt", text.substr(0, 777));
    fs::create_directories(src_ + "/emptydir");
#endif
  }

  void Put(const std::string& name, const std::string& data) {
    const fs::path path = fs::path(src_) / name;
    fs::create_directories(path.parent_path());
    test::WriteFile(path.string(), data);
  }

  // Runs a shell command in the source directory.
  void Make(const std::string& command) {
    test::ProcessResult result = RunProcess("cd " + ShellQuote(src_) + " && " + command);
    ASSERT_EQ(result.exit_code, 0) << command << "\n" << result.err;
  }

  // Extracts with vxzip and with unzip; both trees must be the same and
  // hold exactly `expected`.
  void ExpectSameAsUnzip(const std::string& archive, const Tree& expected,
                         const std::string& password = "", bool unzip_copes = true) {
    const std::string ours = work_.File("out-vxzip");
    const std::string theirs = work_.File("out-unzip");
    fs::remove_all(ours);
    fs::remove_all(theirs);
    std::string vxzip =
        ShellQuote(vxzip_) + " extract " + ShellQuote(archive) + " -d " + ShellQuote(ours);
    std::string unzip = ShellQuote(unzip_) + " -q -o ";
    if (!password.empty()) {
      vxzip += " -p " + ShellQuote(password);
      unzip += "-P " + ShellQuote(password) + " ";
    }
    unzip += ShellQuote(archive) + " -d " + ShellQuote(theirs);
    test::ProcessResult ours_run = RunProcess(vxzip);
    EXPECT_EQ(ours_run.exit_code, 0) << ours_run.err;
    EXPECT_EQ(ours_run.err, "");
    // unzip answers 1 when it only warned (about a misleading comment, say).
    test::ProcessResult theirs_run = RunProcess(unzip);
    if (unzip_copes) {
      ASSERT_LE(theirs_run.exit_code, 1) << theirs_run.err;
    }
    const Tree ours_tree = test::TreeContents(ours);
    if (unzip_copes) {
      EXPECT_TRUE(ours_tree == test::TreeContents(theirs))
          << "vxzip and unzip differ for " << archive;
    }
    EXPECT_TRUE(ours_tree == expected) << "vxzip's tree differs from the source for " << archive;
    test::ProcessResult tested =
        RunProcess(ShellQuote(vxzip_) + " test " + ShellQuote(archive) +
                   (password.empty() ? "" : " -p " + ShellQuote(password)));
    EXPECT_EQ(tested.exit_code, 0) << tested.out;
  }

  Tree Source() const {
    return test::TreeContents(src_);
  }

  test::ScratchDir work_;
  std::string src_;
  std::string unzip_;
  std::string vxzip_;
};

TEST_F(ProducerTest, InfoZipStoredAndEveryLevel) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  for (int level = 0; level <= 9; ++level) {
    const std::string archive = work_.File("level" + std::to_string(level) + ".zip");
    Make("zip -q -r -" + std::to_string(level) + " " + ShellQuote(archive) + " .");
    ExpectSameAsUnzip(archive, Source());
  }
}

TEST_F(ProducerTest, InfoZipEncrypted) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  const std::string archive = work_.File("secret.zip");
  Make("zip -q -r -P 'pass word' " + ShellQuote(archive) + " .");
  ExpectSameAsUnzip(archive, Source(), "pass word");

  // Without the password every encrypted member fails alone, the rest is written.
  test::ProcessResult run = RunProcess(ShellQuote(vxzip_) + " extract " + ShellQuote(archive) +
                                       " -d " + ShellQuote(work_.File("nopass")));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("FAIL text.txt: Cannot extract file - invalid password"),
            std::string::npos)
      << run.err;
}

TEST_F(ProducerTest, InfoZipStreamedWithDataDescriptor) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  const std::string archive = work_.File("streamed.zip");
  // Through a pipe zip cannot seek back, so sizes and CRC follow the data;
  // -fz- keeps it from marking the member as needing ZIP64.
  Make("cat text.txt | zip -q -fz- - - | cat > " + ShellQuote(archive));
  TAbZipArchive zip(archive);
  zip.Load();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_NE(zip.ZipItems(0).GeneralPurposeBitFlag() & 0x0008, 0);
  ExpectSameAsUnzip(archive, {{"-", *ReadFile(src_ + "/text.txt")}});
}

TEST_F(ProducerTest, SevenZipDeflateDeflate64AndZipCrypto) {
  const std::string seven = test::FindTool({"7z", "7zz", "7za"});
  if (seven.empty()) VX_SKIP_OR_FAIL("7-Zip is not installed");
  const std::string deflate = work_.File("deflate.zip");
  const std::string deflate64 = work_.File("deflate64.zip");
  const std::string crypto = work_.File("crypto.zip");
  Make(seven + " a -bso0 -tzip -mm=Deflate " + ShellQuote(deflate) + " .");
  Make(seven + " a -bso0 -tzip -mm=Deflate64 " + ShellQuote(deflate64) + " .");
  Make(seven + " a -bso0 -tzip -mem=ZipCrypto -pS3ven " + ShellQuote(crypto) + " .");

  TAbZipArchive zip(deflate64);
  zip.Load();
  bool any_deflate64 = false;
  for (int32_t i = 0; i < zip.Count(); ++i)
    any_deflate64 |= zip.ZipItems(i).CompressionMethod() == 9;
  EXPECT_TRUE(any_deflate64);

  ExpectSameAsUnzip(deflate, Source());
  ExpectSameAsUnzip(deflate64, Source());
  ExpectSameAsUnzip(crypto, Source(), "S3ven");
}

TEST_F(ProducerTest, SelfExtractingArchive) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  const std::string plain = work_.File("plain.zip");
  const std::string sfx = work_.File("setup.exe");
  Make("zip -q -r " + ShellQuote(plain) + " . && cat /bin/true " + ShellQuote(plain) + " > " +
       ShellQuote(sfx) + " && zip -q -A " + ShellQuote(sfx));
  ExpectSameAsUnzip(sfx, Source());
}

TEST_F(ProducerTest, PythonZipfileWithComments) {
  if (test::FindTool({"python3"}).empty()) VX_SKIP_OR_FAIL("python3 is not installed");
  const std::string script =
      "import sys, zipfile, os\n"
      "for name, method, comment in [('stored.zip', zipfile.ZIP_STORED, b''),\n"
      "    ('deflated.zip', zipfile.ZIP_DEFLATED, b'c' * 65535),\n"
      "    ('fake.zip', zipfile.ZIP_DEFLATED,\n"
      "     b'x' * 40 + b'PK\\x05\\x06' + b'\\0' * 16 + b'\\xff\\xff' + b'y' * 60)]:\n"
      "    with zipfile.ZipFile(os.path.join(sys.argv[1], name), 'w', method) as z:\n"
      "        for root, dirs, files in os.walk('.'):\n"
      "            for f in files:\n"
      "                z.write(os.path.join(root, f))\n"
      "        z.comment = comment\n";
  test::WriteFile(work_.File("make.py"), script);
  Make("python3 " + ShellQuote(work_.File("make.py")) + " " + ShellQuote(work_.Path()));
  ExpectSameAsUnzip(work_.File("stored.zip"), Source());
  ExpectSameAsUnzip(work_.File("deflated.zip"), Source());
  // unzip takes the fake record in the comment for the real one and finds
  // an empty archive; the length check skips it.
  ExpectSameAsUnzip(work_.File("fake.zip"), Source(), "", false);
  TAbZipArchive zip(work_.File("deflated.zip"));
  zip.Load();
  EXPECT_EQ(zip.Footer().zip_file_comment.size(), 65535u);
}

TEST_F(ProducerTest, SplitArchiveAsksForEachImage) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  // 64 KiB pieces: set.z01, set.z02, ... and set.zip with the directory;
  // the noise member runs across several pieces.
  const std::string archive = work_.File("set.zip");
  Make("zip -q -r -s 64k " + ShellQuote(archive) + " .");
  ASSERT_TRUE(fs::exists(work_.File("set.z02")));

  TAbUnZipper unzipper{RefuseEveryDisk()};
  std::vector<int32_t> images;
  unzipper.OnRequestImage = [&](TAbUnZipper&, int32_t image, std::string& name, bool&) {
    images.push_back(image);
    // Pieces are numbered from 1; the last one is the archive itself.
    const std::string piece = work_.File("set.z0" + std::to_string(image));
    EXPECT_TRUE(name == piece || name == archive) << image << " " << name;
  };
  std::vector<std::string> failures;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType,
                                      TAbErrorClass, int32_t) {
    failures.push_back(item.FileName() + ": " + sender.LastFailureMessage());
  };
  unzipper.SetBaseDirectory(work_.Path());
  unzipper.SetFileName(archive);
  EXPECT_EQ(unzipper.ArchiveType(), atZip);
  ASSERT_TRUE(static_cast<TAbZipArchive*>(unzipper.Archive())->Spanned());
  fs::create_directory(work_.File("out"));
  unzipper.SetBaseDirectory(work_.File("out"));
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_TRUE(test::TreeContents(work_.File("out")) == Source());
  EXPECT_GE(images.size(), 2u);
  EXPECT_EQ(images.front(), 1);

  // Refusing a piece fails the member that needs it as a user abort.
  TAbUnZipper refusing{RefuseEveryDisk()};
  std::vector<int32_t> codes;
  refusing.OnRequestImage = [](TAbUnZipper&, int32_t, std::string&, bool& abort) { abort = true; };
  refusing.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem&, TAbProcessType, TAbErrorClass,
                                      int32_t code) { codes.push_back(code); };
  refusing.SetBaseDirectory(work_.File("out"));
  refusing.SetFileName(archive);
  EXPECT_THROW(refusing.ExtractFiles("*.*"), EAbNoArchive);
  EXPECT_EQ(codes, std::vector<int32_t>{9});
}

// zip stores a name's bytes as they are; bytes that are not UTF-8 are read
// as the OEM code page (437 here) and come out in the ANSI one (1252).
#ifndef _WIN32
// A set on floppies: every disk holds a file of the same name. Opening the
// first disk asks for the last one; with no handler connected the request
// goes to the program's disk prompt (the message service, the terminal).
TEST_F(ProducerTest, UnansweredLastDiskRequestGoesToTheDiskPrompt) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  Make("zip -q -r -s 64k " + ShellQuote(work_.File("set.zip")) + " .");
  const std::string floppy = work_.File("floppy");
  fs::create_directory(floppy);
  fs::copy_file(work_.File("set.z01"), floppy + "/set.zip");

  const platform::DriveTable saved_drives = platform::DriveMap();
  platform::DriveTable drives = saved_drives;
  drives['A'] = floppy;
  platform::SetDriveMap(drives);
  struct Asked : TDiskPrompt {
    std::vector<std::pair<std::string, std::string>> asked;
    bool AskForDisk(const std::string& caption, const std::string& text) override {
      asked.emplace_back(caption, text);
      return false;
    }
  } prompt;

  TAbUnZipper unzipper{prompt};
  EXPECT_THROW(unzipper.SetFileName("A:\\set.zip"), EAbUserAbort);
  const auto& asked = prompt.asked;
  platform::SetDriveMap(saved_drives);
  EXPECT_EQ(asked, (std::vector<std::pair<std::string, std::string>>{
                       {"Insert floppy", "Insert the last disk in the spanned disk set"}}));
}
#endif

TEST_F(ProducerTest, MemberNameIsReadFromTheOemCodePage) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  const std::string oem_name =
      "caf\x82 \x81"
      "ber \x9c.txt";  // e acute, u umlaut, pound sign
  Put(oem_name, "accented");
  const std::string archive = work_.File("oem.zip");
  Make("zip -q " + ShellQuote(archive) + " " + ShellQuote(oem_name));

  TAbUnZipper unzipper{RefuseEveryDisk()};
  unzipper.SetFileName(archive);
  ASSERT_EQ(unzipper.Count(), 1);
  EXPECT_EQ(static_cast<TAbZipArchive*>(unzipper.Archive())->ZipItems(0).StoredName(), oem_name);
  // Windows reads the name into its ANSI code page; Linux names files in
  // UTF-8, so there the same characters arrive as UTF-8.
  const std::string ansi_name = platform::FileNamesAreUtf8() ? "caf\xC3\xA9 \xC3\xBC"
                                                               "ber \xC2\xA3.txt"
                                                             : "caf\xE9 \xFC"
                                                               "ber \xA3.txt";
  EXPECT_EQ(unzipper.Items(0).FileName(), ansi_name);

  fs::create_directory(work_.File("out"));
  unzipper.SetBaseDirectory(work_.File("out"));
  unzipper.ExtractFiles(ansi_name);
  EXPECT_EQ(test::ReadFile(work_.File("out/" + ansi_name)), "accented");
}

TEST_F(ProducerTest, RefusingAPieceInsideADeflatedMemberIsAUserAbort) {
  if (test::FindTool({"zip"}).empty()) VX_SKIP_OR_FAIL("zip is not installed");
  // Hex digits deflate to about half their size: the one member runs over
  // several 64 KiB pieces, so the inflater itself reads across a boundary.
  std::string hex;
  uint32_t state = 777;
  for (int i = 0; i < 400000; ++i) {
    state = state * 1103515245u + 12345u;
    hex += "0123456789abcdef"[(state >> 24) & 15];
  }
  Put("hex.txt", hex);
  const std::string archive = work_.File("hex.zip");
  Make("zip -q -s 64k " + ShellQuote(archive) + " hex.txt");
  ASSERT_TRUE(fs::exists(work_.File("hex.z02")));

  TAbUnZipper unzipper{RefuseEveryDisk()};
  bool extracting = false;
  int32_t refused = 0;
  unzipper.OnRequestImage = [&](TAbUnZipper&, int32_t image, std::string&, bool& abort) {
    // The first piece is where the member starts; the second is asked for
    // in the middle of decoding it.
    if (extracting && image == 2) {
      abort = true;
      ++refused;
    }
  };
  std::vector<int32_t> codes;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem&, TAbProcessType, TAbErrorClass,
                                      int32_t code) { codes.push_back(code); };
  fs::create_directory(work_.File("out"));
  unzipper.SetBaseDirectory(work_.File("out"));
  unzipper.SetFileName(archive);
  ASSERT_EQ(unzipper.Count(), 1);
  ASSERT_EQ(static_cast<TAbZipArchive*>(unzipper.Archive())->ZipItems(0).CompressionMethod(), 8);
  extracting = true;
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(codes, std::vector<int32_t>{9});
  EXPECT_FALSE(fs::exists(work_.File("out/hex.txt"))) << "the partial file stays";
  EXPECT_EQ(unzipper.Archive()->Status(), asInvalid);
}

// Every PKZIP archive holds the same fifteen members, whatever the method;
// the stored-only archive is the reference.
TEST(PkzipDos, EveryMemberOfEveryArchiveMatchesTheReference) {
  const std::string dir = test::TestDataDir() + test::Separator() + "pkzip-dos";
  const std::string reference_name = dir + test::Separator() + "PKZ204E0.ZIP";
  std::error_code ignored;
  if (!fs::exists(reference_name, ignored)) VX_SKIP_OR_FAIL("no pkzip-dos test data");

  std::map<std::string, std::string> reference;
  {
    TAbUnZipper unzipper{RefuseEveryDisk()};
    unzipper.SetFileName(reference_name);
    ASSERT_EQ(unzipper.Count(), 15);
    for (int32_t i = 0; i < unzipper.Count(); ++i) {
      TMemoryStream out;
      unzipper.ExtractToStream(i, out);
      reference[unzipper.Items(i).FileName()] = std::string(out.Bytes().begin(), out.Bytes().end());
      EXPECT_EQ(static_cast<int32_t>(out.Bytes().size()), unzipper.Items(i).UncompressedSize());
    }
  }

  int archives = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".ZIP" || file == "EMPTY.ZIP") continue;
    ++archives;
    TAbUnZipper unzipper{RefuseEveryDisk()};
    std::vector<std::string> failures;
    unzipper.OnProcessItemFailure = [&](TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType,
                                        TAbErrorClass, int32_t) {
      failures.push_back(item.FileName() + ": " + sender.LastFailureMessage());
    };
    unzipper.SetFileName(entry.path().string());
    ASSERT_EQ(unzipper.Count(), 15) << file;
    for (int32_t i = 0; i < unzipper.Count(); ++i) {
      TMemoryStream out;
      unzipper.ExtractToStream(i, out);
      const std::string name = unzipper.Items(i).FileName();
      EXPECT_TRUE(std::string(out.Bytes().begin(), out.Bytes().end()) == reference[name])
          << file << " " << name;
    }
    EXPECT_TRUE(failures.empty()) << file << ": " << failures.front();
  }
  EXPECT_EQ(archives, 25);

  TAbUnZipper empty{RefuseEveryDisk()};
  empty.SetFileName(dir + test::Separator() + "EMPTY.ZIP");
  EXPECT_EQ(empty.Count(), 0);
}

}  // namespace
}  // namespace vx
