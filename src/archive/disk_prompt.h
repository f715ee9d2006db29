// The question asked when a spanned set needs another disk and no handler of
// the component answers the request: a box with OK and Cancel by default,
// replaceable by the program (the setup's message service, vxzip's terminal).
#pragma once

#include <functional>
#include <string>

namespace vx {

// Shows `text` under `caption`; true to go on (the disk is in), false to abort.
using DiskPrompt = std::function<bool(const std::string& caption, const std::string& text)>;

// Installs `prompt` (an empty one restores the default box) and returns the
// previous one.
DiskPrompt SetDiskPrompt(DiskPrompt prompt);

// Asks through the installed prompt.
bool PromptForDisk(const std::string& caption, const std::string& text);

}  // namespace vx
