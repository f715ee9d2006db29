// How an extraction puts its files on disk: the directories it makes, the
// temporary file each member is decoded into, and the move of a finished
// member onto its target. The default does each step directly. A caller that
// must be able to undo an extraction (the setup's installation run) gives
// its own placement, which notes every step before it happens.
#pragma once

#include <string>

namespace vx {

class TAbOutputPlacement {
 public:
  virtual ~TAbOutputPlacement() = default;

  // Makes `directory` and every missing directory above it; raises
  // EInOutError (with the system error) when a level cannot be made.
  virtual void CreateDirectories(const std::string& directory);
  // `path` (no file of that name exists) is about to be created as a
  // member's temporary file.
  virtual void TemporaryFileCreating(const std::string& /*path*/) {}
  // Moves the finished `temporary` onto `target`; `replacing` when a file
  // `target` exists and is replaced. Raises EFCreateError (with the system
  // error) when it cannot: the target is read-only, a directory or in use,
  // and is then left as it was.
  virtual void PlaceFile(const std::string& temporary, const std::string& target, bool replacing);
};

// The placement an archive uses unless given another.
TAbOutputPlacement& DirectOutputPlacement();

}  // namespace vx
