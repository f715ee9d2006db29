#include "gui/win32/directory_chooser.h"

#include <vector>

#include "gui/win32/dialog_parts.h"
#include "gui/win32/handles.h"
#include "gui/win32/message_box.h"
#include "platform/drives.h"
#include "platform/text.h"

namespace vx::gui {

namespace {

constexpr int kClientWidth = 360;
constexpr int kClientHeight = 272;

struct ChooserState {
  std::string* directory;
  HFONT font;
};

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string TextOf(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

// Lists the current directory's subdirectories, files and the drives, and
// puts the current directory into the edit box.
void ListCurrent(HWND dialog) {
  char pattern[MAX_PATH] = "*.*";
  DlgDirListA(dialog, pattern, kChooserDirList, kChooserPathLabel, DDL_DIRECTORY | DDL_EXCLUSIVE);
  lstrcpyA(pattern, "*.*");
  DlgDirListA(dialog, pattern, kChooserFileList, 0, DDL_READWRITE | DDL_READONLY | DDL_ARCHIVE);
  lstrcpyA(pattern, "*.*");
  DlgDirListComboBoxA(dialog, pattern, kChooserDriveCombo, 0, DDL_DRIVES | DDL_EXCLUSIVE);
  // Select the current drive, listed as "[-c-]".
  const std::string current = CurrentDirectory();
  if (current.size() >= 2 && current[1] == ':') {
    const char letter = AsciiLower(current[0]);
    const std::string drive = std::string("[-") + letter + "-]";
    SendDlgItemMessageA(dialog, kChooserDriveCombo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(drive.c_str()));
  }
  SetDlgItemTextA(dialog, kChooserNameEdit, current.c_str());
}

// Enters the directory selected in the list (single click shows its path,
// double click opens it).
void OnDirectoryList(HWND dialog, int notification) {
  char selected[MAX_PATH] = {};
  if (!DlgDirSelectExA(dialog, selected, sizeof selected, kChooserDirList)) return;
  if (notification == LBN_DBLCLK) {
    if (SetCurrentDirectoryA(selected)) ListCurrent(dialog);
    return;
  }
  char full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameA(selected, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return;
  std::string path(full, length);
  // "name\" names the directory; the box shows it without the separator.
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  SetDlgItemTextA(dialog, kChooserNameEdit, path.c_str());
}

void OnDriveCombo(HWND dialog) {
  char drive[MAX_PATH] = {};
  if (!DlgDirSelectComboBoxExA(dialog, drive, sizeof drive, kChooserDriveCombo)) return;
  // A drive that is not ready keeps the directory shown, without the
  // system's box asking for a disk.
  bool changed = false;
  {
    platform::CriticalErrorsSuppressed quiet;
    changed = SetCurrentDirectoryA(drive) != 0;
  }
  ListCurrent(dialog);
  if (!changed) MessageBeep(MB_ICONEXCLAMATION);
}

// OK: an existing directory is taken; a name that does not exist yet only
// when the user agrees to have it created.
void OnOK(HWND dialog, ChooserState& state) {
  const std::string text = TextOf(GetDlgItem(dialog, kChooserNameEdit));
  if (text.empty()) {
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  const DWORD attributes = GetFileAttributesA(text.c_str());
  const bool is_directory =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!is_directory) {
    TMessageBox question{mkConfirmation, mbYesNo, kNoHelpContext, kChooserCreateQuestion};
    if (ShowModalMessageBox(dialog, question, {}) != mrYes) {
      SetFocus(GetDlgItem(dialog, kChooserNameEdit));
      return;
    }
  }
  *state.directory = text;
  EndDialog(dialog, IDOK);
}

void Layout(HWND dialog, ChooserState& state) {
  SetWindowTextA(dialog, kChooserCaption);
  HFONT font = state.font;
  AddDialogChild(dialog, "STATIC", "Directory &name:", SS_LEFT, 0, -1, 10, 10, 340, 16, font);
  AddDialogChild(dialog, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE,
                 kChooserNameEdit, 10, 28, 340, 22, font);
  AddDialogChild(dialog, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0,
                 kChooserPathLabel, 10, 56, 340, 16, font);
  AddDialogChild(dialog, "STATIC", "&Directories:", SS_LEFT, 0, -1, 10, 76, 165, 16, font);
  AddDialogChild(dialog, "LISTBOX", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                 WS_EX_CLIENTEDGE, kChooserDirList, 10, 94, 165, 120, font);
  AddDialogChild(dialog, "STATIC", "Files:", SS_LEFT, 0, -1, 185, 76, 165, 16, font);
  AddDialogChild(dialog, "LISTBOX", "", LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_VSCROLL | WS_TABSTOP,
                 WS_EX_CLIENTEDGE, kChooserFileList, 185, 94, 165, 120, font);
  AddDialogChild(dialog, "STATIC", "Dri&ves:", SS_LEFT, 0, -1, 10, 222, 165, 16, font);
  AddDialogChild(dialog, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
                 kChooserDriveCombo, 10, 240, 165, 200, font);
  AddDialogChild(dialog, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, IDOK, 195,
                 240, 75, 23, font);
  AddDialogChild(dialog, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL, 275, 240, 75,
                 23, font);

  ListCurrent(dialog);
  // The starting directory as given, also when it does not exist yet.
  SetDlgItemTextA(dialog, kChooserNameEdit, state.directory->c_str());

  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, 0);
  HWND edit = GetDlgItem(dialog, kChooserNameEdit);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
}

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<ChooserState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      Layout(dialog, *reinterpret_cast<ChooserState*>(lparam));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (state == nullptr) break;
      switch (LOWORD(wparam)) {
        case IDOK:
          OnOK(dialog, *state);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kChooserDirList:
          if (HIWORD(wparam) == LBN_SELCHANGE || HIWORD(wparam) == LBN_DBLCLK) {
            OnDirectoryList(dialog, HIWORD(wparam));
          }
          return TRUE;
        case kChooserDriveCombo:
          if (HIWORD(wparam) == CBN_SELCHANGE) OnDriveCombo(dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool ChooseDirectoryDialog(HWND owner, std::string& directory) {
  const UniqueFont font = CreateMessageFont();
  std::string chosen = directory;
  ChooserState state{&chosen,
                     font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))};
  std::vector<WORD> dialog_template = EmptyDialogTemplate();
  const INT_PTR result = DialogBoxIndirectParamA(
      GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialog_template.data()), owner,
      ChooserProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  directory = chosen;
  return true;
}

}  // namespace vx::gui
