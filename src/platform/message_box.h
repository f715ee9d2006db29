// A modal message box owned by no window, for the few messages that library
// code must show itself. Windows shows a real box; Linux writes the text to
// standard error, having no desktop to show it on.
#pragma once

#include <string>

namespace vx::platform {

// An error box with an "OK" button; returns when the user closes it.
void ShowErrorBox(const std::string& caption, const std::string& text);

// A question box with "OK" and "Cancel"; true for OK. Linux, with no one to
// ask, writes the text to standard error and answers Cancel.
bool AskOkCancel(const std::string& caption, const std::string& text);

}  // namespace vx::platform
