#include "archive/output_placement.h"

#include "archive/archive_types.h"
#include "platform/files.h"

namespace vx {

void TAbOutputPlacement::CreateDirectories(const std::string& directory) {
  if (platform::CreateDirs(directory)) return;
  const uint32_t error = platform::LastError();
  throw EInOutError(
      "Cannot create directory " + directory + " (system error " + std::to_string(error) + ")",
      error);
}

void TAbOutputPlacement::PlaceFile(const std::string& temporary, const std::string& target, bool) {
  if (platform::MoveFileReplacing(temporary, target)) return;
  const uint32_t error = platform::LastError();
  throw EFCreateError(
      "Cannot create file " + target + " (system error " + std::to_string(error) + ")", error);
}

TAbOutputPlacement& DirectOutputPlacement() {
  static TAbOutputPlacement direct;
  return direct;
}

}  // namespace vx
