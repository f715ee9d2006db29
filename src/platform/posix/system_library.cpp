// Linux has no Windows system libraries to load, and the program loads no
// others.
#include "platform/system_library.h"

namespace vx::platform {

SystemLibrary LoadSystemLibrary(const std::string&) {
  return nullptr;
}

SystemLibraryFunction SystemLibraryExport(SystemLibrary, const char*) {
  return nullptr;
}

void RestrictLibrarySearch() {}

}  // namespace vx::platform
