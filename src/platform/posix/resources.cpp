// Linux has no loader for Windows executables, so the resource directory of
// a PE file is walked here: the headers locate the resource data directory,
// the section table maps its address to a file offset, and the first two
// levels of the directory tree (type, then name) are searched. The file is
// untrusted: every offset is checked against the file before it is read,
// and the walk visits each entry of a directory at most once.
#include "platform/resources.h"

#include <array>
#include <memory>
#include <optional>

#include "platform/exception.h"
#include "platform/files.h"

namespace vx::platform {

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kSubdirectoryFlag = 0x80000000u;  // entry points to another directory
constexpr uint32_t kNamedFlag = 0x80000000u;         // entry is named by a string
constexpr uint32_t kResourceDirectoryIndex = 2;

class PeReader {
 public:
  explicit PeReader(TStream& file) : file_(file), size_(file.Size()) {}

  // Exactly `count` bytes at `offset`, or false.
  bool ReadAt(int64_t offset, void* buffer, int64_t count) {
    if (offset < 0 || count < 0 || offset > size_ || count > size_ - offset) return false;
    if (file_.Seek(offset, soBeginning) != offset) return false;
    return file_.Read(buffer, count) == count;
  }

  // The file offset of the resource directory and the mapping of addresses
  // inside the resource section to file offsets.
  bool LocateResources() {
    uint8_t dos[64];
    if (!ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    int64_t pe = Le32(dos + 0x3C);
    uint8_t header[24];
    if (!ReadAt(pe, header, sizeof header)) return false;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return false;
    uint32_t sections = Le16(header + 6);
    uint32_t optional_size = Le16(header + 20);
    int64_t optional = pe + 24;
    uint8_t magic[2];
    if (!ReadAt(optional, magic, 2)) return false;
    // The data directories follow the fixed part of the optional header,
    // which is 16 bytes longer in 64-bit images.
    uint32_t fixed = Le16(magic) == 0x20B ? 112 : Le16(magic) == 0x10B ? 96 : 0;
    if (fixed == 0 || optional_size < fixed) return false;
    uint8_t count_field[4];
    if (!ReadAt(optional + fixed - 4, count_field, 4)) return false;
    uint32_t directories = Le32(count_field);
    if (directories <= kResourceDirectoryIndex ||
        optional_size < fixed + 8 * (kResourceDirectoryIndex + 1)) {
      return false;
    }
    uint8_t entry[8];
    if (!ReadAt(optional + fixed + 8 * kResourceDirectoryIndex, entry, 8)) return false;
    uint32_t rva = Le32(entry);
    if (rva == 0) return false;
    int64_t table = optional + optional_size;
    for (uint32_t s = 0; s < sections; ++s) {
      uint8_t section[40];
      if (!ReadAt(table + 40 * static_cast<int64_t>(s), section, sizeof section)) return false;
      uint32_t virtual_size = Le32(section + 8);
      uint32_t address = Le32(section + 12);
      uint32_t raw_size = Le32(section + 16);
      uint32_t raw_offset = Le32(section + 20);
      uint32_t extent = virtual_size > raw_size ? virtual_size : raw_size;
      if (rva >= address && rva - address < extent) {
        // Offsets inside the resource tree are relative to its root.
        root_ = static_cast<int64_t>(raw_offset) + (rva - address);
        limit_ = static_cast<int64_t>(raw_offset) + raw_size;
        return root_ < limit_;
      }
    }
    return false;
  }

  // Calls `visit(id_or_name_offset, named, data_field)` for each entry of the
  // directory at `offset` (relative to the root) until it returns true.
  template <typename Visit>
  bool ForEachEntry(uint32_t offset, Visit visit) {
    uint8_t directory[16];
    if (!ReadAt(root_ + offset, directory, sizeof directory)) return false;
    uint32_t count = static_cast<uint32_t>(Le16(directory + 12)) + Le16(directory + 14);
    int64_t first = root_ + offset + 16;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t entry[8];
      int64_t at = first + 8 * static_cast<int64_t>(i);
      if (at + 8 > limit_ || !ReadAt(at, entry, 8)) return false;
      if (visit(Le32(entry), Le32(entry + 4))) return true;
    }
    return false;
  }

  // Whether the string at `offset` (relative to the root: a 16-bit length,
  // then UTF-16 units) is exactly `name`.
  bool NameEquals(uint32_t offset, const std::string& name) {
    uint8_t length_field[2];
    if (!ReadAt(root_ + offset, length_field, 2)) return false;
    uint32_t length = Le16(length_field);
    if (length != name.size()) return false;
    std::string units(2 * static_cast<size_t>(length), '\0');
    if (!ReadAt(root_ + offset + 2, units.data(), static_cast<int64_t>(units.size()))) return false;
    for (size_t i = 0; i < name.size(); ++i) {
      uint16_t unit = Le16(reinterpret_cast<const uint8_t*>(units.data()) + 2 * i);
      if (unit != static_cast<uint8_t>(name[i])) return false;
    }
    return true;
  }

 private:
  TStream& file_;
  int64_t size_;
  int64_t root_ = 0;
  int64_t limit_ = 0;
};

}  // namespace

bool DataFileHasNamedResource(const std::string& path, uint32_t type_id, const std::string& name) {
  try {
    std::unique_ptr<TFileStream> file = TFileStream::OpenRead(path);
    PeReader reader(*file);
    if (!reader.LocateResources()) return false;
    bool found = false;
    reader.ForEachEntry(0, [&](uint32_t id, uint32_t data) {
      if ((id & kNamedFlag) != 0 || id != type_id || (data & kSubdirectoryFlag) == 0) return false;
      found = reader.ForEachEntry(data & ~kSubdirectoryFlag, [&](uint32_t name_field, uint32_t) {
        return (name_field & kNamedFlag) != 0 && reader.NameEquals(name_field & ~kNamedFlag, name);
      });
      return true;  // only one directory per type
    });
    return found;
  } catch (const Exception&) {
    return false;  // unreadable: no resources
  }
}

}  // namespace vx::platform
