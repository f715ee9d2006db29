#include "gui/win32/html_help.h"

#include "platform/system_library.h"

namespace vx::gui {

void THtmlHelp::HtmlHelp(const char* file, uint32_t command, uintptr_t data) {
  // Nothing is open before the viewer was first loaded: no need to load it
  // only to close its windows.
  if (!tried_ && command == kHhCloseAll) return;
  if (!tried_) {
    tried_ = true;
    // The library stays loaded: its windows live on after the call returns.
    html_help_ = reinterpret_cast<HtmlHelpFunction>(
        platform::SystemLibraryExport(platform::LoadSystemLibrary(library_), "HtmlHelpA"));
  }
  if (html_help_ == nullptr) return;
  html_help_(nullptr, file, command, static_cast<DWORD_PTR>(data));
}

}  // namespace vx::gui
