// ZIP64: the records and the extra field that carry counts, sizes and
// offsets too large for the classic 16- and 32-bit fields. A classic field
// that holds its largest value (0xFFFF, 0xFFFFFFFF) hands over to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/stream.h"

namespace vx {

constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndRecordSize = 56;  // without its extensible data
constexpr uint16_t kZip64ExtraFieldId = 0x0001;
// The "version needed to extract" that ZIP64 asks for (4.5).
constexpr uint8_t kZip64VersionNeeded = 45;

constexpr uint16_t kMax16 = 0xFFFF;
constexpr uint32_t kMax32 = 0xFFFFFFFF;

// The locator that sits just before the end of central directory record.
struct Zip64Locator {
  uint32_t end_record_disk = 0;
  uint64_t end_record_offset = 0;
  uint32_t total_disks = 0;
};

// The ZIP64 end of central directory record.
struct Zip64EndRecord {
  uint64_t record_size = 0;
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint32_t disk_number = 0;
  uint32_t start_disk_number = 0;
  uint64_t entries_on_disk = 0;
  uint64_t total_entries = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;
};

// Read the record at `position` when one is there (its signature matches and
// it fits in the stream); otherwise false. The stream position changes.
bool ReadZip64Locator(TStream& stream, int64_t position, Zip64Locator& locator);
bool ReadZip64EndRecord(TStream& stream, int64_t position, Zip64EndRecord& record);

// The data of the first extra field with this id, or false. Fields that run
// past the end of `extra` end the search.
bool FindExtraField(std::string_view extra, uint16_t id, std::string_view& data);

// The values of a header's ZIP64 extended-information field. The field holds
// 64-bit replacements, in this order, only for the classic fields at their
// largest value: uncompressed size, compressed size, local header offset
// (central headers only), disk number (32 bits).
struct Zip64Values {
  uint64_t uncompressed_size = 0;
  uint64_t compressed_size = 0;
  uint64_t relative_offset = 0;
  uint32_t disk_number_start = 0;
  bool present = false;  // the header has the field at all
};

// Fills `values` from the classic fields, replacing those at their largest
// value with what the extended-information field of `extra` holds. A field
// too short for a value leaves that value as the classic field has it.
Zip64Values ReadZip64Values(std::string_view extra, uint32_t uncompressed_size,
                            uint32_t compressed_size, uint32_t relative_offset,
                            uint16_t disk_number_start, bool central);

}  // namespace vx
