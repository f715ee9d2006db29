#include "platform/errors.h"

namespace vx::platform {

std::string SystemErrorLine(uint32_t code) {
  std::string text = SystemErrorMessage(code).value_or("");
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "System error " + std::to_string(code) + ".";
  return text;
}

void RaiseOSError(uint32_t code) {
  std::string message = "System Error.  Code: " + std::to_string(code) + ".";
  if (auto text = SystemErrorMessage(code)) message += "\r\n" + *text;
  throw EOSError(message, code);
}

}  // namespace vx::platform
