// The setup's main window in Win32: a fixed-size dialog-like window with the
// readme memo, the two information labels, the gauge and five buttons, laid
// out in pixels. It is the view of TForm1 and shows its message boxes.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "gui/win32/handles.h"
#include "gui/win32/windows_api.h"
#include "setup/main_window.h"
#include "setup/setup_program.h"
#include "ui/message_service.h"

namespace vx::gui {

constexpr const char* kMainWindowClassName = "TForm1";
constexpr int32_t kMainClientWidth = 492;
constexpr int32_t kMainClientHeight = 377;

// Child window identifiers: 100 + the control's position in TMainControl.
constexpr int32_t ControlId(TMainControl control) {
  return 100 + static_cast<int32_t>(control);
}

class TMainWindow : public TSetupWindow {
 public:
  // Creates the window and its controls, hidden.
  explicit TMainWindow(HINSTANCE instance);
  ~TMainWindow() override;
  TMainWindow(const TMainWindow&) = delete;
  TMainWindow& operator=(const TMainWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  HWND Control(TMainControl control) const { return controls_.at(control); }

  // TSetupWindow
  void Show() override;
  int32_t RunMessageLoop() override;
  intptr_t OwnerHandle() override { return reinterpret_cast<intptr_t>(window_.get()); }

  // TMainWindowView
  void SetFontName(const std::string& name) override;
  void SetTitle(const std::string& title) override;
  void SetMemoText(const std::string& text) override;
  void SetCaption(TMainControl control, const std::string& text) override;
  void SetVisible(TMainControl control, bool visible) override;
  int32_t FontSize(TMainControl control) override;
  void SetFontSize(TMainControl control, int32_t points) override;
  void SetFontColor(TMainControl control, TColor color) override;
  TGauge& Gauge1() override;
  void SetEnabled(TMainControl control, bool enabled) override;
  bool ChooseDirectory(std::string& directory) override;
  void ProcessMessages() override;
  void Repaint() override;
  uint32_t Milliseconds() override;

  // TMessageView
  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override;
  void PostEndRequest() override;

 private:
  struct ControlStyle {
    int32_t height = 13;  // character height in pixels
    TColor color = clBlack;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls(HINSTANCE instance);
  HFONT FontOfHeight(int32_t height);
  void ApplyFont(TMainControl control);
  void Run(const std::function<void()>& handler);
  // Translates and dispatches one message taken from the queue.
  void Dispatch(MSG& message);

  std::map<TMainControl, HWND> controls_;
  std::map<TMainControl, ControlStyle> styles_;
  std::map<TMainControl, std::string> captions_;  // as last set through SetCaption
  std::string font_name_ = "MS Sans Serif";
  std::map<int32_t, UniqueFont> fonts_;  // by character height, in font_name_
  int32_t pixels_per_inch_ = 96;
  // Last, so it is destroyed first, while its controls' fonts still exist.
  UniqueWindow window_;
};

}  // namespace vx::gui
