#include "util/messages.h"

#include "platform/message_box.h"

namespace vx {

namespace {

void ShowSystemErrorBox(const std::string& text) {
  platform::ShowErrorBox("Error", text);
}

ErrorMessageHook& CurrentHook() {
  static ErrorMessageHook hook = ShowSystemErrorBox;
  return hook;
}

}  // namespace

ErrorMessageHook SetErrorMessageHook(ErrorMessageHook hook) {
  ErrorMessageHook previous = std::move(CurrentHook());
  CurrentHook() = hook ? std::move(hook) : ErrorMessageHook(ShowSystemErrorBox);
  return previous;
}

void ShowErrorMessage(const std::string& text) {
  CurrentHook()(text);
}

}  // namespace vx
