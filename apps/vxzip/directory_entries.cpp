#include "directory_entries.h"

#include <utility>
#include <vector>

#include "archive/entry_names.h"
#include "archive/name_rules.h"
#include "platform/files.h"
#include "platform/path_text.h"

namespace vx::vxzip {

namespace {

bool EndsInSeparator(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

}  // namespace

bool CreateDirectoryEntries(
    const TAbZipArchive& archive, const std::string& base,
    const std::function<void(const TAbZipItem&, const std::string&)>& report) {
  bool all_made = true;
  std::vector<std::pair<std::string, const TAbZipItem*>> made;
  for (int32_t i = 0; i < archive.Count(); ++i) {
    const TAbZipItem& item = archive.ZipItems(i);
    std::string name = item.FileName();
    if (!EndsInSeparator(name)) continue;
    if (!item.NameFitsFileSystem()) {
      report(item, EAbZipNameNotRepresentable(name).Message());
      all_made = false;
      continue;
    }
    while (EndsInSeparator(name)) name.pop_back();
    // A name left empty by the rules ("/", "../") names the base itself.
    const std::string relative = SafeRelativePath(name, true);
    if (relative.empty()) continue;
    const std::string path = AppendFileName(base, relative);
    if (!platform::DirectoryExists(path) && !platform::CreateDirs(path)) {
      report(item, "Cannot create directory " + path);
      all_made = false;
      continue;
    }
    made.emplace_back(path, &item);
  }
  // Dates go on last: creating anything inside a directory changes its date.
  for (const auto& [path, item] : made) {
    platform::TFileStream::SetDirectoryDosDateTime(path, item->LastModFileDate(),
                                                   item->LastModFileTime());
  }
  return all_made;
}

std::string PrependedDataNote(const TAbZipArchive& archive) {
  if (archive.PrependedDataSize() <= 0) return "";
  return std::to_string(archive.PrependedDataSize()) +
         " bytes of other data precede the archive; its offsets were corrected for them";
}

}  // namespace vx::vxzip
