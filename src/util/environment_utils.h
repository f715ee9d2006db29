// Environment variables, the PATH search and the product directory lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// Reads of the environment use a fixed buffer, as Windows' own call does: a
// value that does not fit reads as unset.
constexpr size_t kEnvVarBufferSize = 4096;

// The value of a variable when it is set, not empty and shorter than
// `buffer_size` characters; `fallback` otherwise.
std::string EnvValueWithin(const std::optional<std::string>& value, size_t buffer_size,
                           const std::string& fallback);

// The variable's value, untrimmed, or `fallback` when it is unset, empty or
// 4096 characters or longer.
std::string GetEnvVar(const std::string& name, const std::string& fallback);

// The places FindOnPath tries for `name`, in order, after the name itself:
// each directory of the ";"-separated list joined with the name. Empty
// entries are skipped; a directory ending in ":" or "\" gets no backslash.
// Two-byte characters are stepped over whole, so a trail byte equal to ";"
// does not end a directory.
std::vector<std::string> PathSearchCandidates(const std::string& path_list, const std::string& name,
                                              const std::function<bool(uint8_t)>& is_lead_byte);

// `name` itself when a file of that name exists (relative to the current
// directory), else the first candidate of the `path` variable that exists as
// a file, else "".
std::string FindOnPath(const std::string& name);

// The VESTRIX product directory: VXDIR exactly as written when it names an
// existing directory, else "C:\VX" when drive C: is ready and it exists, else "".
std::string GetProductDir();

}  // namespace vx
