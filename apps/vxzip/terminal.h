// The little vxzip needs to know about its terminal.
#pragma once

namespace vx::vxzip {

// Whether standard error is a terminal (and so may show a progress bar).
bool StandardErrorIsTerminal();

}  // namespace vx::vxzip
