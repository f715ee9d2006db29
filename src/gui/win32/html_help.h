// The HTML Help viewer of the system ("hhctrl.ocx"), loaded from the system
// directory at its first use.
// Where it cannot be loaded every request does nothing.
#pragma once

#include "gui/win32/windows_api.h"
#include "setup/help.h"

namespace vx::gui {

class THtmlHelp : public THtmlHelpViewer {
 public:
  // `library`: the file name, in the system directory, of the library with
  // the viewer's HtmlHelpA.
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
