#include "setup/main_window.h"

#include <cctype>

#include "setup/install_dir_rules.h"
#include "setup/startup_rules.h"

namespace vx {

namespace {

constexpr const char* kSettingsSection = "Settings";

}  // namespace

int32_t DiskFreeMB(TSetupSystem& system, char drive) {
  std::string root;
  if (drive != ' ') {
    root =
        std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive)))) + ":\\";
  }
  int64_t free_bytes = -1;
  if (!system.DiskFreeBytes(root, free_bytes) || free_bytes < 0) return -1;
  return BytesToMB(free_bytes);
}

void TForm1::FormCreate() {
  const std::string menu_font = system_.MenuFontName();
  if (!menu_font.empty()) view_.SetFontName(menu_font);
  InstallOptions.AbortRequested = false;

  exe_path_ = system_.ProgramFileName();
  InstallOptions.ExeDir = ExtractFilePath(exe_path_);
  system_.SetCurrentDirectory(InstallOptions.ExeDir);
  // Keep no directory of the program's medium busy while it runs.
  if (system_.DirectoryExists("C:\\")) system_.SetCurrentDirectory("C:\\");

  ReadSettings();

  view_.SetTitle("Install " + InstallOptions.InstTitle);

  const std::string readme = ChangeFileExt(exe_path_, ".TXT");
  if (!system_.FileExists(readme)) {
    FatalError("Could not find file " + readme);
  } else {
    try {
      view_.SetMemoText(MemoText(system_.ReadFile(readme)));
    } catch (const Exception& error) {
      messages_.Show(mkError, mbOK, kNoHelpContext, error.Message());
    }
  }

  ShowSpaceInfo();
}

void TForm1::ReadSettings() {
  help_file_ = ChangeFileExt(exe_path_, ".chm");
  if (!system_.FileExists(help_file_)) FatalError("Could not find file " + help_file_);

  settings_file_ = ChangeFileExt(exe_path_, ".INI");
  if (!system_.FileExists(settings_file_)) FatalError("Could not find file " + settings_file_);

  auto read = [this](const char* key) {
    return system_.ReadProfileString(kSettingsSection, key, "", settings_file_);
  };
  InstallOptions.InstTitle = read("InstTitle");
  InstallOptions.InstDir = read("InstDir");
  InstallOptions.DiskNeededMB = ParseDiskNeededMB(read("DiskNeededMB"));
  InstallOptions.ShortcutTitle = read("shortcuttitle");
  const std::string zip_name = read("zipname");
  InstallOptions.ExeName = read("exename");

  const std::string in_file = " setting in file " + settings_file_;
  if (InstallOptions.InstTitle.empty()) FatalError("No InstTitle" + in_file);
  if (InstallOptions.InstDir.empty()) FatalError("No InstDir" + in_file);
  if (InstallOptions.DiskNeededMB == -1) FatalError("No DiskNeededMB" + in_file);
  if (InstallOptions.ExeName.empty()) FatalError("No exename" + in_file);
  if (zip_name.empty()) FatalError("No zipname" + in_file);

  InstallOptions.ZipPath = ReduceBackslashes(InstallOptions.ExeDir + "\\" + zip_name);
  if (!system_.FileExists(InstallOptions.ZipPath)) {
    FatalError("Could not find file " + InstallOptions.ZipPath);
  }
}

void TForm1::FatalError(const std::string& problem) {
  messages_.Show(mkError, mbOKHelp, kFatalErrorHelpContext, FatalErrorText(problem));
  messages_.RequestEnd();
}

void TForm1::ShowSpaceInfo() {
  // Only reached with an empty InstDir on the way out after a fatal error.
  if (InstallOptions.InstDir.empty()) return;
  const char drive = InstallOptions.InstDir[0];
  InstallOptions.FreeMB = DiskFreeMB(system_, drive);
  view_.SetVisible(TMainControl::Gauge1, false);
  view_.SetCaption(TMainControl::InstDirLabel, InstDirCaption(InstallOptions.InstDir));
  view_.SetFontSize(TMainControl::SpaceNeededLabel, view_.FontSize(TMainControl::InstDirLabel));
  view_.SetFontColor(TMainControl::SpaceNeededLabel,
                     InstallOptions.DiskNeededMB > InstallOptions.FreeMB ? clRed : clBlack);
  view_.SetCaption(TMainControl::SpaceNeededLabel,
                   SpaceNeededCaption(InstallOptions.DiskNeededMB, drive, InstallOptions.FreeMB));
}

void TForm1::ChangeDirBtnClick() {
  // The directory of a run under way stays as it is.
  if (Extracting()) return;
  std::string path = InstallOptions.InstDir;
  if (system_.DirectoryExists(path)) system_.SetCurrentDirectory(path);
  if (!view_.ChooseDirectory(path)) return;
  if (!ValidInstallDir(path, system_, messages_)) return;
  if (!system_.DirectoryExists(path) && !system_.CreateDirectory(path)) {
    messages_.Show(mkError, mbOK, kNoHelpContext, CannotCreateDirText(path));
    return;
  }
  InstallOptions.InstDir = path;
  ShowSpaceInfo();
}

void TForm1::HelpBtnClick() {
  messages_.Help(kHelpIndex, 0);
}

void TForm1::Button1Click() {
  // Not during an extraction: the window would open inside a progress event.
  if (!OnShowDiagnostics || Extracting()) return;
  OnShowDiagnostics("Setup", "", "", ChangeFileExt(system_.ProgramFileName(), ".INI"), 1.5f);
}

}  // namespace vx
