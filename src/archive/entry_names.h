// The character set of a member's stored name, decided as today's archivers
// write names: UTF-8 when flag bit 11 says so; else the UTF-8 name of a
// Unicode path extra field that still belongs to the stored name; else the
// OEM code page for names from MS-DOS, OS/2 and Windows hosts, and UTF-8 for
// names from any other host (Unix, Mac...) when they are valid UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/errors.h"

namespace vx {

constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kUnicodePathFieldId = 0x7075;

struct EntryName {
  std::string text;  // the name, in UTF-8 when is_utf8, else in the OEM code page
  bool is_utf8 = false;
};

// The name of a member from its central (or local) header fields.
EntryName DecodeEntryName(std::string_view stored_name, uint16_t flag, uint16_t version_made_by,
                          std::string_view extra_field);

// Whether the host of "version made by" (its high byte) writes names in the
// OEM code page: MS-DOS (0), OS/2 HPFS (6), Windows NTFS (11), VFAT (14).
bool HostUsesOemNames(uint16_t version_made_by);

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// The UTF-8 form of text in code page 437 (the OEM code page of the
// systems that wrote these names); bytes below 128 stay as they are.
std::string Cp437ToUtf8(std::string_view text);

// A member whose name has characters the file functions' code page lacks:
// it is refused rather than written under a name with substitutes.
class EAbZipNameNotRepresentable : public EAbZipException {
 public:
  explicit EAbZipNameNotRepresentable(const std::string& name)
      : EAbZipException("File name has characters this system's code page lacks: " + name) {}
};

}  // namespace vx
