// The HTML Help viewer of the system ("hhctrl.ocx"), loaded at its first use.
// Where it cannot be loaded every request does nothing.
#pragma once

#include "gui/win32/windows_api.h"
#include "setup/help.h"

namespace vx::gui {

class THtmlHelp : public THtmlHelpViewer {
 public:
  // `library`: where the viewer's HtmlHelpA lives.
  explicit THtmlHelp(const char* library = "hhctrl.ocx") : library_(library) {}
  void HtmlHelp(const char* file, uint32_t command, uintptr_t data) override;
  // Whether the viewer has been loaded (false before the first request and
  // where it is missing).
  bool Loaded() const { return html_help_ != nullptr; }

 private:
  using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

  const char* library_;
  bool tried_ = false;
  HtmlHelpFunction html_help_ = nullptr;
};

}  // namespace vx::gui
