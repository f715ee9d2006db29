// The few messages the utilities must show the user themselves (a program
// that could not be started, a programming error). They go through one
// replaceable hook, so that the application can route them through its own
// message service and tests can capture them instead of blocking on a box.
#pragma once

#include <functional>
#include <string>

namespace vx {

// Shows `text` as a modal error message with an "OK" button and no help
// context. The default hook shows a real system message box.
using ErrorMessageHook = std::function<void(const std::string& text)>;

// Installs `hook` (an empty one restores the default) and returns the previous one.
ErrorMessageHook SetErrorMessageHook(ErrorMessageHook hook);

void ShowErrorMessage(const std::string& text);

}  // namespace vx
