#include "setup/install_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/disk_prompt.h"
#include "archive/unzipper.h"
#include "archive/zip_test_support.h"
#include "e2e/directory_snapshot.h"
#include "platform/files.h"
#include "setup/install_test_support.h"
#include "setup/main_window.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMiB = 1048576;
const std::string kExe(300, 'x');

// The process "dies" here: nothing after it runs but the unwinding.
struct Crash {};

// Copies a tree with its files' write times and read-only bits.
void CopyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / fs::relative(entry.path(), from);
    if (entry.is_directory()) {
      fs::create_directories(target);
      continue;
    }
    const fs::perms perms = fs::status(entry.path()).permissions();
    fs::copy_file(entry.path(), target);
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    fs::last_write_time(target, fs::last_write_time(entry.path()));
    fs::permissions(target, perms);
  }
}

void RemoveTree(const fs::path& root) {
  std::error_code ignored;
  if (!fs::exists(root, ignored)) return;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(root);
}

class InstallJournalTest : public testing::Test {
 public:
  std::string Dir() const { return root.Path() + "VX"; }
  fs::path HostDir() const { return root.Host("VX"); }
  test::DirectorySnapshot Snapshot() const { return test::DirectorySnapshot::Take(HostDir()); }

  // An installation as a user has it: an old program (read-only, dated
  // years ago), an old data file, a file and a folder of the user's own.
  void WriteOldInstallation() {
    fs::create_directories(HostDir() / "data");
    fs::create_directories(HostDir() / "saves");
    test::WriteFile(root.Host("VX\\vestrix.exe"), std::string("old program"));
    test::WriteFile(root.Host("VX\\data\\units.dat"), std::string("old units"));
    test::WriteFile(root.Host("VX\\mine.txt"), std::string("the user's notes"));
    fs::last_write_time(HostDir() / "mine.txt", old_time + std::chrono::hours(5));
    fs::last_write_time(HostDir() / "vestrix.exe", old_time);
    fs::last_write_time(HostDir() / "data" / "units.dat", old_time);
    ASSERT_TRUE(platform::SetFileAttributes(Dir() + "\\vestrix.exe", platform::kAttrReadOnly));
  }
  // The new version: replaces two files, adds files in new folders, one of
  // them read-only.
  void WriteNewArchive() {
    test::TestMember readme{"readme.txt", "read me"};
    readme.external_attributes = 0x21;
    test::WriteFile(root.Host("prod.zip"),
                    test::BuildZip({{"vestrix.exe", kExe},
                                    {"data/units.dat", std::string(100, 'u'), 8},
                                    {"docs/CHANGES", "1.5: first"},
                                    {"new/deep/x.txt", "deep"},
                                    readme}));
  }

  // One extraction under a journal kept in its file, as the installation run
  // keeps it. At record `crash_at` (from 1; 0 never) the process dies: with
  // `written`, just after that record reached the file, otherwise just
  // before. The tree as it was at that moment is what the test leaves on
  // disk. Returns the number of records the run asked to write.
  int RunJournalled(int crash_at, bool written) {
    const bool created = !platform::DirectoryExists(Dir());
    if (created) {
      EXPECT_TRUE(platform::CreateDirectory(Dir()));
    }
    const fs::path frozen = root.Host("VX.frozen");
    bool crashed = false;
    int count = 0;
    {
      std::ofstream file(root.Host("VX\\~vxsetup.jnl"), std::ios::binary);
      auto die = [&] {
        file.flush();
        CopyTree(HostDir(), frozen);
        crashed = true;
        throw Crash{};
      };
      auto sink = [&](const std::string& line) {
        if (crashed) throw Crash{};
        ++count;
        if (count == crash_at && !written) die();
        file << line;
        file.flush();
        if (count == crash_at) die();
      };
      try {
        TInstallJournal journal(Dir(), sink, created);
        TAbUnZipper unzipper(RefuseEveryDisk());
        unzipper.SetOutputPlacement(journal);
        unzipper.SetBaseDirectory(Dir());
        unzipper.SetFileName(root.Path() + "prod.zip");
        unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
        unzipper.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
          const uint32_t attributes = platform::GetFileAttributes(name);
          if ((attributes & platform::kAttrReadOnly) != 0) {
            journal.AttributesChanging(name, attributes);
            platform::SetFileAttributes(name, attributes & ~platform::kAttrReadOnly);
          }
          confirm = true;
        };
        unzipper.OnProcessItemFailure = [&](TAbUnZipper&, TAbArchiveItem& item, TAbProcessType,
                                            TAbErrorClass, int32_t) {
          if (crashed) throw Crash{};
          ADD_FAILURE() << "member failed: " << item.FileName();
        };
        unzipper.ExtractFiles("*.*");
        unzipper.CloseArchive();
        journal.Commit();
      } catch (const Crash&) {
      }
    }
    // A completed journal's file goes last, as the run's own does.
    if (!crashed) fs::remove(root.Host("VX\\~vxsetup.jnl"));
    if (crashed) {
      RemoveTree(HostDir());
      fs::rename(frozen, HostDir());
    }
    return count;
  }

  test::ShortRoot root;
  // Years ago, to the second.
  const fs::file_time_type old_time = std::chrono::time_point_cast<std::chrono::seconds>(
      fs::file_time_type::clock::now() - std::chrono::hours(24 * 900));
};

// A crash between any two steps of a run (or of its completion) is undone
// by the next start, which leaves the directory as the run found it, or as
// the completed run left it once the completion was recorded. So is a
// rollback that was itself interrupted half-way.
TEST_F(InstallJournalTest, ACrashAtEveryStepIsUndoneByTheNextStart) {
  struct Scenario {
    const char* what;
    bool reinstall;
  };
  for (const Scenario scenario : {Scenario{"first install", false}, Scenario{"reinstall", true}}) {
    SCOPED_TRACE(scenario.what);
    auto arrange = [&] {
      RemoveTree(HostDir());
      if (scenario.reinstall) WriteOldInstallation();
    };
    WriteNewArchive();
    arrange();
    const test::DirectorySnapshot before = Snapshot();
    const int records = RunJournalled(0, false);
    const test::DirectorySnapshot completed = Snapshot();
    ASSERT_GE(records, 8);
    // The completed run: the new files, the user's own kept, nothing of ours.
    EXPECT_EQ(test::ReadFile(root.Host("VX\\vestrix.exe")), kExe);
    EXPECT_EQ(completed.entries.count("docs/CHANGES"), 1u);
    EXPECT_EQ(completed.entries.count("mine.txt"), scenario.reinstall ? 1u : 0u);
    for (const auto& [name, entry] : completed.entries) {
      EXPECT_EQ(name.find("~vx"), std::string::npos) << name;
    }

    for (int crash_at = 1; crash_at <= records; ++crash_at) {
      for (const bool written : {false, true}) {
        for (const bool interrupted_rollback : {false, true}) {
          SCOPED_TRACE("crash at record " + std::to_string(crash_at) +
                       (written ? " (written)" : " (not written)") +
                       (interrupted_rollback ? ", rollback interrupted" : ""));
          arrange();
          RunJournalled(crash_at, written);
          if (interrupted_rollback) {
            // A rollback that undid the last half of the journal and died.
            const std::vector<TJournalRecord> left =
                ParseInstallJournal(*test::ReadFile(root.Host("VX\\~vxsetup.jnl")));
            const std::vector<TJournalRecord> last_half(left.begin() + left.size() / 2, left.end());
            ReplayInstallJournal(last_half, Dir(), "");
          }
          TRollbackCounts counts;
          ASSERT_TRUE(RecoverInstallJournal(Dir(), counts));
          EXPECT_EQ(counts.failed, 0);
          test::DirectorySnapshot expected = before;
          if (crash_at == records && written) {
            expected = completed;  // the completion was recorded
          } else if (!scenario.reinstall && crash_at == 1 && !written) {
            // Killed between making the directory and noting it.
            expected.exists = true;
          }
          const test::DirectorySnapshot after = Snapshot();
          EXPECT_EQ(after, expected) << after.DifferencesFrom(expected);
        }
      }
    }
  }
}

// The installation run over an existing installation: whatever stops it,
// the directory is as it was, and only a completed run makes shortcuts.
class UndoRunTest : public InstallJournalTest {
 public:
  class View : public test::ScriptedMainView {
   public:
    std::function<void()> on_pump;
    void ProcessMessages() override {
      ScriptedMainView::ProcessMessages();
      if (on_pump) on_pump();
    }
  };

  UndoRunTest() {
    TInstallOptions& options = form.InstallOptions;
    options.InstTitle = "VESTRIX 1.5";
    options.InstDir = Dir();
    options.ShortcutTitle = "VESTRIX";
    options.ZipPath = root.Path() + "prod.zip";
    options.ExeName = "vestrix.exe";
    shell.special_folders[SpecialFolderCsidl(sfDesktop)] = "C:\\Desk";
    shell.special_folders[SpecialFolderCsidl(sfPrograms)] = "C:\\Progs";
    shell.files.insert(Dir() + "\\vestrix.exe");
    form.InstallRun.Shell = &shell;
    form.InstallRun.OnLog = [this](const std::string& line) { log += line + "\n"; };
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const TMessageBox& box : messages_view.shown) texts.push_back(box.Text);
    return texts;
  }

  test::DiskSystem system;
  View view;
  test::ScriptedMessageView messages_view;
  TMessageService messages{messages_view};
  TForm1 form{view, messages, system};
  test::ScriptedShell shell;
  std::string log;
};

TEST_F(UndoRunTest, ARunThatDoesNotCompleteLeavesTheInstallationAsItWas) {
  const std::string big(4 * kMiB, 'b');
  const std::string not_complete = "Install of VESTRIX 1.5 is NOT complete";
  // A fresh program for each case.
  struct Program {
    View view;
    test::ScriptedMessageView boxes;
    TMessageService messages{boxes};
    std::unique_ptr<TForm1> form;
  };
  struct Case {
    const char* what;
    std::function<void(UndoRunTest&, Program&)> arrange;
    TInstallOutcome outcome;
    std::vector<std::string> boxes;  // the first boxes' texts, from the start of each
  };
  const std::vector<Case> cases = {
      {"a late member fails",
       [](UndoRunTest& t, Program&) {
         test::TestMember bad{"docs/CHANGES", "1.5: first", 8};
         bad.stored_crc = 0x12345678;
         test::WriteFile(
             t.root.Host("prod.zip"),
             test::BuildZip(
                 {{"vestrix.exe", kExe}, {"data/units.dat", std::string(100, 'u')}, bad}));
       },
       TInstallOutcome::MemberFailed,
       {"Cannot extract docs/CHANGES", not_complete + "\r\nbut will be terminated",
        "If you try to install again"}},
      {"Quit during a large member",
       [&big](UndoRunTest& t, Program& p) {
         test::WriteFile(t.root.Host("prod.zip"),
                         test::BuildZip({{"vestrix.exe", kExe}, {"big.dat", big, 8}, {"z", "z"}}));
         p.view.on_pump = [&p] {
           if (p.view.captions[TMainControl::InstDirLabel] == "big.dat" &&
               !p.form->InstallRun.AbortRequested()) {
             p.form->QuitBtnClick();
           }
         };
       },
       TInstallOutcome::Cancelled,
       {not_complete}},
      // "Quit" handled once the last member is written, before the run goes
      // on to the shortcuts.
      {"Quit as the last member finishes",
       [](UndoRunTest& t, Program& p) {
         t.WriteNewArchive();
         const std::string last = t.root.Host("VX\\readme.txt");
         p.view.on_pump = [&p, last] {
           if (fs::exists(last) && !p.form->InstallRun.AbortRequested()) p.form->QuitBtnClick();
         };
       },
       TInstallOutcome::Cancelled,
       {not_complete}},
      // Never written over the journal that would undo it.
      {"a member named as the journal",
       [](UndoRunTest& t, Program&) {
         test::WriteFile(t.root.Host("prod.zip"),
                         test::BuildZip({{"vestrix.exe", kExe}, {"~VXSETUP.JNL", "forged"}}));
       },
       TInstallOutcome::MemberFailed,
       {"Cannot extract ~VXSETUP.JNL"}},
      {"the main executable is missing",
       [](UndoRunTest& t, Program& p) {
         t.WriteNewArchive();
         p.form->InstallOptions.ExeName = "kelda.exe";
       },
       TInstallOutcome::MainExeMissing,
       {"Problem: file \""}},
      {"another run holds the directory",
       [](UndoRunTest& t, Program&) {
         t.WriteNewArchive();
         t.system.held_elsewhere.insert(t.Dir());
       },
       TInstallOutcome::DirectoryHeld,
       {"Another setup run is working in " + Dir() + "\r\n"}},
  };
  for (const bool reinstall : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (reinstall ? ", reinstall" : ", first install"));
      RemoveTree(HostDir());
      if (reinstall) WriteOldInstallation();
      system.held_elsewhere.clear();
      shell.calls.clear();
      log.clear();
      Program program;
      program.form = std::make_unique<TForm1>(program.view, program.messages, system);
      TForm1& run = *program.form;
      run.InstallOptions = form.InstallOptions;
      run.InstallRun.Shell = &shell;
      run.InstallRun.OnLog = form.InstallRun.OnLog;
      c.arrange(*this, program);
      const test::DirectorySnapshot before = Snapshot();
      run.InstallBtnClick();

      EXPECT_EQ(run.InstallRun.Outcome(), c.outcome);
      const test::DirectorySnapshot after = Snapshot();
      EXPECT_EQ(after, before) << after.DifferencesFrom(before) << log;
      EXPECT_TRUE(shell.calls.empty());
      EXPECT_TRUE(program.messages.EndRequested());
      ASSERT_GE(program.boxes.shown.size(), c.boxes.size());
      for (size_t i = 0; i < c.boxes.size(); ++i) {
        EXPECT_EQ(program.boxes.shown[i].Text.rfind(c.boxes[i], 0), 0u)
            << program.boxes.shown[i].Text;
      }
      if (c.outcome != TInstallOutcome::DirectoryHeld) {
        EXPECT_NE(log.find("Rolled back: "), std::string::npos) << log;
        EXPECT_EQ(log.find("Rolled back: 0 files restored") == std::string::npos, reinstall) << log;
      }
    }
  }
}

TEST_F(UndoRunTest, ACompletedReinstallKeepsTheUsersFilesAndLeavesNothingOfItsOwn) {
  WriteOldInstallation();
  WriteNewArchive();
  form.InstallBtnClick();

  EXPECT_EQ(form.InstallRun.Outcome(), TInstallOutcome::Installed);
  const test::DirectorySnapshot after = Snapshot();
  EXPECT_EQ(test::ReadFile(root.Host("VX\\vestrix.exe")), kExe);
  EXPECT_EQ(test::ReadFile(root.Host("VX\\mine.txt")), "the user's notes");
  EXPECT_EQ(after.entries.count("saves"), 1u);
  for (const auto& [name, entry] : after.entries) {
    EXPECT_EQ(name.find("~vx"), std::string::npos) << name;
  }
  EXPECT_EQ(shell.calls.empty(), false);
}

// The start-up undoes what a killed run left, and refuses a directory that
// another run holds without touching it.
TEST_F(UndoRunTest, TheStartUpUndoesAKilledRunUnlessAnotherRunHoldsTheDirectory) {
  WriteOldInstallation();
  WriteNewArchive();
  const test::DirectorySnapshot before = Snapshot();
  RunJournalled(9, true);  // killed in the middle
  const test::DirectorySnapshot killed = Snapshot();
  ASSERT_NE(killed, before);

  std::vector<std::string> lines;
  auto log_line = [&lines](const std::string& line) { lines.push_back(line); };
  system.held_elsewhere.insert(Dir());
  EXPECT_EQ(RecoverInstallDirectory(system, messages, Dir(), log_line), TDirectoryRecovery::Held);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{DirectoryHeldText(Dir())});
  EXPECT_EQ(Snapshot(), killed);

  system.held_elsewhere.clear();
  EXPECT_EQ(RecoverInstallDirectory(system, messages, Dir(), log_line),
            TDirectoryRecovery::Recovered);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0].rfind(
          "An interrupted installation in " + Dir() + " was found and undone. Rolled back: ", 0),
      0u)
      << lines[0];
  EXPECT_EQ(Snapshot(), before) << Snapshot().DifferencesFrom(before);
  EXPECT_EQ(RecoverInstallDirectory(system, messages, Dir(), log_line), TDirectoryRecovery::Clean);
}

}  // namespace
}  // namespace vx
