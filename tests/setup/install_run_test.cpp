#include "setup/install_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive/zip_test_support.h"
#include "platform/files.h"
#include "setup/install_test_support.h"
#include "setup/main_window.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

// The shell with a Desktop and a Programs folder; the n-th shell link object
// asked for (from 1; 0: none) cannot be created.
class InstallShell : public test::ScriptedShell {
 public:
  InstallShell() {
    special_folders[SpecialFolderCsidl(sfDesktop)] = "C:\\Desk";
    special_folders[SpecialFolderCsidl(sfPrograms)] = "C:\\Progs";
  }
  int failing_link = 0;
  int links = 0;
  std::unique_ptr<platform::ShellLink> CreateShellLink() override {
    if (++links == failing_link) {
      throw platform::EComError("Class not registered", platform::kClassNotRegistered);
    }
    return ScriptedShell::CreateShellLink();
  }
  // The link files saved, in order.
  std::vector<std::string> Saved() const {
    std::vector<std::string> saved;
    for (const std::string& call : calls) {
      if (call.rfind("Save ", 0) == 0) saved.push_back(call.substr(5));
    }
    return saved;
  }
};

// The view, also noting what the window showed at each repaint.
class RecordingView : public test::ScriptedMainView {
 public:
  std::vector<std::pair<int32_t, std::string>> painted;  // gauge, member label
  std::function<void()> on_pump;                         // after the scripted messages
  void ProcessMessages() override {
    ScriptedMainView::ProcessMessages();
    if (on_pump) on_pump();
  }
  void Repaint() override {
    ScriptedMainView::Repaint();
    painted.emplace_back(gauge.Progress(), captions[TMainControl::InstDirLabel]);
  }
};

struct Box {
  TMessageKind kind;
  std::string text;
  bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "{" << box.kind << ", \"" << box.text << "\"}";
}

const std::string kExe(300, 'x');
const std::string kUnits(100, 'u');
const std::string kNotComplete =
    "Install of VESTRIX 1.5 is NOT complete\r\nbut will be terminated due to problems";
const std::string kCheck =
    "If you try to install again, please check that\r\n(a) you have sufficient free disk "
    "space.\r\n(b) you have closed other running applications.";

class InstallRunTest : public testing::Test {
 protected:
  InstallRunTest() {
    TInstallOptions& options = form.InstallOptions;
    options.InstTitle = "VESTRIX 1.5";
    options.InstDir = root.Path() + "VX";
    options.DiskNeededMB = 120;
    options.ShortcutTitle = "VESTRIX";
    options.ZipPath = root.Path() + "prod.zip";
    options.ExeName = "vestrix.exe";
    form.InstallRun.Shell = &shell;
    shell.files.insert(options.InstDir + "\\vestrix.exe");
  }

  void WriteArchive(const std::vector<test::TestMember>& members) {
    test::WriteFile(root.Host("prod.zip"), test::BuildZip(members));
  }
  // The usual package: the program, a data file in a folder, a name without a dot.
  void WritePackage(std::optional<uint32_t> units_crc = std::nullopt) {
    test::TestMember units{"data/units.dat", kUnits, 8};
    units.stored_crc = units_crc;
    WriteArchive({{"vestrix.exe", kExe}, units, {"docs/CHANGES", "1.5: first"}});
  }
  std::optional<std::string> Installed(const std::string& name) {
    return test::ReadFile(root.Host("VX\\" + name));
  }
  std::vector<Box> Boxes() const {
    std::vector<Box> boxes;
    for (const TMessageBox& box : messages_view.shown) boxes.push_back({box.Kind, box.Text});
    return boxes;
  }
  std::string Dir() const { return form.InstallOptions.InstDir; }

  test::ShortRoot root;
  test::DiskSystem system;
  RecordingView view;
  test::ScriptedMessageView messages_view;
  TMessageService messages{messages_view};
  TForm1 form{view, messages, system};
  InstallShell shell;
};

TEST_F(InstallRunTest, FullInstallExtractsEverythingAndMakesBothShortcuts) {
  WritePackage();
  form.InstallBtnClick();

  EXPECT_EQ(Installed("vestrix.exe"), kExe);
  EXPECT_EQ(Installed("data\\units.dat"), kUnits);
  EXPECT_EQ(Installed("docs\\CHANGES"), "1.5: first");
  EXPECT_EQ(Boxes(),
            (std::vector<Box>{{mkInformation, "Installation of VESTRIX 1.5 is complete"}}));
  EXPECT_TRUE(messages.EndRequested());

  // The Desktop shortcut, then the Programs one, both named after the title,
  // starting the program in the installation directory with its own icon.
  EXPECT_EQ(shell.Saved(), (std::vector<std::string>{"C:\\Desk\\VESTRIX.lnk remember=0",
                                                     "C:\\Progs\\VESTRIX.lnk remember=0"}));
  const std::string exe = Dir() + "\\vestrix.exe";
  for (const std::string& call : std::vector<std::string>{
           "SetPath " + exe, "SetDescription VESTRIX", "SetWorkingDirectory " + Dir()}) {
    EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), call), 2) << call;
  }
  for (const std::string& call : shell.calls)
    EXPECT_EQ(call.rfind("SetIconLocation", 0), std::string::npos);
  ASSERT_NE(form.InstallRun.Shortcut, nullptr);
  EXPECT_FALSE(form.InstallRun.Shortcut->AutoName());
  EXPECT_EQ(form.InstallRun.Shortcut->IconIndex(), 0);

  // The real size (410 bytes) replaced the settings' 120 megabytes.
  EXPECT_EQ(form.InstallRun.TotalBytes, 410.0);
  EXPECT_EQ(form.InstallOptions.DiskNeededMB, 1);
  // The labels are back, the gauge hidden again, the buttons usable.
  EXPECT_EQ(view.captions[TMainControl::InstDirLabel], "Install in directory: " + Dir());
  EXPECT_FALSE(view.visible[TMainControl::Gauge1]);
  EXPECT_TRUE(view.enabled[TMainControl::InstallBtn]);
  EXPECT_FALSE(form.Extracting());

  // Every member was shown while it was written, the gauge only rising to 100.
  std::vector<std::string> shown_members;
  int32_t last = 0;
  for (const auto& [percent, label] : view.painted) {
    EXPECT_GE(percent, last);
    last = percent;
    if (shown_members.empty() || shown_members.back() != label) shown_members.push_back(label);
  }
  EXPECT_EQ(last, 100);
  EXPECT_EQ(shown_members,
            (std::vector<std::string>{"vestrix.exe", "data/units.dat", "docs/CHANGES"}));
}

TEST_F(InstallRunTest, DuringTheExtractionTheWindowShowsItIsInstalling) {
  WritePackage();
  std::map<TMainControl, bool> enabled;
  bool gauge_shown = false;
  std::string label;
  TColor color = clBlack;
  int32_t size = 0;
  // Seen from the first member's first progress event.
  view.on_pump = [&] {
    if (!label.empty() || view.captions[TMainControl::InstDirLabel] != "vestrix.exe") return;
    enabled = view.enabled;
    gauge_shown = view.visible[TMainControl::Gauge1];
    label = view.captions[TMainControl::SpaceNeededLabel];
    color = view.font_colors[TMainControl::SpaceNeededLabel];
    size = view.font_sizes[TMainControl::SpaceNeededLabel];
  };
  view.font_sizes[TMainControl::InstDirLabel] = 9;
  form.InstallBtnClick();

  EXPECT_TRUE(gauge_shown);
  EXPECT_EQ(label, "Installing...please wait");
  EXPECT_EQ(color, clGreen);
  EXPECT_EQ(size, 12);  // 9 / 2 * 3
  EXPECT_FALSE(enabled[TMainControl::InstallBtn]);
  EXPECT_FALSE(enabled[TMainControl::ChangeDirBtn]);
  EXPECT_FALSE(enabled[TMainControl::Button1]);
  EXPECT_EQ(enabled.count(TMainControl::QuitBtn), 0u);  // never disabled
  EXPECT_EQ(enabled.count(TMainControl::HelpBtn), 0u);
  // Afterwards the label is back at the size of the other one.
  EXPECT_EQ(view.font_sizes[TMainControl::SpaceNeededLabel], 9);
}

TEST_F(InstallRunTest, ProgressReachesTheScreenAtMostOncePerIntervalAndAlwaysAtTheEnd) {
  WritePackage();
  // Every event within one interval: one pump and one paint at the start,
  // then only the final state, painted before the box.
  view.clock_step = 0;
  form.InstallBtnClick();
  EXPECT_LE(view.pumps, 2);
  ASSERT_EQ(view.painted.size(), 2u);
  EXPECT_EQ(view.painted.back(), (std::pair<int32_t, std::string>{100, "docs/CHANGES"}));
  EXPECT_EQ(Boxes(),
            (std::vector<Box>{{mkInformation, "Installation of VESTRIX 1.5 is complete"}}));

  // The same run with a clock that moves by a millisecond per reading
  // pumps and paints less often than one where every reading is due.
  auto counts = [&](uint32_t clock_step) {
    std::filesystem::remove_all(root.Host("VX"));
    test::ScriptedMainView counting;
    test::ScriptedMessageView boxes;
    TMessageService service{boxes};
    TForm1 again{counting, service, system};
    again.InstallOptions = form.InstallOptions;
    again.InstallRun.Shell = &shell;
    counting.clock_step = clock_step;
    again.InstallBtnClick();
    EXPECT_EQ(counting.gauge.Progress(), 100);
    return std::make_pair(counting.pumps, counting.repaints);
  };
  const auto every = counts(kProgressIntervalMs);
  const auto half = counts(1);
  EXPECT_LT(half.first, every.first);
  EXPECT_LT(half.second, every.second);
}

TEST_F(InstallRunTest, PressesNestedInTheExtractionDoNotStartAnotherRun) {
  WritePackage();
  view.chooser_script.push_back(root.Path() + "OTHER");
  view.pending_messages.push_back([&] { form.InstallBtnClick(); });
  view.pending_messages.push_back([&] { form.ChangeDirBtnClick(); });
  form.InstallBtnClick();

  EXPECT_TRUE(view.chooser_openings.empty());
  EXPECT_EQ(Dir(), root.Path() + "VX");
  EXPECT_EQ(Boxes(),
            (std::vector<Box>{{mkInformation, "Installation of VESTRIX 1.5 is complete"}}));
  EXPECT_EQ(shell.Saved().size(), 2u);
}

TEST_F(InstallRunTest, ProblemsBeforeTheExtractionReturnToWaiting) {
  struct Case {
    const char* what;
    std::string inst_dir;  // relative to the root
    std::string archive;   // the package's archive as written, or the good one when empty
    int64_t free_bytes;
    Box box;
    bool directory_made;  // the directory exists afterwards
    uint32_t help_context = kNoHelpContext;
  };
  const std::string r = root.Path();
  std::vector<uint8_t> overlap_bytes =
      test::BuildZip({{.name = "a.txt", .data = "alpha"},
                      {.name = "b.txt", .data = "alpha", .central_offset = 0}});
  const std::string overlapping(overlap_bytes.begin(), overlap_bytes.end());
  const std::string overlap_message =
      "Invalid file - members overlap (\"a.txt\" and \"b.txt\" name the same local header at "
      "offset 0); possible zip bomb";
  const std::vector<Case> cases = {
      {"space in the name",
       "MY VX",
       "",
       5000 * kMiB,
       {mkError, "Bad directory name:  " + r + "MY VX\r\nDirectory name must not contain spaces"},
       false,
       kDirectoryNameHelpContext},
      {"parent missing",
       "NO\\VX",
       "",
       5000 * kMiB,
       {mkError, "Cannot create directory " + r + "NO\\VX"},
       false},
      {"archive unreadable",
       "VX",
       "PK\x03\x04 not really",
       5000 * kMiB,
       {mkError, "Cannot unzip file " + r + "prod.zip"},
       false},
      // Two directory entries naming one member: the box says why.
      {"members overlap",
       "VX",
       overlapping,
       5000 * kMiB,
       {mkError, "Cannot unzip file " + r + "prod.zip\r\n" + overlap_message},
       false},
      // 410 bytes need 1 megabyte; 0.4 free megabytes round to 0.
      {"no space",
       "VX",
       "",
       400 * 1024,
       {mkError, "Insufficient space to install in " + r + "VX"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(root.Host("VX"));
    if (!c.archive.empty()) {
      test::WriteFile(root.Host("prod.zip"), c.archive);
    } else {
      WritePackage();
    }
    system.free_bytes = c.free_bytes;
    form.InstallOptions.InstDir = r + c.inst_dir;
    messages_view.shown.clear();
    view.visible.clear();

    form.InstallBtnClick();
    EXPECT_EQ(Boxes(), std::vector<Box>{c.box});
    if (!messages_view.shown.empty()) {
      EXPECT_EQ(messages_view.shown[0].HelpContext, c.help_context);
    }
    EXPECT_FALSE(messages.EndRequested());
    EXPECT_FALSE(view.visible[TMainControl::Gauge1]);
    EXPECT_EQ(platform::DirectoryExists(form.InstallOptions.InstDir), c.directory_made);
    EXPECT_FALSE(Installed("vestrix.exe").has_value());
    EXPECT_TRUE(shell.calls.empty());
  }
}

TEST_F(InstallRunTest, FailingMemberGivesThreeWarningsAndStops) {
  WritePackage(0x12345678);  // the second member's stored CRC is wrong
  form.InstallBtnClick();

  const std::string r = root.Path();
  EXPECT_EQ(Boxes(), (std::vector<Box>{
                         {mkWarning, "Cannot extract data/units.dat\r\n from archive " + r +
                                         "prod.zip\r\nError Code: \"Failed CRC Check\""},
                         {mkWarning, kNotComplete},
                         {mkWarning, kCheck},
                     }));
  for (const TMessageBox& box : messages_view.shown) {
    EXPECT_EQ(box.Buttons, mbOK);
    EXPECT_EQ(box.HelpContext, kNoHelpContext);
  }
  EXPECT_TRUE(messages.EndRequested());
  EXPECT_TRUE(form.InstallRun.AbortRequested());
  // Written before the failure, and removed with the directory the run made.
  EXPECT_FALSE(Installed("vestrix.exe").has_value());
  EXPECT_FALSE(Installed("docs\\CHANGES").has_value());
  EXPECT_FALSE(platform::DirectoryExists(Dir()));
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InstallRunTest, QuitDuringALargeMemberStopsAtTheNextProgressEvent) {
  const std::string big(4 * kMiB, 'b');
  WriteArchive({{"vestrix.exe", kExe}, {"big.dat", big, 8}, {"after.txt", "after"}});
  // "Quit" is pressed while big.dat's first progress event pumps messages.
  int quits = 0;
  int32_t gauge_at_quit = -1;
  view.on_pump = [&] {
    if (quits == 0 && view.captions[TMainControl::InstDirLabel] == "big.dat") {
      ++quits;
      gauge_at_quit = view.gauge.Progress();
      view.pending_messages.push_back([&] { form.QuitBtnClick(); });  // pressed twice
      form.QuitBtnClick();
    }
  };
  form.InstallBtnClick();

  EXPECT_EQ(quits, 1);
  EXPECT_LT(gauge_at_quit, 100);
  EXPECT_EQ(Boxes(), (std::vector<Box>{{mkWarning, "Install of VESTRIX 1.5 is NOT complete"}}));
  EXPECT_TRUE(messages.EndRequested());
  EXPECT_FALSE(platform::DirectoryExists(Dir()));  // undone, the directory with it
  EXPECT_FALSE(Installed("after.txt").has_value());
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InstallRunTest, ReadOnlyFileIsReplacedWithoutAWord) {
  WritePackage();
  ASSERT_TRUE(platform::CreateDirectory(Dir()));
  const std::string old_exe = Dir() + "\\vestrix.exe";
  test::WriteFile(root.Host("VX\\vestrix.exe"), std::string("old program"));
  ASSERT_TRUE(platform::SetFileAttributes(old_exe, platform::kAttrReadOnly));
  form.InstallBtnClick();

  EXPECT_EQ(Installed("vestrix.exe"), kExe);
  EXPECT_EQ(Boxes(),
            (std::vector<Box>{{mkInformation, "Installation of VESTRIX 1.5 is complete"}}));
}

TEST_F(InstallRunTest, ReadOnlyFileThatStaysReadOnlyFailsTheMember) {
  WritePackage();
  ASSERT_TRUE(platform::CreateDirectory(Dir()));
  const std::string old_exe = Dir() + "\\vestrix.exe";
  test::WriteFile(root.Host("VX\\vestrix.exe"), std::string("old program"));
  ASSERT_TRUE(platform::SetFileAttributes(old_exe, platform::kAttrReadOnly));
  system.locked.insert(old_exe);
  form.InstallBtnClick();

  const std::string problem = "Cannot over-write read-only file:  " + old_exe;
  const std::vector<Box> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0], (Box{mkWarning, problem}));
  EXPECT_EQ(boxes[1],
            (Box{mkWarning, problem + "\r\nYou may have to install into a fresh directory"}));
  EXPECT_EQ(boxes[2].text, "Cannot extract vestrix.exe\r\n from archive " + root.Path() +
                               "prod.zip\r\nError Code: \"FileCreate\"");
  EXPECT_EQ(boxes[3], (Box{mkWarning, kNotComplete}));
  EXPECT_EQ(Installed("vestrix.exe"), "old program");
  EXPECT_FALSE(Installed("data\\units.dat").has_value());
}

TEST_F(InstallRunTest, MissingMainExecutableIsFatal) {
  form.InstallOptions.ExeName = "kelda.exe";
  WritePackage();
  form.InstallBtnClick();

  const std::string exe = Dir() + "\\kelda.exe";
  ASSERT_EQ(messages_view.shown.size(), 2u);
  EXPECT_EQ(Boxes()[0], (Box{mkWarning, "Problem: file \"" + exe + "\"\r\ndoes not exist"}));
  const TMessageBox& fatal = messages_view.shown[1];
  EXPECT_EQ(fatal.Kind, mkError);
  EXPECT_EQ(fatal.HelpContext, kFatalErrorHelpContext);
  EXPECT_NE(fatal.Text.find("Main EXE file not installed successfully"), std::string::npos);
  EXPECT_TRUE(messages.EndRequested());
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InstallRunTest, FailedShortcutsWarnAndTheRunGoesOn) {
  const std::string desktop =
      "Problem creating Desktop shortcut...\r\nYou may have to create this manually.";
  const std::string programs =
      "Problem creating Start Menu shortcut...\r\nYou may have to create this manually.";
  struct Case {
    const char* what;
    void (*breakage)(InstallShell&);
    std::vector<std::string> warnings;
    size_t saved;
  };
  const std::vector<Case> cases = {
      {"no Desktop link object", [](InstallShell& s) { s.failing_link = 1; }, {desktop}, 1},
      {"no Programs link object", [](InstallShell& s) { s.failing_link = 2; }, {programs}, 1},
      {"saving fails", [](InstallShell& s) { s.save_succeeds = false; }, {desktop, programs}, 2},
      {"no Programs folder",
       [](InstallShell& s) { s.special_folders.erase(SpecialFolderCsidl(sfPrograms)); },
       {programs},
       1},
      {"shell version unknown",
       [](InstallShell& s) { s.version_unreadable = true; },
       {desktop, programs},
       0},
  };
  WritePackage();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScriptedMessageView box_view;
    TMessageService box_service{box_view};
    TForm1 run{view, box_service, system};
    run.InstallOptions = form.InstallOptions;
    InstallShell broken;
    broken.files = shell.files;
    c.breakage(broken);
    run.InstallRun.Shell = &broken;
    run.InstallBtnClick();

    std::vector<Box> expected;
    for (const std::string& warning : c.warnings) expected.push_back({mkWarning, warning});
    expected.push_back({mkInformation, "Installation of VESTRIX 1.5 is complete"});
    std::vector<Box> seen;
    for (const TMessageBox& box : box_view.shown) seen.push_back({box.Kind, box.Text});
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(broken.Saved().size(), c.saved);
  }
}

TEST(InstallArithmeticTest, MegabytesNeededAreMillionsRoundedToEven) {
  const std::vector<std::pair<double, int32_t>> cases = {
      {0, 0},       {400, 1},     {499999, 1},  {1000000, 2},         {1999999, 2},
      {2000000, 2}, {2500000, 3}, {3000000, 4}, {4294967295.0, 4295},
  };
  for (const auto& [bytes, mb] : cases) EXPECT_EQ(DiskNeededMBFor(bytes), mb) << bytes;
}

TEST(InstallArithmeticTest, GaugeFollowsTheBytesDone) {
  struct Case {
    double done, total;
    uint8_t item_progress;
    int32_t percent;
  };
  const std::vector<Case> cases = {
      {350, 400, 50, 88},  // 87.5: to the even 88
      {75, 400, 25, 19},   // 18.75
      {50, 400, 50, 12},   // 12.5: to the even 12
      {0, 400, 0, 0},     {400, 400, 100, 100},
      {0, 0, 0, 0},  // nothing to count: the member's own progress
      {0, 0, 60, 60},     {0, 0, 100, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GaugePercent(c.done, c.total, c.item_progress), c.percent)
        << c.done << "/" << c.total;
  }
}

TEST(InstallArithmeticTest, HandlersCountTheBytesOfEachMember) {
  test::ScriptedSystem system;
  test::ScriptedMainView view;
  test::ScriptedMessageView messages_view;
  TMessageService messages{messages_view};
  TForm1 form{view, messages, system};
  TInstallRun& run = form.InstallRun;
  TAbArchiveItem first, second, huge;
  first.SetFileName("first.exe");
  first.SetUncompressedSize(300);
  second.SetFileName("data\\second.dat");
  second.SetUncompressedSize(100);
  huge.SetUncompressedSize(0xC0000000u);  // 3 GiB
  EXPECT_EQ(MemberBytes(huge), 3221225472.0);

  run.TotalBytes = 400;
  bool confirm = true, abort = false;
  run.AbUnZipper1ConfirmProcessItem(run.AbUnZipper1, first, ptExtract, confirm);
  run.AbUnZipper1ArchiveItemProgress(run.AbUnZipper1, first, 25, abort);
  EXPECT_EQ(view.gauge.Progress(), 19);
  EXPECT_EQ(view.captions[TMainControl::InstDirLabel], "first.exe");
  run.AbUnZipper1ConfirmProcessItem(run.AbUnZipper1, second, ptExtract, confirm);
  EXPECT_EQ(run.DoneBytes, 300);
  EXPECT_EQ(run.CurrentItemBytes, 100);
  run.AbUnZipper1ArchiveItemProgress(run.AbUnZipper1, second, 50, abort);
  EXPECT_EQ(view.gauge.Progress(), 88);
  EXPECT_EQ(view.captions[TMainControl::InstDirLabel], "data\\second.dat");
  EXPECT_TRUE(confirm);
  EXPECT_FALSE(abort);
  EXPECT_EQ(view.pumps, 4);
  EXPECT_EQ(view.repaints, 2);

  // Once an abort is asked for, both progress events answer it without pumping.
  run.RequestAbort();
  run.AbUnZipper1ArchiveItemProgress(run.AbUnZipper1, second, 60, abort);
  EXPECT_TRUE(abort);
  bool archive_abort = false;
  run.AbUnZipper1ArchiveProgress(run.AbUnZipper1, 50, archive_abort);
  EXPECT_TRUE(archive_abort);
  EXPECT_EQ(view.pumps, 4);
  EXPECT_EQ(view.gauge.Progress(), 88);
}

TEST(InstallArithmeticTest, FailureTextsByErrorClass) {
  const std::vector<std::tuple<TAbErrorClass, int32_t, std::string>> cases = {
      {ecArchive, 23, "Failed CRC Check"},
      {ecArchive, 987654, ""},  // a code without a message
      {ecInOut, 5, "InOut"},
      {ecFiler, 0, "Filer"},
      {ecFileCreate, 5, "FileCreate"},
      {ecFileOpen, 2, "FileOpen"},
      {ecOther, 0, "Unknown"},
      {static_cast<TAbErrorClass>(5), 0, "Unknown"},
  };
  for (const auto& [error_class, code, text] : cases) {
    EXPECT_EQ(FailureErrorText(error_class, code), text) << error_class << " " << code;
  }
}

}  // namespace
}  // namespace vx
