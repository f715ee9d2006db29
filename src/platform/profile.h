// Profile (.INI) files read the way Windows reads them.
#pragma once

#include <cstddef>
#include <string>

namespace vx::platform {

// The longest value a read returns: the reader's buffer holds 2,048
// characters including the terminating zero.
constexpr size_t kProfileValueLimit = 2047;

// The value of `key` in `section` of the profile file `file_name` (give a full
// path: Windows looks for a bare name in the Windows directory). Section and
// key names match without regard to case and without their surrounding
// blanks; only the first section of that name is searched. Blanks around the
// value are dropped, then one pair of matching surrounding quotes (single or
// double); the value is cut to kProfileValueLimit characters. A missing file,
// section or key gives `default_value` without its trailing blanks.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value, const std::string& file_name);

}  // namespace vx::platform
