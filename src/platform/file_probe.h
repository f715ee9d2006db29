// Whether another process keeps a file open, asked before files are removed
// so that a removal either starts with every file free or does not start.
#pragma once

#include <string>

namespace vx::platform {

// True when the existing file `path` cannot be opened for writing with no
// sharing because another open handle keeps it (a running program, an open
// document). False when it can, and for a missing file. The Linux backend
// has no sharing modes and always answers false.
bool FileHeldOpen(const std::string& path);

}  // namespace vx::platform
