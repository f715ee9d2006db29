// Directory entries (names ending in a separator, empty directories among
// them) for `vxzip extract`. The extraction component writes files only and
// creates the directories they need; vxzip also creates the directories the
// archive names on their own, so an extracted tree matches the archived one.
#pragma once

#include <functional>
#include <string>

#include "archive/zip_archive.h"

namespace vx::vxzip {

// Creates, below `base`, the directory of every directory entry, through the
// same name rules as files (nothing outside `base`), then gives each its
// stored date where the system allows. Each entry that fails is passed to
// `report` with a message; answers whether all succeeded.
bool CreateDirectoryEntries(
    const TAbZipArchive& archive, const std::string& base,
    const std::function<void(const TAbZipItem&, const std::string&)>& report);

// The note that data in front of the archive was skipped ("" when none was).
std::string PrependedDataNote(const TAbZipArchive& archive);

}  // namespace vx::vxzip
