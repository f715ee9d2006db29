#include "platform/file_probe.h"

namespace vx::platform {

bool FileHeldOpen(const std::string&) {
  return false;
}

}  // namespace vx::platform
