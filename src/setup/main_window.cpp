#include "setup/main_window.h"

#include "setup/install_dir_rules.h"
#include "setup/startup_rules.h"
#include "ui/program.h"

namespace vx {

namespace {

constexpr const char* kSettingsSection = "Settings";

}  // namespace

std::optional<std::string> TSetupPackage::Load() {
  exe_path_ = system_.ProgramFileName();
  InstallOptions.ExeDir = ExtractFilePath(exe_path_);
  system_.SetCurrentDirectory(InstallOptions.ExeDir);
  // Keep no directory of the program's medium busy while it runs.
  if (system_.DirectoryExists("C:\\")) system_.SetCurrentDirectory("C:\\");

  ReadSettings();

  const std::string readme = ChangeFileExt(exe_path_, ".TXT");
  if (!system_.FileExists(readme)) {
    FatalError("Could not find file " + readme);
    return std::nullopt;
  }
  try {
    return system_.ReadFile(readme);
  } catch (const Exception& error) {
    messages_.Show(mkError, mbOK, kNoHelpContext, error.Message());
  }
  return std::nullopt;
}

void TForm1::FormCreate() {
  const std::string menu_font = system_.MenuFontName();
  if (!menu_font.empty()) view_.SetFontName(menu_font);
  const std::optional<std::string> readme = Load();
  view_.SetTitle("Install " + InstallOptions.InstTitle);
  if (readme) view_.SetMemoText(MemoText(*readme));
  ShowSpaceInfo();
}

void TSetupPackage::ReadSettings() {
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

void TSetupPackage::FatalError(const std::string& problem) {
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

void TForm1::RunningChanged(bool running) {
  // The buttons that would start a second run or change its directory, and
  // the diagnostics, which would run its long report nested in the
  // extraction. "Quit" and "Help" stay usable.
  for (TMainControl control :
       {TMainControl::InstallBtn, TMainControl::ChangeDirBtn, TMainControl::Button1}) {
    view_.SetEnabled(control, !running);
  }
}

void TForm1::SpaceNeeded(int32_t disk_needed_mb) {
  InstallOptions.DiskNeededMB = disk_needed_mb;
}

void TForm1::ExtractionStarted() {
  view_.Gauge1().SetProgress(0);
  view_.SetVisible(TMainControl::Gauge1, true);
  view_.SetCaption(TMainControl::SpaceNeededLabel, "Installing...please wait");
  view_.SetFontColor(TMainControl::SpaceNeededLabel, clGreen);
  view_.SetFontSize(TMainControl::SpaceNeededLabel,
                    view_.FontSize(TMainControl::InstDirLabel) / 2 * 3);
  last_pump_.reset();
  last_paint_.reset();
  progress_pending_ = false;
}

void TForm1::Progress(int32_t percent, const std::string& member) {
  // Every event is kept; the controls take it when the window next gets to
  // show something, so a run of small members costs no label text each.
  shown_percent_ = percent;
  shown_member_ = member;
  progress_pending_ = true;
  const bool pump = Due(last_pump_);
  const bool paint = Due(last_paint_);
  if (pump || paint) ShowProgress();
  if (pump) view_.ProcessMessages();
  if (paint) view_.Repaint();
}

void TForm1::ShowProgress() {
  if (!progress_pending_) return;
  progress_pending_ = false;
  view_.Gauge1().SetProgress(shown_percent_);
  view_.SetCaption(TMainControl::InstDirLabel, shown_member_);
}

void TForm1::ProcessMessages() {
  if (Due(last_pump_)) view_.ProcessMessages();
}

void TForm1::ShowNow() {
  ShowProgress();
  view_.Repaint();
  last_paint_ = view_.Milliseconds();
}

void TForm1::ExtractionEnded() {
  ShowSpaceInfo();
}

bool TForm1::Due(std::optional<uint32_t>& last) {
  const uint32_t now = view_.Milliseconds();
  if (last && now - *last < kProgressIntervalMs) return false;
  last = now;
  return true;
}

void TForm1::HelpBtnClick() {
  messages_.Help(kHelpIndex, 0);
}

void TForm1::Button1Click() {
  // Not during an extraction: the window would open inside a progress event.
  if (!OnShowDiagnostics || Extracting()) return;
  OnShowDiagnostics(kProgramName, "", "", ChangeFileExt(system_.ProgramFileName(), ".INI"),
                    kProgramVersion);
}

}  // namespace vx
