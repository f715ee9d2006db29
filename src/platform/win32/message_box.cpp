#include "platform/message_box.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

void ShowErrorBox(const std::string& caption, const std::string& text) {
  ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

bool AskOkCancel(const std::string& caption, const std::string& text) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                       MB_OKCANCEL | MB_ICONINFORMATION | MB_TASKMODAL) == IDOK;
}

}  // namespace vx::platform
