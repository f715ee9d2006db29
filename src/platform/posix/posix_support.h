// Shared by the Linux backend's files: Windows error codes for errno values
// and the Windows wording of their messages.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace vx::platform::posix {

// The Windows error code for an errno value. A missing file is
// ERROR_FILE_NOT_FOUND when its directory exists and ERROR_PATH_NOT_FOUND when
// it does not, as on Windows; `host_path` (the Linux path used) decides that.
uint32_t WindowsError(int error_number, const std::string& host_path = {});

// Sets this layer's LastError().
void RecordError(uint32_t code);
// Records WindowsError(errno, host_path) and returns false, for one-line failures.
bool FailFromErrno(const std::string& host_path = {});

// Whether a Linux path names an existing directory.
bool IsHostDirectory(const std::string& host_path);

}  // namespace vx::platform::posix
