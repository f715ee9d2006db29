#include "archive/entry_names.h"

#include "archive/crc32.h"
#include "archive/little_endian.h"
#include "archive/zip64.h"

namespace vx {

namespace {

// Unicode code points of the bytes 0x80-0xFF of code page 437.
// clang-format off
constexpr uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

// The name of a Unicode path field (version 1, CRC-32 of the stored name,
// then the name in UTF-8) when the field is there, still matches the stored
// name (a tool that renamed the member without updating the field leaves a
// stale one behind) and holds valid UTF-8.
bool UnicodePathName(std::string_view stored_name, std::string_view extra_field,
                     std::string& name) {
  std::string_view field;
  if (!FindExtraField(extra_field, kUnicodePathFieldId, field)) return false;
  if (field.size() < 5 || static_cast<uint8_t>(field[0]) != 1) return false;
  const uint32_t crc = Get32(reinterpret_cast<const uint8_t*>(field.data()) + 1);
  if (crc != Crc32Update(0, stored_name.data(), stored_name.size())) return false;
  std::string_view text = field.substr(5);
  if (text.empty() || !IsValidUtf8(text)) return false;
  name.assign(text);
  return true;
}

}  // namespace

bool HostUsesOemNames(uint16_t version_made_by) {
  switch (version_made_by >> 8) {
    case 0:
    case 6:
    case 11:
    case 14:
      return true;
    default:
      return false;
  }
}

EntryName DecodeEntryName(std::string_view stored_name, uint16_t flag, uint16_t version_made_by,
                          std::string_view extra_field) {
  EntryName name;
  if ((flag & kFlagUtf8Name) != 0) {
    name.text.assign(stored_name);
    name.is_utf8 = true;
    return name;
  }
  if (UnicodePathName(stored_name, extra_field, name.text)) {
    name.is_utf8 = true;
    return name;
  }
  name.text.assign(stored_name);
  name.is_utf8 = !HostUsesOemNames(version_made_by) && IsValidUtf8(stored_name);
  return name;
}

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const uint8_t lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (size - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return false;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return false;
    i += length;
  }
  return true;
}

std::string Cp437ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      result.push_back(c);
      continue;
    }
    const uint16_t code = kCp437High[byte - 0x80];
    if (code < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (code >> 6)));
    } else {
      result.push_back(static_cast<char>(0xE0 | (code >> 12)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    }
    result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  return result;
}

}  // namespace vx
