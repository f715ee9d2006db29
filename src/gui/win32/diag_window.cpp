#include "gui/win32/diag_window.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <utility>
#include <vector>

#include "gui/win32/message_box.h"
#include "platform/exception.h"
#include "platform/files.h"

namespace vx::gui {

namespace {

constexpr UINT kActivateMessage = WM_APP + 1;  // activation, handled once it is complete
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerInterval = 100;
constexpr int32_t kDesignFontHeight = 13;  // Arial, in pixels at 96 pixels per inch
constexpr int32_t kGlyphSize = 16;
constexpr int32_t kGlyphGap = 4;

struct ControlSpec {
  TDiagControl control;
  const char* window_class;
  const char* text;
  DWORD style;
  DWORD ex_style;
  int32_t left, top, width, height;  // at 96 pixels per inch; Label1 inside Panel1
};

// In tab order (the dialog manager moves the focus in creation order):
// OK, Save, the memo, Copy.
constexpr ControlSpec kControls[] = {
    {TDiagControl::Panel1, "STATIC", "", SS_ETCHEDFRAME, 0, 5, 4, 529, 96},
    {TDiagControl::Label1, "STATIC", "Label1", SS_LEFT | SS_NOPREFIX, 0, 8, 8, 512, 78},
    {TDiagControl::OKButton, "BUTTON", "OK", BS_OWNERDRAW | WS_TABSTOP | WS_GROUP, 0, 5, 440, 70,
     27},
    {TDiagControl::SaveBtn, "BUTTON", "&Save", BS_OWNERDRAW | WS_TABSTOP, 0, 155, 440, 70, 27},
    {TDiagControl::Memo1, "EDIT", "",
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
         WS_TABSTOP,
     WS_EX_CLIENTEDGE, 5, 107, 529, 328},
    {TDiagControl::CopyBtn, "BUTTON", "&Copy", BS_OWNERDRAW | WS_TABSTOP, 0, 80, 440, 70, 27},
};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// The buttons' glyphs, 16 x 16, one letter per pixel: '.' lets the button
// face show through.
using Glyph = const char* const[kGlyphSize];

constexpr Glyph kOKGlyph = {
    "................", "................", "................", "............GG..",
    "...........GGG..", "..........GGGG..", ".........GGGG...", "..GG....GGGG....",
    "..GGG..GGGG.....", "..GGGGGGGG......", "...GGGGGG.......", "....GGGG........",
    ".....GG.........", "................", "................", "................",
};

constexpr Glyph kCopyGlyph = {
    "KKKKKKKK........", "KWWWWWWK........", "KWBBBBWK........", "KWWWWWWK........",
    "KWBBBKKKKKKKK...", "KWWWWKWWWWWWK...", "KWBBBKWBBBBWK...", "KWWWWKWWWWWWK...",
    "KWBBBKWBBBBBK...", "KKKKKKWWWWWWK...", ".....KWBBBBWK...", ".....KWWWWWWK...",
    ".....KWBBBBBK...", ".....KWWWWWWK...", ".....KKKKKKKK...", "................",
};

constexpr Glyph kSaveGlyph = {
    "................", ".KKKKKKKKKKKKKK.", ".KNNSSSSSSSSNNK.", ".KNNSSSSSYYSNNK.",
    ".KNNSSSSSYYSNNK.", ".KNNSSSSSSSSNNK.", ".KNNNNNNNNNNNNK.", ".KNNNNNNNNNNNNK.",
    ".KNNWWWWWWWWNNK.", ".KNNWKKKKKKWNNK.", ".KNNWWWWWWWWNNK.", ".KNNWKKKKKKWNNK.",
    ".KNNWWWWWWWWNNK.", ".KNNWWWWWWWWNNK.", ".KKKKKKKKKKKKKK.", "................",
};

COLORREF GlyphColor(char letter) {
  switch (letter) {
    case 'K':
      return RGB(0, 0, 0);
    case 'W':
      return RGB(255, 255, 255);
    case 'G':
      return RGB(0, 128, 0);
    case 'N':
      return RGB(0, 0, 128);
    case 'B':
      return RGB(0, 0, 255);
    case 'S':
      return RGB(192, 192, 192);
    default:
      return RGB(128, 128, 128);
  }
}

const Glyph* GlyphOf(TDiagControl control) {
  switch (control) {
    case TDiagControl::OKButton:
      return &kOKGlyph;
    case TDiagControl::CopyBtn:
      return &kCopyGlyph;
    case TDiagControl::SaveBtn:
      return &kSaveGlyph;
    default:
      return nullptr;
  }
}

// Draws the glyph with its top left at (x, y), each pixel `unit` screen
// pixels wide. The disabled state is the glyph's shape embossed in the
// system's highlight and shadow colours.
void DrawGlyph(HDC dc, const Glyph& glyph, int32_t x, int32_t y, int32_t unit, bool enabled) {
  auto paint = [&](int32_t offset, bool use_glyph_colors, COLORREF flat) {
    // One brush per colour, made when the colour first occurs.
    std::map<COLORREF, UniqueBrush> brushes;
    for (int32_t row = 0; row < kGlyphSize; ++row) {
      for (int32_t column = 0; column < kGlyphSize; ++column) {
        const char letter = glyph[row][column];
        if (letter == '.') continue;
        const COLORREF color = use_glyph_colors ? GlyphColor(letter) : flat;
        UniqueBrush& brush = brushes[color];
        if (!brush) brush.reset(CreateSolidBrush(color));
        RECT cell{x + column * unit + offset, y + row * unit + offset,
                  x + (column + 1) * unit + offset, y + (row + 1) * unit + offset};
        FillRect(dc, &cell, brush.get());
      }
    }
  };
  if (enabled) {
    paint(0, true, 0);
  } else {
    paint(unit, false, GetSysColor(COLOR_BTNHIGHLIGHT));
    paint(0, false, GetSysColor(COLOR_BTNSHADOW));
  }
}

// A dialog template naming our window class, with no controls: they are
// placed in pixels once the window exists.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
  dialog->style = kDialogStyle;
  dialog->dwExtendedStyle = kDialogExStyle;
  words.push_back(0);  // no menu
  for (const char* c = kDiagWindowClassName; *c != '\0'; ++c) words.push_back(*c);
  words.push_back(0);
  for (const char* c = " Diagnostics"; *c != '\0'; ++c) words.push_back(*c);
  words.push_back(0);
  return words;
}

bool RegisterDiagWindowClass(HINSTANCE instance) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, kDiagWindowClassName, &existing)) return true;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = DefDlgProcA;
  window_class.cbWndExtra = DLGWINDOWEXTRA;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kDiagWindowClassName;
  return RegisterClassExA(&window_class) != 0;
}

HFONT CreateFontOf(const std::string& face, int32_t height) {
  LOGFONTA description{};
  description.lfHeight = -height;  // character height, without internal leading
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = ANSI_CHARSET;
  lstrcpynA(description.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectA(&description);
}

std::string FaceOf(HFONT font) {
  LOGFONTA description{};
  if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) return "Arial";
  return description.lfFaceName;
}

}  // namespace

TDiagWindow::TDiagWindow(HINSTANCE instance, HWND owner) : owner_(owner) {
  pixels_per_inch_ = GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY);

  if (!RegisterDiagWindowClass(instance)) throw Exception("Cannot register the diagnostics window");
  const std::vector<WORD> dialog_template = DialogTemplate();
  window_.reset(CreateDialogIndirectParamA(
      instance, reinterpret_cast<LPCDLGTEMPLATEA>(dialog_template.data()), owner, DialogProc,
      reinterpret_cast<LPARAM>(this)));
  if (!window_) throw Exception("Cannot create the diagnostics window");
  RECT frame{0, 0, Scale(kDiagClientWidth), Scale(kDiagClientHeight)};
  AdjustWindowRectEx(&frame, kDialogStyle, FALSE, kDialogExStyle);
  SetWindowPos(window_.get(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  font_.reset(CreateFontOf("Arial", Scale(kDesignFontHeight)));
  CreateControls(instance);
}

TDiagWindow::~TDiagWindow() {
  if (window_) KillTimer(window_.get(), kTimerId);
}

int32_t TDiagWindow::Scale(int32_t design) const {
  return MulDiv(design, pixels_per_inch_, 96);
}

void TDiagWindow::CreateControls(HINSTANCE instance) {
  int32_t panel_left = 0;
  int32_t panel_top = 0;
  for (const ControlSpec& layout : kControls) {
    int32_t left = Scale(layout.left);
    int32_t top = Scale(layout.top);
    if (layout.control == TDiagControl::Label1) {
      left += panel_left;
      top += panel_top;
    }
    HWND child = CreateWindowExA(
        layout.ex_style, layout.window_class, layout.text, WS_CHILD | WS_VISIBLE | layout.style,
        left, top, Scale(layout.width), Scale(layout.height), window_.get(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(DiagControlId(layout.control))), instance,
        nullptr);
    if (child == nullptr) throw Exception("Cannot create the diagnostics window's controls");
    if (layout.control == TDiagControl::Panel1) {
      panel_left = left;
      panel_top = top;
    }
    controls_[layout.control] = child;
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  // A report can be far longer than an edit control takes by default.
  SendMessageA(Control(TDiagControl::Memo1), EM_SETLIMITTEXT, 0, 0);
  SendMessageA(window_.get(), DM_SETDEFID, IDOK, 0);
}

void TDiagWindow::SetFont(const std::string& name, int32_t points) {
  const std::string face = name.empty() ? FaceOf(font_.get()) : name;
  UniqueFont font(CreateFontOf(face, MulDiv(points, pixels_per_inch_, 72)));
  if (!font) return;
  for (auto& [control, child] : controls_) {
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  font_ = std::move(font);
}

int32_t TDiagWindow::ClientWidth() {
  RECT client{};
  GetClientRect(window_.get(), &client);
  return client.right - client.left;
}

TBounds TDiagWindow::Bounds(TDiagControl control) {
  RECT bounds{};
  GetWindowRect(Control(control), &bounds);
  MapWindowPoints(nullptr, window_.get(), reinterpret_cast<POINT*>(&bounds), 2);
  TBounds result{bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
  if (control == TDiagControl::Label1) {
    const TBounds panel = Bounds(TDiagControl::Panel1);
    result.Left -= panel.Left;
    result.Top -= panel.Top;
  }
  return result;
}

void TDiagWindow::SetWidth(TDiagControl control, int32_t width) {
  const TBounds bounds = Bounds(control);
  SetWindowPos(Control(control), nullptr, 0, 0, width, bounds.Height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDiagWindow::SetCaption(TDiagControl control, const std::string& text) {
  SetWindowTextA(Control(control), text.c_str());
}

void TDiagWindow::SetMemoText(const std::string& text) {
  SetWindowTextA(Control(TDiagControl::Memo1), text.c_str());
}

std::string TDiagWindow::MemoText() {
  HWND memo = Control(TDiagControl::Memo1);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(memo)) + 1, '\0');
  text.resize(
      static_cast<size_t>(GetWindowTextA(memo, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TDiagWindow::AddMemoLine(const std::string& line) {
  HWND memo = Control(TDiagControl::Memo1);
  const int length = GetWindowTextLengthA(memo);
  const std::string text = length == 0 ? line : "\r\n" + line;
  SendMessageA(memo, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  SendMessageA(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TDiagWindow::MemoCaretToStart() {
  HWND memo = Control(TDiagControl::Memo1);
  SendMessageA(memo, EM_SETSEL, 0, 0);
  SendMessageA(memo, EM_SCROLLCARET, 0, 0);
}

void TDiagWindow::SetMemoRedraw(bool redraw) {
  HWND memo = Control(TDiagControl::Memo1);
  SendMessageA(memo, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
  if (redraw) InvalidateRect(memo, nullptr, TRUE);
}

void TDiagWindow::SetTimerEnabled(bool enabled) {
  if (enabled == timer_on_) return;
  timer_on_ = enabled;
  if (enabled) {
    SetTimer(window_.get(), kTimerId, kTimerInterval, nullptr);
  } else {
    KillTimer(window_.get(), kTimerId);
  }
}

void TDiagWindow::SetClipboardText(const std::string& text) {
  if (!OpenClipboard(window_.get())) throw Exception("Cannot open clipboard");
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  bool placed = false;
  if (memory != nullptr) {
    if (void* bytes = GlobalLock(memory)) {
      std::memcpy(bytes, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      placed = SetClipboardData(CF_TEXT, memory) != nullptr;
    }
    if (!placed) GlobalFree(memory);  // the clipboard owns it only once placed
  }
  CloseClipboard();
  if (!placed) throw Exception("Cannot put the report on the clipboard");
}

bool TDiagWindow::RunSaveDialog(const TSaveDialogRequest& request, std::string& chosen) {
  std::vector<char> file(32768, '\0');
  lstrcpynA(file.data(), request.FileName.c_str(), static_cast<int>(file.size()));
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_.get();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  // Without a directory the dialog would open in the last one used, or in Documents.
  const std::string initial_dir =
      request.InitialDir.empty() ? platform::GetCurrentDirectory() : request.InitialDir;
  dialog.lpstrInitialDir = initial_dir.c_str();
  dialog.lpstrTitle = request.Title.c_str();
  dialog.Flags = OFN_EXPLORER | (request.OverwritePrompt ? OFN_OVERWRITEPROMPT : 0) |
                 (request.HideReadOnly ? OFN_HIDEREADONLY : 0) |
                 (request.PathMustExist ? OFN_PATHMUSTEXIST : 0) |
                 (request.EnableSizing ? OFN_ENABLESIZING : 0);
  if (!GetSaveFileNameA(&dialog)) return false;
  chosen = file.data();
  return true;
}

void TDiagWindow::ShowModal() {
  RECT frame{};
  GetWindowRect(window_.get(), &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner_ != nullptr) GetWindowRect(owner_, &around);
  int left = (around.left + around.right - width) / 2;
  int top = (around.top + around.bottom - height) / 2;
  // Wholly on the screen, even beside an owner near its edge.
  left = std::max(0, std::min(left, GetSystemMetrics(SM_CXSCREEN) - width));
  top = std::max(0, std::min(top, GetSystemMetrics(SM_CYSCREEN) - height));
  SetWindowPos(window_.get(), HWND_TOP, left, top, 0, 0, SWP_NOSIZE);

  const bool disable_owner = owner_ != nullptr && IsWindowEnabled(owner_);
  if (disable_owner) EnableWindow(owner_, FALSE);
  closed_ = false;
  ShowWindow(window_.get(), SW_SHOW);
  SetFocus(Control(TDiagControl::OKButton));
  MSG message;
  while (!closed_) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: the main loop takes the request up.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got < 0) break;
    if (IsDialogMessageA(window_.get(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  SetTimerEnabled(false);
  // The owner is enabled before the window hides, so it becomes active again.
  if (disable_owner) EnableWindow(owner_, TRUE);
  ShowWindow(window_.get(), SW_HIDE);
}

void TDiagWindow::Run(const std::function<void()>& handler) {
  if (!handler) return;
  // Nothing may unwind through the system's window procedure frames.
  try {
    handler();
  } catch (const std::exception& error) {
    if (OnException) {
      OnException(error.what());
    } else {
      ShowModalMessageBox(window_.get(), TMessageBox{mkError, mbOK, kNoHelpContext, error.what()},
                          {});
    }
  }
}

void TDiagWindow::DrawButton(const DRAWITEMSTRUCT& item) {
  TDiagControl control = TDiagControl::OKButton;
  for (const auto& [which, child] : controls_) {
    if (child == item.hwndItem) control = which;
  }
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool enabled = (item.itemState & ODS_DISABLED) == 0;
  DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));

  char caption[64] = {};
  GetWindowTextA(item.hwndItem, caption, sizeof caption);
  SelectedObject caption_font(dc, font_.get());
  RECT measure{0, 0, 0, 0};
  DrawTextA(dc, caption, -1, &measure, DT_CALCRECT | DT_SINGLELINE);
  const int32_t unit = std::max(1, Scale(1));
  const int32_t glyph = kGlyphSize * unit;
  const int32_t gap = Scale(kGlyphGap);
  const int32_t content = glyph + gap + (measure.right - measure.left);
  const int32_t shift = pressed ? 1 : 0;
  const int32_t left =
      item.rcItem.left + (item.rcItem.right - item.rcItem.left - content) / 2 + shift;
  const int32_t middle = (item.rcItem.top + item.rcItem.bottom) / 2 + shift;
  if (const Glyph* image = GlyphOf(control)) {
    DrawGlyph(dc, *image, left, middle - glyph / 2, unit, enabled);
  }
  RECT text{left + glyph + gap, item.rcItem.top + shift, item.rcItem.right,
            item.rcItem.bottom + shift};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  DrawTextA(dc, caption, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);

  if ((item.itemState & ODS_FOCUS) != 0) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(dc, &focus);
  }
}

INT_PTR CALLBACK TDiagWindow::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lparam);
    return FALSE;  // the focus is set when the window shows
  }
  auto* self = reinterpret_cast<TDiagWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr || !self->window_) return FALSE;
  return self->HandleMessage(message, wparam, lparam);
}

INT_PTR TDiagWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      // Handled once the activation is complete, so a message box the
      // handler shows does not open in the middle of it.
      if (LOWORD(wparam) != WA_INACTIVE) PostMessageA(window_.get(), kActivateMessage, 0, 0);
      return FALSE;  // the dialog manager still restores the focus
    case kActivateMessage:
      Run(OnActivate);
      return TRUE;
    case WM_TIMER:
      if (wparam == kTimerId && timer_on_) Run(OnTimer);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:  // Escape or the close box
          closed_ = true;
          return TRUE;
      }
      if (HIWORD(wparam) == BN_CLICKED) {
        if (reinterpret_cast<HWND>(lparam) == Control(TDiagControl::CopyBtn)) Run(OnCopyClick);
        if (reinterpret_cast<HWND>(lparam) == Control(TDiagControl::SaveBtn)) Run(OnSaveClick);
        return TRUE;
      }
      break;
    case WM_CLOSE:
      closed_ = true;
      return TRUE;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      if (reinterpret_cast<HWND>(lparam) == Control(TDiagControl::Memo1)) {
        // Read-only, but still a text to read: the window colour, not grey.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
      }
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
  }
  return FALSE;
}

void ShowDiagnosticsWindow(HWND owner, TMessageService& messages,
                           const TDiagnosticReportBuilder& build_report,
                           const std::string& program_name, const std::string& temp_dir,
                           const std::string& keep_dir, const std::string& settings_file,
                           float version) {
  TDiagWindow window(GetModuleHandleA(nullptr), owner);
  window.OnException = [&messages](const std::string& text) {
    messages.Show(mkError, mbOK, kNoHelpContext, text);
  };
  TPlatformDiagSystem system(messages);
  ShowDiagnostics(window, system, ProgramKeldaRun(), build_report, program_name, temp_dir, keep_dir,
                  settings_file, version);
}

}  // namespace vx::gui
