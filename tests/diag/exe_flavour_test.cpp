#include "diag/exe_flavour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "diag/diag_test_support.h"
#include "platform/exception.h"
#include "util/drive_probes.h"
#include "util/util_test_helpers.h"

namespace vx {
namespace {

using test::FindPad;
using test::FixtureBytes;
using test::WriteAt;

constexpr size_t kBlock = kSignatureBlockSize;

// A text placed at boundary + `offset` (negative: before the boundary).
struct Placement {
  std::string text;
  int64_t offset;
};

struct FlavourCase {
  const char* title;
  const char* fixture;
  std::vector<Placement> placements;
  const char* flavour_name;
  const char* flavour_class;
  const char* marker_list;
};

const std::string kLahey = "LAHEY COMPUTER SYSTEMS INC.";

const FlavourCase kFlavourCases[] = {
    {"no marker at all", "plain", {}, "Unknown", "", ""},
    {"Lahey copyright alone",
     "plain",
     {{kLahey, 10}},
     "Lahey LF90",
     "Old Lahey",
     "\"LAHEY COMPUTER SYSTEMS INC.\" "},
    {"Lahey with the DOS extender markers",
     "plain",
     {{kLahey, 10}, {"386|VMM", 100}, {"32-bit power", 3000}},
     "Lahey F77",
     "Old Lahey",
     "\"LAHEY COMPUTER SYSTEMS INC.\" \"386|VMM\" \"32-BIT POWER\" "},
    {"LF90 ties LF95 and the lower number wins",
     "plain",
     {{kLahey, 10}, {"LF95V", 200}, {"_ILLIGAL_", 300}},
     "Lahey LF90",
     "Old Lahey",
     "\"LAHEY COMPUTER SYSTEMS INC.\" \"LF95V\" \"_ILLIGAL_\" "},
    {"a third LF95 marker wins",
     "plain",
     {{kLahey, 10}, {"LF95V", 200}, {"_ILLIGAL_", 300}, {"DEADLOCK ERROR", 5000}},
     "Lahey LF95",
     "New Fujitsu",
     "\"LAHEY COMPUTER SYSTEMS INC.\" \"LF95V\" \"_ILLIGAL_\" \"DEADLOCK ERROR\" "},
    {"Intel Fortran in mixed case",
     "plain",
     {{"iNtEl fOrTrAn", 40}},
     "Intel Fortran",
     "New Fujitsu",
     "\"INTEL FORTRAN\" "},
    {"Delphi with the named resource",
     "dvclal",
     {{"Borland\\Delphi", 40}},
     "Delphi",
     "",
     "\"BORLAND\\DELPHI\" \"DVCLAL resource\" "},
    {"Delphi with the resource beats Lahey",
     "dvclal",
     {{"BORLAND\\DELPHI", 40}, {kLahey, 2100}},
     "Delphi",
     "",
     "\"BORLAND\\DELPHI\" \"LAHEY COMPUTER SYSTEMS INC.\" \"DVCLAL resource\" "},
    {"Delphi without the resource",
     "plain",
     {{"BORLAND\\DELPHI", 40}},
     "Delphi",
     "",
     "\"BORLAND\\DELPHI\" "},
    {"Delphi without the resource loses to Lahey",
     "plain",
     {{"BORLAND\\DELPHI", 40}, {kLahey, 100}},
     "Lahey LF90",
     "Old Lahey",
     "\"BORLAND\\DELPHI\" \"LAHEY COMPUTER SYSTEMS INC.\" "},
    {"the resource alone is not looked for", "dvclal", {}, "Unknown", "", ""},
    {"numbered and near-miss resources",
     "numbered",
     {{"BORLAND\\DELPHI", 40}},
     "Delphi",
     "",
     "\"BORLAND\\DELPHI\" "},
    {"Phar Lap scores nothing", "plain", {{"PHAR LAP", 40}}, "Unknown", "", "\"PHAR LAP\" "},
    {"the product's own name",
     "plain",
     {{"VESTRIX", 900}, {"LF95V", 10}, {"_ILLIGAL_", 20}, {"DEADLOCK ERROR", 30}},
     "Lahey LF95(Vestrix)",
     "New Fujitsu",
     "\"VESTRIX\" \"LF95V\" \"_ILLIGAL_\" \"DEADLOCK ERROR\" "},
    {"the product's name in lower case on an unknown file",
     "plain",
     {{"vestrix", 4}},
     "Unknown(Vestrix)",
     "",
     "\"VESTRIX\" "},
    {"list in table order, not file order",
     "plain",
     {{"INTEL FORTRAN", -100}, {"PHAR LAP", 0}},
     "Intel Fortran",
     "New Fujitsu",
     "\"PHAR LAP\" \"INTEL FORTRAN\" "},
    {"a marker across a block boundary is not seen",
     "plain",
     {{"INTEL FORTRAN", -6}},
     "Unknown",
     "",
     ""},
    {"across the next boundary neither",
     "plain",
     {{kLahey, int64_t(kBlock) - 1}},
     "Unknown",
     "",
     ""},
    {"a marker ending at a boundary is seen",
     "plain",
     {{"INTEL FORTRAN", -13}},
     "Intel Fortran",
     "New Fujitsu",
     "\"INTEL FORTRAN\" "},
    {"a marker starting at a boundary is seen",
     "plain",
     {{"INTEL FORTRAN", 0}},
     "Intel Fortran",
     "New Fujitsu",
     "\"INTEL FORTRAN\" "},
    {"a zero byte inside a marker breaks it",
     "plain",
     {{std::string("LAHEY COMPUTER\0SYSTEMS", 22), 8}},
     "Unknown",
     "",
     ""},
    {"a zero byte where the marker has a blank matches",
     "plain",
     {{std::string("INTEL\0FORTRAN", 13), 8}},
     "Intel Fortran",
     "New Fujitsu",
     "\"INTEL FORTRAN\" "},
};

class FlavourTest : public ::testing::TestWithParam<FlavourCase> {};

TEST_P(FlavourTest, ScoresTheMarkersFoundInTheExecutable) {
  const FlavourCase& c = GetParam();
  std::vector<uint8_t> bytes = FixtureBytes(c.fixture);
  VX_REQUIRE_FIXTURE(bytes, c.fixture);
  test::PadLayout pad = FindPad(bytes);
  ASSERT_GT(pad.boundary, 0u);
  ASSERT_LE(pad.boundary + 3 * kBlock, pad.pad_start + 16384) << "padding too short";
  for (const Placement& p : c.placements) {
    WriteAt(bytes, static_cast<size_t>(static_cast<int64_t>(pad.boundary) + p.offset), p.text);
  }
  test::ScratchDir scratch;
  std::string path = scratch.File("probe.exe");
  test::WriteFile(path, bytes);

  std::string flavour_class = "stale", marker_list = "stale", flavour_name = "stale";
  ScanExeSignatures(path, flavour_class, marker_list, flavour_name);
  EXPECT_EQ(flavour_name, c.flavour_name);
  EXPECT_EQ(flavour_class, c.flavour_class);
  EXPECT_EQ(marker_list, c.marker_list);

  std::string short_class, short_name;
  GetExeFlavour(path, short_class, short_name);
  EXPECT_EQ(short_name, c.flavour_name);
  EXPECT_EQ(short_class, c.flavour_class);
}

INSTANTIATE_TEST_SUITE_P(Markers, FlavourTest, ::testing::ValuesIn(kFlavourCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// The file's end: the last, short block is searched too; a file whose length
// is a multiple of the block size ends with an empty read.
TEST(ScanExeSignatures, SearchesTheLastBlockWhateverItsLength) {
  std::vector<uint8_t> base = FixtureBytes("plain");
  VX_REQUIRE_FIXTURE(base, "plain");
  test::ScratchDir scratch;
  const std::string marker = "DEADLOCK ERROR";
  // The last block holds exactly the marker, is one byte short of full, is
  // full (the file length a multiple of the block), or is short after a full one.
  for (size_t extra : {marker.size(), kBlock - 1, kBlock, kBlock + marker.size() + 3}) {
    std::vector<uint8_t> bytes = base;
    size_t length = (bytes.size() + kBlock - 1) / kBlock * kBlock + extra;
    bytes.resize(length - marker.size(), 0);
    WriteAt(bytes, bytes.size(), marker);  // the marker is the file's last bytes
    ASSERT_EQ(bytes.size(), length);
    std::string path = scratch.File("tail.exe");
    test::WriteFile(path, bytes);
    std::string flavour_class, list, name;
    ScanExeSignatures(path, flavour_class, list, name);
    EXPECT_EQ(list, "\"DEADLOCK ERROR\" ") << "length " << length;
  }
}

TEST(ScanExeSignatures, RaisesWhenTheFileCannotBeOpened) {
  test::ScratchDir scratch;
  std::string flavour_class, list, name;
  EXPECT_THROW(ScanExeSignatures(scratch.File("absent.exe"), flavour_class, list, name),
               EStreamError);
}

TEST(HasDvclalResource, FindsOnlyTheNamedRcDataResource) {
  test::ScratchDir scratch;
  struct Case {
    const char* title;
    std::string fixture;
    // Applied to the fixture's bytes before the test.
    std::function<void(std::vector<uint8_t>&)> change;
    bool expected;
  };
  auto lower_case_name = [](std::vector<uint8_t>& bytes) {
    const uint8_t name[] = {'D', 0, 'V', 0, 'C', 0, 'L', 0, 'A', 0, 'L', 0};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(name), std::end(name));
    ASSERT_NE(at, bytes.end());
    *at = 'd';
  };
  const Case cases[] = {
      {"named RCDATA", "dvclal", nullptr, true},
      {"no resources at all", "plain", nullptr, false},
      {"numbered, longer name, other type", "numbered", nullptr, false},
      {"the name in another letter case", "dvclal", lower_case_name, false},
      {"cut short inside the headers", "dvclal", [](auto& b) { b.resize(300); }, false},
      {"not an executable", "dvclal", [](auto& b) { b.assign(5000, 'x'); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::vector<uint8_t> bytes = FixtureBytes(c.fixture);
    VX_REQUIRE_FIXTURE(bytes, c.fixture);
    if (c.change) c.change(bytes);
    std::string path = scratch.File(std::string(c.fixture) + std::to_string(&c - cases) + ".exe");
    test::WriteFile(path, bytes);
    EXPECT_EQ(HasDvclalResource(path), c.expected);
  }
  EXPECT_FALSE(HasDvclalResource(scratch.File("absent.exe")));
}

// --- the product directory check ---

class ProductDirectoryTest : public ::testing::Test {
 protected:
  // An executable of the class wanted: "old" (Lahey), "new" (LF95), "delphi"
  // or "unknown"; nothing for "".
  void Put(const std::string& name, const std::string& kind) {
    if (kind.empty()) return;
    std::vector<uint8_t> bytes = FixtureBytes("plain");
    ASSERT_FALSE(bytes.empty());
    test::PadLayout pad = FindPad(bytes);
    if (kind == "old") WriteAt(bytes, pad.boundary, kLahey);
    if (kind == "new") WriteAt(bytes, pad.boundary, "Intel Fortran");
    if (kind == "delphi") WriteAt(bytes, pad.boundary, "BORLAND\\DELPHI");
    test::WriteFile(scratch_.File(name + ".EXE"), bytes);
  }
  std::string Line(const std::string& name, const std::string& flavour,
                   const std::string& flavour_class) {
    std::string path = scratch_.Path() + "\\" + name + ".EXE";
    return name + " is " + path + "  " + flavour + "  " + FileDateText(path) +
           "  flavour: " + flavour_class;
  }
  test::ScratchDir scratch_;
};

TEST_F(ProductDirectoryTest, ReportsEachExecutableAndWarnsOnMixedClasses) {
  if (FixtureBytes("plain").empty()) VX_SKIP_OR_FAIL("PE fixture plain not built");
  test::ScopedEnv vxdir("VXDIR", scratch_.Path());
  const std::string head = "VESTRIX directory is " + scratch_.Path();
  const std::string missing = scratch_.Path() + "\\MIRELT.EXE does not exist !";
  auto warning = [](const char* a, const char* b) {
    return std::string("\r\n**** WARNING **** ") + a + " and " + b +
           " have different Lahey/Fujitsu flavours";
  };
  struct Case {
    const char* kelda;
    const char* sorvin;
    const char* mirelt;
    std::function<std::string()> expected;
  };
  const Case cases[] = {
      {"old", "new", "",
       [&] {
         return head + "\r\n" + Line("KELDA", "Lahey LF90", "Old Lahey") + "\r\n" +
                Line("SORVIN", "Intel Fortran", "New Fujitsu") + "\r\n" + missing +
                warning("KELDA", "SORVIN");
       }},
      {"old", "new", "old",
       [&] {
         return head + "\r\n" + Line("KELDA", "Lahey LF90", "Old Lahey") + "\r\n" +
                Line("SORVIN", "Intel Fortran", "New Fujitsu") + "\r\n" +
                Line("MIRELT", "Lahey LF90", "Old Lahey") + warning("KELDA", "SORVIN") +
                warning("SORVIN", "MIRELT");
       }},
      {"new", "old", "old",
       [&] {
         return head + "\r\n" + Line("KELDA", "Intel Fortran", "New Fujitsu") + "\r\n" +
                Line("SORVIN", "Lahey LF90", "Old Lahey") + "\r\n" +
                Line("MIRELT", "Lahey LF90", "Old Lahey") + warning("KELDA", "SORVIN") +
                warning("KELDA", "MIRELT");
       }},
      {"delphi", "unknown", "new",
       [&] {
         return head + "\r\n" + Line("KELDA", "Delphi", "") + "\r\n" +
                Line("SORVIN", "Unknown", "") + "\r\n" +
                Line("MIRELT", "Intel Fortran", "New Fujitsu");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kelda) + "/" + c.sorvin + "/" + c.mirelt);
    for (const char* name : {"KELDA", "SORVIN", "MIRELT"}) {
      platform::DeleteFile(scratch_.Path() + "\\" + name + ".EXE");
    }
    Put("KELDA", c.kelda);
    Put("SORVIN", c.sorvin);
    Put("MIRELT", c.mirelt);
    EXPECT_EQ(CheckProductDirectory(), c.expected());
  }
}

TEST(CheckProductDirectory, SaysSoWhenThereIsNoProductDirectory) {
  test::ScratchDir scratch;
  test::ScopedEnv vxdir("VXDIR", scratch.File("absent"));
#ifndef _WIN32
  test::ScopedDriveMap no_drives({});
#else
  if (SafeDirExists("C:\\VX")) GTEST_SKIP() << "C:\\VX exists on this machine";
#endif
  EXPECT_EQ(CheckProductDirectory(), "No VESTRIX directory: neither VXDIR nor C:\\VX exists");
}

#ifndef _WIN32
// An executable that exists but cannot be read ends the check with the read
// error: /proc/self/mem opens, and reading its first page fails.
TEST(CheckProductDirectory, AReadErrorInAnExecutableReachesTheCaller) {
  test::ScratchDir scratch;
  test::ScopedEnv vxdir("VXDIR", scratch.Path());
  ASSERT_EQ(symlink("/proc/self/mem", scratch.File("KELDA.EXE").c_str()), 0);
  EXPECT_THROW(CheckProductDirectory(), EStreamError);
}
#endif

}  // namespace
}  // namespace vx
