// Linux has no shell special folders.
#include "platform/shell.h"

namespace vx::platform {

std::string SpecialFolderPath(int32_t) {
  return "";
}

}  // namespace vx::platform
