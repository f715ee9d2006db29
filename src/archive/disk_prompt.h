// Who is asked when a spanned set needs another disk and no handler of the
// extraction component answers the request: the setup asks through its
// message service, vxzip on the terminal. The component is given one when it
// is made.
#pragma once

#include <string>

namespace vx {

class TDiskPrompt {
 public:
  virtual ~TDiskPrompt() = default;
  // Shows `text` under `caption`; true to go on (the disk is in), false to abort.
  virtual bool AskForDisk(const std::string& caption, const std::string& text) = 0;
};

// Nobody to ask: every request is refused, so the operation stops.
TDiskPrompt& RefuseEveryDisk();

}  // namespace vx
