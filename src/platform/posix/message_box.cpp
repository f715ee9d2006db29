// No desktop to show a box on: the message goes to standard error.
#include "platform/message_box.h"

#include <cstdio>

namespace vx::platform {

void ShowErrorBox(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

bool AskOkCancel(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return false;
}

}  // namespace vx::platform
