#include "gui/win32/main_window.h"

#include <exception>

#include "gui/win32/directory_chooser.h"
#include "gui/win32/gauge.h"
#include "gui/win32/message_box.h"
#include "platform/exception.h"

namespace vx::gui {

namespace {

struct ControlSpec {
  TMainControl control;
  const char* window_class;  // nullptr: the gauge
  const char* text;
  DWORD style;
  DWORD ex_style;
  int32_t left, top, width, height;
};

// In tab order: the dialog manager moves the focus in creation order, and the
// labels and the gauge take no focus.
constexpr ControlSpec kControls[] = {
    {TMainControl::InstallBtn, "BUTTON", "INSTALL", BS_PUSHBUTTON | WS_TABSTOP, 0, 400, 267, 80,
     25},
    {TMainControl::Memo1, "EDIT", "Memo1",
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
         WS_TABSTOP,
     WS_EX_CLIENTEDGE, 10, 10, 471, 207},
    {TMainControl::ChangeDirBtn, "BUTTON", "Change", BS_PUSHBUTTON | WS_TABSTOP, 0, 400, 228, 80,
     25},
    {TMainControl::QuitBtn, "BUTTON", "Quit", BS_PUSHBUTTON | WS_TABSTOP, 0, 400, 306, 80, 25},
    {TMainControl::Button1, "BUTTON", "Diagnostics", BS_PUSHBUTTON | WS_TABSTOP, 0, 400, 345, 80,
     25},
    {TMainControl::HelpBtn, "BUTTON", "Help", BS_PUSHBUTTON | WS_TABSTOP, 0, 8, 345, 80, 25},
    // Names of paths and members are shown as they are: no '&' shortcuts.
    {TMainControl::InstDirLabel, "STATIC", "InstDirLabel", SS_RIGHT | SS_NOPREFIX, 0, 10, 232, 370,
     20},
    {TMainControl::SpaceNeededLabel, "STATIC", "SpaceNeededLabel", SS_RIGHT | SS_NOPREFIX, 0, 10,
     260, 370, 35},
    {TMainControl::Gauge1, nullptr, "", 0, 0, 8, 306, 377, 25},
};

constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

bool RegisterMainWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, kMainWindowClassName, &existing)) return true;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  if (window_class.hIcon == nullptr) window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  window_class.lpszClassName = kMainWindowClassName;
  return RegisterClassExA(&window_class) != 0;
}

}  // namespace

TMainWindow::TMainWindow(HINSTANCE instance) {
  pixels_per_inch_ = GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY);

  RegisterMainWindowClass(instance, WindowProc);
  RECT frame{0, 0, kMainClientWidth, kMainClientHeight};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  window_.reset(CreateWindowExA(kWindowExStyle, kMainWindowClassName, "", kWindowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, this));
  if (!window_) throw Exception("Cannot create the main window");
  // Controls that cannot be made take the window with them (window_ owns it).
  CreateControls(instance);
}

// The window goes first (window_ is the last member), while the fonts its
// controls use still exist; its procedure sees window_ empty meanwhile.
TMainWindow::~TMainWindow() = default;

void TMainWindow::CreateControls(HINSTANCE instance) {
  for (const ControlSpec& layout : kControls) {
    HWND child;
    if (layout.window_class == nullptr) {
      child = CreateGauge(window_.get(), layout.left, layout.top, layout.width, layout.height, 0,
                          ControlId(layout.control));
      if (child != nullptr) GaugeOf(child)->SetColor(clBtnFace);
    } else {
      child = CreateWindowExA(
          layout.ex_style, layout.window_class, layout.text, WS_CHILD | WS_VISIBLE | layout.style,
          layout.left, layout.top, layout.width, layout.height, window_.get(),
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.control))), instance,
          nullptr);
    }
    if (child == nullptr) throw Exception("Cannot create the main window's controls");
    controls_[layout.control] = child;
    styles_[layout.control] = ControlStyle{};
    ApplyFont(layout.control);
  }
  // A readme may be far longer than an edit control takes by default.
  SendMessageA(Control(TMainControl::Memo1), EM_SETLIMITTEXT, 0, 0);
}

HFONT TMainWindow::FontOfHeight(int32_t height) {
  auto found = fonts_.find(height);
  if (found != fonts_.end()) return found->second.get();
  LOGFONTA description{};
  description.lfHeight = -height;  // character height, without internal leading
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(description.lfFaceName, font_name_.c_str(), LF_FACESIZE);
  HFONT font = CreateFontIndirectA(&description);
  fonts_[height] = UniqueFont(font);
  return font;
}

void TMainWindow::ApplyFont(TMainControl control) {
  SendMessageA(Control(control), WM_SETFONT,
               reinterpret_cast<WPARAM>(FontOfHeight(styles_[control].height)), TRUE);
}

void TMainWindow::SetFontName(const std::string& name) {
  if (name == font_name_) return;
  font_name_ = name;
  // The controls take the new fonts before the old ones go.
  std::map<int32_t, UniqueFont> old_fonts;
  old_fonts.swap(fonts_);
  for (auto& [control, window] : controls_) ApplyFont(control);
}

void TMainWindow::SetTitle(const std::string& title) {
  SetWindowTextA(window_.get(), title.c_str());
}

void TMainWindow::SetMemoText(const std::string& text) {
  SetWindowTextA(Control(TMainControl::Memo1), text.c_str());
}

void TMainWindow::SetCaption(TMainControl control, const std::string& text) {
  // The member label is set at every progress event, mostly to the name it
  // already shows: only a change is worth a repaint.
  auto shown = captions_.find(control);
  if (shown != captions_.end() && shown->second == text) return;
  captions_[control] = text;
  HWND child = Control(control);
  SetWindowTextA(child, text.c_str());
  InvalidateRect(child, nullptr, TRUE);
}

void TMainWindow::SetVisible(TMainControl control, bool visible) {
  ShowWindow(Control(control), visible ? SW_SHOW : SW_HIDE);
}

int32_t TMainWindow::FontSize(TMainControl control) {
  return MulDiv(styles_[control].height, 72, pixels_per_inch_);
}

void TMainWindow::SetFontSize(TMainControl control, int32_t points) {
  const int32_t height = MulDiv(points, pixels_per_inch_, 72);
  if (height == styles_[control].height) return;
  styles_[control].height = height;
  ApplyFont(control);
}

void TMainWindow::SetFontColor(TMainControl control, TColor color) {
  if (styles_[control].color == color) return;
  styles_[control].color = color;
  InvalidateRect(Control(control), nullptr, TRUE);
}

TGauge& TMainWindow::Gauge1() {
  return *GaugeOf(Control(TMainControl::Gauge1));
}

void TMainWindow::SetEnabled(TMainControl control, bool enabled) {
  EnableWindow(Control(control), enabled ? TRUE : FALSE);
}

bool TMainWindow::ChooseDirectory(std::string& directory) {
  return ChooseDirectoryDialog(window_.get(), directory);
}

void TMainWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The end request belongs to the main loop: leave it there.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void TMainWindow::Repaint() {
  RedrawWindow(window_.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

uint32_t TMainWindow::Milliseconds() {
  return GetTickCount();
}

TModalResult TMainWindow::ShowMessageBox(const TMessageBox& box,
                                         const std::function<void()>& help) {
  // Owned by the window the user works in: this one, or the diagnostics
  // window open over it.
  HWND active = GetActiveWindow();
  return ShowModalMessageBox(active != nullptr ? active : window_.get(), box, help);
}

void TMainWindow::PostEndRequest() {
  PostQuitMessage(0);
}

void TMainWindow::Show() {
  RECT frame;
  GetWindowRect(window_.get(), &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_.get(), HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE);
  ShowWindow(window_.get(), SW_SHOW);
  UpdateWindow(window_.get());
  SetFocus(Control(TMainControl::InstallBtn));
}

int32_t TMainWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return static_cast<int32_t>(message.wParam);
}

void TMainWindow::Dispatch(MSG& message) {
  if (IsDialogMessageA(window_.get(), &message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void TMainWindow::Run(const std::function<void()>& handler) {
  if (!handler) return;
  // Nothing may unwind through the system's window procedure frames.
  try {
    handler();
  } catch (const std::exception& error) {
    if (OnException) OnException(error.what());
  }
}

LRESULT CALLBACK TMainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || !self->window_) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT TMainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        for (const auto& [control, child] : controls_) {
          if (child == reinterpret_cast<HWND>(lparam)) {
            auto handler = OnClick.find(control);
            if (handler != OnClick.end()) Run(handler->second);
            return 0;
          }
        }
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      HWND child = reinterpret_cast<HWND>(lparam);
      auto memo = controls_.find(TMainControl::Memo1);
      if (memo != controls_.end() && child == memo->second) {
        // Read-only, but still a text to read: the window colour, not grey.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      for (const auto& [control, window] : controls_) {
        if (window == child) SetTextColor(dc, ToColorRef(styles_[control].color));
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      if (OnClose) {
        Run(OnClose);
      } else {
        PostEndRequest();
      }
      return 0;
  }
  return DefWindowProcA(window_.get(), message, wparam, lparam);
}

}  // namespace vx::gui
