// The directory chooser: a modal dialog (class "#32770") with an edit box for
// the directory's full path, the directories and the files of the directory
// shown, the drives, and OK and Cancel. A typed name of a directory that does
// not exist is accepted once the user confirms it is to be created; the
// dialog itself creates nothing. Browsing changes the current directory.
#pragma once

#include <string>

#include "gui/win32/windows_api.h"

namespace vx::gui {

// Control identifiers inside the chooser.
constexpr int kChooserNameEdit = 1152;
constexpr int kChooserFileList = 1120;
constexpr int kChooserDirList = 1121;
constexpr int kChooserDriveCombo = 1137;
constexpr int kChooserPathLabel = 1088;
constexpr const char* kChooserCaption = "Select Directory";
constexpr const char* kChooserCreateQuestion = "The specified directory does not exist. Create it?";

// Opens the chooser owned by `owner` at `directory`. On OK the edit box's
// text goes to `directory` and the result is true; Cancel leaves it alone.
bool ChooseDirectoryDialog(HWND owner, std::string& directory);

}  // namespace vx::gui
