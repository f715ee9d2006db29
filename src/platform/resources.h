// Resources of an executable file examined without running it: the file is
// loaded as data only. On Linux the backend reads the file's resource
// directory itself.
#pragma once

#include <cstdint>
#include <string>

namespace vx::platform {

constexpr uint32_t kResourceTypeRcData = 10;

// True when the executable `path` has a resource of the numbered type
// `type_id` whose name is the text `name`, compared exactly (case included);
// resources named by number never match. False when the file cannot be
// loaded as a data file or has no such resource.
bool DataFileHasNamedResource(const std::string& path, uint32_t type_id, const std::string& name);

}  // namespace vx::platform
