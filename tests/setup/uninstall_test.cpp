#include "setup/uninstall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/zip_test_support.h"
#include "setup/command_line.h"
#include "setup/install_test_support.h"
#include "setup/main_window.h"
#include "setup/scripted_shell.h"
#include "setup/scripted_views.h"
#include "setup/silent_setup.h"

namespace vx {
namespace {

// A machine of files, directories, links and Add/Remove Programs entries.
class FakeUninstallSystem : public TUninstallSystem {
 public:
  std::map<std::string, std::string> files;  // path -> contents
  std::set<std::string> directories;
  std::map<std::string, std::string> links;  // link file -> target
  std::set<std::string> in_use;
  std::set<std::string> unwritable;
  std::map<std::string, std::vector<TEntryValue>> entries;
  std::vector<std::string> after_exit;  // uninstaller, directory

  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool DirectoryExists(const std::string& path) override { return directories.count(path) != 0; }
  bool ReadFile(const std::string& path, std::string& contents) override {
    if (!FileExists(path)) return false;
    contents = files[path];
    return true;
  }
  bool WriteFile(const std::string& path, const std::string& contents) override {
    if (unwritable.count(path) != 0) return false;
    files[path] = contents;
    return true;
  }
  bool CopyFile(const std::string& from, const std::string& to) override {
    return FileExists(from) && WriteFile(to, files[from]);
  }
  bool DeleteFile(const std::string& path) override {
    links.erase(path);
    return files.erase(path) != 0;
  }
  bool RemoveDirectory(const std::string& path) override {
    const std::string inside = path + "\\";
    for (const auto& [file, contents] : files) {
      if (file.rfind(inside, 0) == 0) return false;
    }
    for (const std::string& directory : directories) {
      if (directory.rfind(inside, 0) == 0) return false;
    }
    return directories.erase(path) != 0;
  }
  bool FileInUse(const std::string& path) override { return in_use.count(path) != 0; }
  std::string LinkTarget(const std::string& link) override {
    return links.count(link) != 0 ? links[link] : "";
  }
  bool WriteEntry(const std::string& key, const std::vector<TEntryValue>& values) override {
    entries[key] = values;
    return true;
  }
  std::optional<std::string> ReadEntryString(const std::string& key,
                                             const std::string& name) override {
    if (entries.count(key) == 0) return std::nullopt;
    for (const TEntryValue& value : entries[key]) {
      if (value.Name == name && !value.Dword) return value.Text;
    }
    return std::nullopt;
  }
  bool DeleteEntry(const std::string& key) override {
    entries.erase(key);
    return true;
  }
  std::string Today() override { return "20261209"; }
  bool RemoveAfterExit(const std::string& uninstaller, const std::string& directory) override {
    after_exit = {uninstaller, directory};
    return true;
  }
};

constexpr const char* kDesktopLink = "C:\\Users\\u\\Desktop\\VX.lnk";
constexpr const char* kProgramsLink = "C:\\Users\\u\\Start Menu\\Programs\\VX.lnk";

TInstallOptions Options() {
  TInstallOptions options;
  options.InstTitle = "VESTRIX 1.5";
  options.InstDir = "C:\\VX";
  options.ShortcutTitle = "VX";
  options.ExeName = "vx.exe";
  return options;
}

// An installation of version 1.5: two files at the top, one in docs\, an
// empty data\ directory, both shortcuts; then its uninstaller, record and
// entry as the installation writes them.
struct Installed {
  FakeUninstallSystem system;
  std::vector<std::string> log;

  Installed() {
    system.files["D:\\SETUP.EXE"] = "MZ setup";
    system.directories = {"C:\\VX", "C:\\VX\\docs", "C:\\VX\\data"};
    for (const char* file : {"C:\\VX\\vx.exe", "C:\\VX\\vx.dll", "C:\\VX\\docs\\a.txt"}) {
      system.files[file] = file;
    }
    for (const char* link : {kDesktopLink, kProgramsLink}) {
      system.files[link] = "link";
      system.links[link] = "C:\\VX\\vx.exe";
    }
  }
  std::string Register(const std::vector<TInstalledItem>& items,
                       TInstallOptions options = Options()) {
    return RegisterInstallation(system, "D:\\SETUP.EXE", options, items,
                                {kDesktopLink, kProgramsLink},
                                [this](const std::string& line) { log.push_back(line); });
  }
  static std::vector<TInstalledItem> Version15() {
    return {{"C:\\VX\\vx.exe", false, 2000, 0x11111111},
            {"C:\\VX\\vx.dll", false, 1000, 0x22222222},
            {"C:\\VX\\docs\\a.txt", false, 100, 0x33333333},
            {"C:\\VX\\data", true, 0, 0}};
  }
  TUninstallRecord Record() {
    TUninstallRecord record;
    EXPECT_TRUE(ParseUninstallRecord(system.files["C:\\VX\\Uninstall.dat"], record));
    return record;
  }
};

// A record body sealed with a correct end line, so that only the check of
// its content can refuse it.
std::string Sealed(const std::string& body) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", Crc32Update(0, body.data(), body.size()));
  return body + "End=" + crc + "\r\n";
}

TEST(UninstallRecord, RoundTripsAndRefusesEveryDamage) {
  Installed installed;
  ASSERT_EQ(installed.Register(Installed::Version15()), "");
  const std::string text = installed.system.files["C:\\VX\\Uninstall.dat"];
  TUninstallRecord record = installed.Record();
  EXPECT_EQ(FormatUninstallRecord(record), text);
  EXPECT_EQ(record.Key, "VX");
  EXPECT_EQ(record.Title, "VESTRIX 1.5");
  EXPECT_EQ(record.MainExe, "vx.exe");
  EXPECT_EQ(record.Files.at("DOCS\\A.TXT"), (TRecordedFile{"docs\\a.txt", 100, 0x33333333}));
  EXPECT_EQ(record.Files.size(), 3u);
  std::set<std::string> directories;
  for (const auto& [upper, path] : record.Directories) directories.insert(path);
  EXPECT_EQ(directories, (std::set<std::string>{"", "docs", "data"}));
  EXPECT_EQ(record.Shortcuts.size(), 2u);

  const std::string body = text.substr(0, text.rfind("End="));
  const std::string header = body.substr(0, body.find("\r\n") + 2);
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"a byte changed",
       [&] {
         std::string t = text;
         t[t.find("a.txt")] = 'b';
         return t;
       }()},
      {"cut short", text.substr(0, text.size() / 2)},
      {"no end line", body},
      {"text after the end", text + "File=1 00000000 x\r\n"},
      {"empty", ""},
      {"another header", Sealed("VESTRIX uninstall record, format 2\r\nKey=VX\r\n")},
      {"no key", Sealed(header + "Title=T\r\n")},
      {"unknown line", Sealed(header + "Key=VX\r\nRegistry=HKLM\r\n")},
      {"a file above the directory", Sealed(header + "Key=VX\r\nFile=1 00000000 ..\\x.dll\r\n")},
      {"a file with a drive", Sealed(header + "Key=VX\r\nFile=1 00000000 C:\\x.dll\r\n")},
      {"a rooted directory", Sealed(header + "Key=VX\r\nDirectory=\\Windows\r\n")},
      {"a bad size", Sealed(header + "Key=VX\r\nFile=-1 00000000 x.dll\r\n")},
      {"a bad CRC-32", Sealed(header + "Key=VX\r\nFile=1 0000000G x.dll\r\n")},
      {"a shortcut that is no link", Sealed(header + "Key=VX\r\nShortcut=C:\\boot.ini\r\n")},
  };
  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    TUninstallRecord parsed;
    EXPECT_FALSE(ParseUninstallRecord(bytes, parsed));
  }
  TUninstallRecord minimal;
  EXPECT_TRUE(ParseUninstallRecord(Sealed(header + "Key=VX\r\n"), minimal));
}

TEST(UninstallRegistration, WritesTheUninstallerTheRecordAndTheEntry) {
  Installed installed;
  ASSERT_EQ(installed.Register(Installed::Version15()), "");
  EXPECT_EQ(installed.system.files["C:\\VX\\Uninstall.exe"], "MZ setup");
  const std::string quoted = "\"C:\\VX\\Uninstall.exe\" /UNINSTALL";
  const std::vector<TEntryValue> expected = {
      {"DisplayName", "VESTRIX 1.5", std::nullopt},
      {"DisplayIcon", "C:\\VX\\vx.exe", std::nullopt},
      {"InstallLocation", "C:\\VX", std::nullopt},
      {"InstallDate", "20261209", std::nullopt},
      {"EstimatedSize", "", 4u},  // 3,100 bytes
      {"UninstallString", quoted, std::nullopt},
      {"QuietUninstallString", quoted + " /SILENT", std::nullopt},
      {"NoModify", "", 1u},
      {"NoRepair", "", 1u},
  };
  EXPECT_EQ(installed.system.entries["VX"], expected);
  EXPECT_EQ(installed.system.entries.size(), 1u);

  // The title names the entry when the shortcuts have none, and a trailing
  // backslash of the directory is not part of the location.
  Installed untitled;
  TInstallOptions options = Options();
  options.ShortcutTitle = "";
  options.InstDir = "C:\\VX\\";
  ASSERT_EQ(untitled.Register(Installed::Version15(), options), "");
  ASSERT_EQ(untitled.system.entries.count("VESTRIX 1.5"), 1u);
  EXPECT_EQ(untitled.system.entries["VESTRIX 1.5"][2].Text, "C:\\VX");
  EXPECT_EQ(untitled.Record().Files.size(), 3u);
}

TEST(UninstallRegistration, AReinstallMergesTheRecordAndMovesTheEntry) {
  Installed installed;
  ASSERT_EQ(installed.Register(Installed::Version15()), "");
  // Version 1.6 has no vx.dll, a larger vx.exe, a new file, and a new key.
  TInstallOptions options = Options();
  options.InstTitle = "VESTRIX 1.6";
  options.ShortcutTitle = "VX16";
  ASSERT_EQ(installed.Register({{"C:\\VX\\VX.EXE", false, 3000, 0x44444444},
                                {"C:\\VX\\lib\\new.dll", false, 10, 0x55555555}},
                               options),
            "");
  const TUninstallRecord record = installed.Record();
  EXPECT_EQ(record.Title, "VESTRIX 1.6");
  ASSERT_EQ(record.Files.size(), 4u);
  EXPECT_EQ(record.Files.at("VX.EXE"), (TRecordedFile{"VX.EXE", 3000, 0x44444444}));
  EXPECT_EQ(record.Files.count("VX.DLL"), 1u);
  EXPECT_EQ(record.Directories.count("LIB"), 1u);
  EXPECT_EQ(record.Directories.count("DATA"), 1u);
  EXPECT_EQ(installed.system.entries.count("VX"), 0u);
  ASSERT_EQ(installed.system.entries.count("VX16"), 1u);
  EXPECT_EQ(installed.system.entries["VX16"][0].Text, "VESTRIX 1.6");

  // A damaged earlier record is replaced by the new one.
  installed.system.files["C:\\VX\\Uninstall.dat"] += "x";
  ASSERT_EQ(installed.Register({{"C:\\VX\\vx.exe", false, 1, 1}}), "");
  EXPECT_EQ(installed.Record().Files.size(), 1u);

  // What cannot be written is said, and no entry points to a missing record.
  Installed failing;
  failing.system.unwritable.insert("C:\\VX\\Uninstall.dat");
  EXPECT_EQ(failing.Register(Installed::Version15()),
            "Cannot write the uninstall record C:\\VX\\Uninstall.dat\r\n"
            "VESTRIX 1.5 cannot be removed from Add or Remove Programs.");
  EXPECT_TRUE(failing.system.entries.empty());
}

// The uninstaller in C:\VX after the installation above, with a file and a
// folder of the user's own, run to its exit code.
struct Removal {
  Installed installed;
  FakeUninstallSystem& system = installed.system;
  test::ScriptedSystem setup_system;
  test::ScriptedMessageView boxes;
  std::string log_text;

  Removal() {
    EXPECT_EQ(installed.Register(Installed::Version15()), "");
    system.files["C:\\VX\\docs\\mine.txt"] = "the user's";
    system.directories.insert("C:\\VX\\saves");
    system.files["C:\\VX\\saves\\game1"] = "the user's";
  }
  int32_t Run(bool silent) {
    TMessageService messages(boxes);
    TSetupLog log([this](const std::string& bytes) { log_text += bytes; },
                  [] { return std::string("T"); });
    return RunUninstall(system, setup_system, messages, log, "C:\\VX\\Uninstall.exe", silent);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const TMessageBox& box : boxes.shown) texts.push_back(box.Text);
    return texts;
  }
};

TEST(UninstallRun, EachOutcomeHasItsExitCodeAndRemovesAllOrNothing) {
  const std::string confirm = "Remove VESTRIX 1.5 from C:\\VX?\r\nFiles you added there are kept.";
  struct Case {
    const char* what;
    std::function<void(Removal&)> arrange;
    bool silent;
    int32_t code;
    std::vector<std::string> boxes;
  };
  const std::vector<Case> cases = {
      {"no record",
       [](Removal& r) { r.system.files.erase("C:\\VX\\Uninstall.dat"); },
       false,
       secStartupProblem,
       {"Cannot uninstall: there is no uninstall record C:\\VX\\Uninstall.dat\r\n"
        "Nothing was removed."}},
      {"damaged record",
       [](Removal& r) { r.system.files["C:\\VX\\Uninstall.dat"].insert(50, "x"); },
       true,
       secStartupProblem,
       {"Cannot uninstall: the uninstall record C:\\VX\\Uninstall.dat is damaged\r\n"
        "Nothing was removed."}},
      {"another run holds the directory",
       [](Removal& r) { r.setup_system.held_elsewhere.insert("C:\\VX"); },
       false,
       secFilesInUse,
       {"Another setup or uninstall run is working in C:\\VX\r\nNothing was removed."}},
      {"answered No",
       [](Removal& r) {
         r.boxes.script.push_back({0, mrNo});
       },
       false,
       secCancelled,
       {confirm}},
      {"a file in use",
       [](Removal& r) { r.system.in_use.insert("C:\\VX\\docs\\a.txt"); },
       false,
       secFilesInUse,
       {confirm,
        "Cannot remove VESTRIX 1.5: files in use\r\nC:\\VX\\docs\\a.txt\r\n"
        "Close the programs using them and try again. Nothing was removed."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Removal removal;
    c.arrange(removal);
    const auto files_before = removal.system.files;
    const auto directories_before = removal.system.directories;
    EXPECT_EQ(removal.Run(c.silent), c.code);
    EXPECT_EQ(removal.Texts(), c.boxes);
    EXPECT_EQ(removal.system.files, files_before);
    EXPECT_EQ(removal.system.directories, directories_before);
    EXPECT_EQ(removal.system.entries.size(), 1u);
    EXPECT_TRUE(removal.system.after_exit.empty());
  }
}

TEST(UninstallRun, RemovesWhatTheRecordNamesAndKeepsTheRest) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "with boxes");
    Removal removal;
    // The Programs link now leads elsewhere: it is the user's.
    removal.system.links[kProgramsLink] = "C:\\Other\\other.exe";
    EXPECT_EQ(removal.Run(silent), secInstalled);
    // Silent: no question, and the last message goes to the log.
    std::vector<std::string> boxes = {"VESTRIX 1.5 was removed from C:\\VX"};
    if (!silent) {
      boxes.insert(boxes.begin(),
                   "Remove VESTRIX 1.5 from C:\\VX?\r\nFiles you added there are kept.");
    }
    EXPECT_EQ(removal.Texts(), boxes);
    std::set<std::string> files;
    for (const auto& [path, contents] : removal.system.files) files.insert(path);
    EXPECT_EQ(files, (std::set<std::string>{"D:\\SETUP.EXE", kProgramsLink, "C:\\VX\\Uninstall.exe",
                                            "C:\\VX\\docs\\mine.txt", "C:\\VX\\saves\\game1"}));
    // docs\ holds the user's file; data\ was the product's and is gone.
    EXPECT_EQ(removal.system.directories,
              (std::set<std::string>{"C:\\VX", "C:\\VX\\docs", "C:\\VX\\saves"}));
    EXPECT_TRUE(removal.system.entries.empty());
    EXPECT_EQ(removal.system.after_exit,
              (std::vector<std::string>{"C:\\VX\\Uninstall.exe", "C:\\VX"}));
    EXPECT_NE(removal.log_text.find("T  Shortcut kept, it points to \"C:\\Other\\other.exe\": " +
                                    std::string(kProgramsLink) + "\r\n"),
              std::string::npos)
        << removal.log_text;
  }

  // An entry another installation of the same key has taken over stays.
  Removal moved;
  moved.system.entries["VX"][2].Text = "D:\\Elsewhere";
  EXPECT_EQ(moved.Run(true), secInstalled);
  EXPECT_EQ(moved.system.entries.count("VX"), 1u);
}

// The installation run on a real disk, with the record written to the fake.
class InstallingSystem : public TPlatformSetupSystem {
 public:
  bool DiskFreeBytes(const std::string&, int64_t& bytes) override {
    bytes = int64_t{1} << 32;
    return true;
  }
};

TEST(UninstallRegistration, OnlyACompletedRunWritesWhatItInstalled) {
  for (const bool completes : {true, false}) {
    SCOPED_TRACE(completes ? "completed" : "a member fails");
    test::ShortRoot root;
    InstallingSystem system;
    test::ScriptedMainView view;
    test::ScriptedMessageView boxes;
    TMessageService messages(boxes);
    TForm1 form(view, messages, system);
    test::ScriptedShell shell;
    shell.special_folders[SpecialFolderCsidl(sfDesktop)] = "C:\\Desk";
    shell.special_folders[SpecialFolderCsidl(sfPrograms)] = "C:\\Progs";
    FakeUninstallSystem uninstall;
    uninstall.files[system.ProgramFileName()] = "MZ";
    TInstallOptions& options = form.InstallOptions;
    options = Options();
    options.InstDir = root.Path() + "VX";
    options.ZipPath = root.Path() + "prod.zip";
    shell.files.insert(options.InstDir + "\\vx.exe");
    form.InstallRun.Shell = &shell;
    form.InstallRun.Uninstall = &uninstall;
    test::TestMember data{"data/units.dat", "units", 0};
    if (!completes) data.stored_crc = 1;
    test::WriteFile(root.Host("prod.zip"),
                    test::BuildZip({{"vx.exe", std::string(300, 'x')}, {"empty/", ""}, data}));

    form.InstallBtnClick();
    const std::string record_file = options.InstDir + "\\Uninstall.dat";
    if (!completes) {
      EXPECT_EQ(uninstall.files.count(record_file), 0u);
      EXPECT_TRUE(uninstall.entries.empty());
      continue;
    }
    EXPECT_EQ(boxes.shown.back().Text, "Installation of VESTRIX 1.5 is complete");
    EXPECT_EQ(uninstall.files[options.InstDir + "\\Uninstall.exe"], "MZ");
    TUninstallRecord record;
    ASSERT_TRUE(ParseUninstallRecord(uninstall.files[record_file], record));
    ASSERT_EQ(record.Files.size(), 2u);
    EXPECT_EQ(record.Files.at("VX.EXE"),
              (TRecordedFile{"vx.exe", 300, Crc32Update(0, std::string(300, 'x').data(), 300)}));
    EXPECT_EQ(record.Files.at("DATA\\UNITS.DAT").Size, 5);
    std::set<std::string> directories;
    for (const auto& [upper, path] : record.Directories) directories.insert(path);
    EXPECT_EQ(directories, (std::set<std::string>{"", "data", "empty"}));
    std::set<std::string> shortcuts;
    for (const auto& [upper, path] : record.Shortcuts) shortcuts.insert(path);
    EXPECT_EQ(shortcuts, (std::set<std::string>{"C:\\Desk\\VX.lnk", "C:\\Progs\\VX.lnk"}));
    EXPECT_EQ(uninstall.entries.count("VX"), 1u);
  }
}

TEST(UninstallCommandLine, IsASwitchOfItsOwn) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"/UNINSTALL"}, ""},
      {{"/uninstall", "/SILENT", "/LOG=x.txt"}, ""},
      {{"/UNINSTALL", "/UNINSTALL"}, "Switch given twice: /UNINSTALL"},
      {{"/UNINSTALL=yes"}, "The switch takes no value: /UNINSTALL=yes"},
      {{"/UNINSTALL", "/DIR=C:\\X"}, "/UNINSTALL cannot be combined with /DIR"},
      {{"/DIAG=r.txt", "/UNINSTALL"}, "/UNINSTALL cannot be combined with /DIAG"},
  };
  for (const auto& [arguments, error] : cases) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    TSetupCommandLine line;
    std::string problem;
    EXPECT_EQ(ParseSetupCommandLine(arguments, line, problem), error.empty());
    EXPECT_EQ(problem, error);
    if (error.empty()) {
      EXPECT_TRUE(line.Uninstall && !line.Empty());
    }
  }
  EXPECT_NE(SetupSwitchesText().find("/UNINSTALL"), std::string::npos);
}

}  // namespace
}  // namespace vx
