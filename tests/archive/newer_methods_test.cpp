// Archives in today's methods (bzip2, LZMA, zstd, xz, WinZip AES) written by
// real tools, read back by vxzip and compared with the tree they were made
// of; bsdtar reads the same archives as a second opinion.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/zip_test_support.h"
#include "support/test_support.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

class NewerMethodsTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the writers are Linux programs, which a Windows test cannot start";
#else
    vxzip_ = test::VxzipPath();
    if (vxzip_.empty()) VX_SKIP_OR_FAIL("vxzip has not been built");
    for (const char* tool : {"7zz", "python3", "zstd", "xz", "bsdtar"}) {
      if (test::FindTool({tool}).empty()) VX_SKIP_OR_FAIL(std::string(tool) + " is not installed");
    }
    src_ = dir_.File("src");
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
    Put("text.txt", text);
    std::string binary;
    for (uint32_t i = 0, x = 1; i < 200000; ++i)
      binary += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    Put("sub/noise.bin", binary);
    Put("sub/empty.txt", "");
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

  // Extracts with vxzip and with bsdtar; both must give the source tree.
  void ExpectSourceTree(const std::string& archive, const std::string& password = "") {
    const std::string out = dir_.File("out");
    const std::string peer = dir_.File("peer");
    fs::remove_all(out);
    fs::remove_all(peer);
    fs::create_directories(peer);
    const std::string with_password = password.empty() ? "" : " -p " + ShellQuote(password);
    test::ProcessResult run =
        Vxzip("extract " + ShellQuote(archive) + " -d " + ShellQuote(out) + with_password);
    EXPECT_EQ(run.exit_code, 0) << archive << "\n" << run.err << run.out;
    EXPECT_TRUE(test::TreeContents(out) == test::TreeContents(src_)) << archive;
    // Again over the files just written: each member replaces its file.
    run = Vxzip("extract " + ShellQuote(archive) + " -d " + ShellQuote(out) + with_password);
    EXPECT_EQ(run.exit_code, 0) << archive << "\n" << run.err << run.out;
    EXPECT_TRUE(test::TreeContents(out) == test::TreeContents(src_)) << archive;
    test::ProcessResult tested = Vxzip("test " + ShellQuote(archive) + with_password);
    EXPECT_EQ(tested.exit_code, 0) << archive << "\n" << tested.out;
    const std::string peer_password =
        password.empty() ? "" : " --passphrase " + ShellQuote(password);
    test::ProcessResult peer_run = test::RunProcess("cd " + ShellQuote(peer) + " && bsdtar -xf " +
                                                    ShellQuote(archive) + peer_password);
    if (peer_run.exit_code == 0) {
      EXPECT_TRUE(test::TreeContents(peer) == test::TreeContents(out)) << archive;
    }
  }

  // A ZIP of the source files, each compressed on its own by `tool` (which
  // reads standard input and writes standard output) as method `method`.
  std::string WrapEachFile(const std::string& tool, uint16_t method, const std::string& name) {
    std::vector<test::TestMember> members;
    for (const auto& [relative, data] : test::TreeContents(src_)) {
      const std::string input = src_ + "/" + relative;
      const std::string packed = dir_.File("packed");
      test::ProcessResult run =
          test::RunProcess(tool + " < " + ShellQuote(input) + " > " + ShellQuote(packed));
      EXPECT_EQ(run.exit_code, 0) << tool << "\n" << run.err;
      members.push_back({.name = relative,
                         .data = data,
                         .method = method,
                         .version_needed = 63,
                         .compressed = test::ReadFile(packed).value_or("")});
    }
    const std::string archive = dir_.File(name);
    test::WriteFile(archive, test::BuildZip(members));
    return archive;
  }

  test::ScratchDir dir_;
  std::string src_;
  std::string vxzip_;
};

TEST_F(NewerMethodsTest, ArchivesOfRealWritersGiveTheirTree) {
  struct Writer {
    std::string archive, command, password;
  };
  const std::string python_writer =
      "python3 -c 'import os,sys,zipfile as z\n"
      "with z.ZipFile(sys.argv[1],\"w\",getattr(z,sys.argv[2])) as a:\n"
      "  [a.write(os.path.join(d,f),os.path.relpath(os.path.join(d,f))) for d,_,fs in "
      "os.walk(\".\") "
      "for f in fs]' ";
  const std::vector<Writer> writers = {
      {"7z-lzma.zip", "7zz a -bd -bso0 -tzip -mm=LZMA ARCHIVE .", ""},
      {"7z-lzma-eos.zip", "7zz a -bd -bso0 -tzip -mm=LZMA:eos ARCHIVE .", ""},
      {"7z-bzip2.zip", "7zz a -bd -bso0 -tzip -mm=BZip2 ARCHIVE .", ""},
      {"7z-aes256-deflate.zip", "7zz a -bd -bso0 -tzip -mem=AES256 -pOpen.Sesame ARCHIVE .",
       "Open.Sesame"},
      {"7z-aes128-lzma.zip", "7zz a -bd -bso0 -tzip -mm=LZMA -mem=AES128 -pOpen.Sesame ARCHIVE .",
       "Open.Sesame"},
      {"7z-aes192-store.zip", "7zz a -bd -bso0 -tzip -mm=Copy -mem=AES192 -pOpen.Sesame ARCHIVE .",
       "Open.Sesame"},
      {"7z-zipcrypto-bzip2.zip",
       "7zz a -bd -bso0 -tzip -mm=BZip2 -mem=ZipCrypto -pOpen.Sesame ARCHIVE .", "Open.Sesame"},
      {"py-lzma.zip", python_writer + "ARCHIVE ZIP_LZMA", ""},
      {"py-bzip2.zip", python_writer + "ARCHIVE ZIP_BZIP2", ""},
  };
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.archive);
    const std::string archive = dir_.File(writer.archive);
    std::string command = writer.command;
    command.replace(command.find("ARCHIVE"), 7, ShellQuote(archive));
    Run(command);
    ExpectSourceTree(archive, writer.password);
  }
  ExpectSourceTree(WrapEachFile("zstd -q -3 -c", 93, "zstd.zip"));
  ExpectSourceTree(WrapEachFile("zstd -q -19 --no-check -c", 20, "zstd-old-id.zip"));
  ExpectSourceTree(WrapEachFile("xz -q -6 -c", 95, "xz.zip"));
}

TEST_F(NewerMethodsTest, AesRefusesAWrongPasswordAndAlteredData) {
  const std::string archive = dir_.File("aes.zip");
  Run("7zz a -bd -bso0 -tzip -mem=AES256 -pright " + ShellQuote(archive) + " text.txt");
  test::ProcessResult wrong = Vxzip("test " + ShellQuote(archive) + " -p wrong");
  EXPECT_NE(wrong.exit_code, 0);
  EXPECT_NE(wrong.out.find("FAIL text.txt: Cannot extract file - invalid password"),
            std::string::npos)
      << wrong.out;

  // A byte in the middle of the encrypted data: the authentication code fails.
  std::string bytes = *test::ReadFile(archive);
  bytes[bytes.size() / 2] ^= 0x40;
  test::WriteFile(archive, bytes);
  test::ProcessResult altered = Vxzip("test " + ShellQuote(archive) + " -p right");
  EXPECT_NE(altered.exit_code, 0);
  EXPECT_NE(altered.out.find("FAIL text.txt"), std::string::npos) << altered.out;
}

TEST_F(NewerMethodsTest, SizeLiesAreRefusedInTheNewerMethodsToo) {
  const std::string text = *test::ReadFile(src_ + "/text.txt");
  const std::string packed = dir_.File("packed.zst");
  Run("zstd -q -c text.txt > " + ShellQuote(packed));
  const std::string raw = test::ReadFile(packed).value_or("");
  const std::string archive = dir_.File("lie.zip");
  test::WriteFile(archive, test::BuildZip({{.name = "short.txt",
                                            .data = text,
                                            .method = 93,
                                            .version_needed = 63,
                                            .declared_size = 10,
                                            .compressed = raw},
                                           {.name = "next.txt", .data = "after", .method = 0}}));
  test::ProcessResult tested = Vxzip("test " + ShellQuote(archive));
  EXPECT_NE(tested.exit_code, 0);
  EXPECT_NE(tested.out.find("FAIL short.txt"), std::string::npos) << tested.out;
  EXPECT_NE(tested.out.find("OK next.txt"), std::string::npos) << tested.out;
}

}  // namespace
}  // namespace vx
