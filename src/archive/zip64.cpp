#include "archive/zip64.h"

#include "archive/little_endian.h"

namespace vx {

namespace {

// Reads `count` bytes at `position` when the stream holds them all.
bool ReadAt(TStream& stream, int64_t position, uint8_t* buffer, int64_t count) {
  if (position < 0 || stream.Size() - position < count) return false;
  stream.Seek(position, soBeginning);
  int64_t done = 0;
  while (done < count) {
    const int64_t got = stream.Read(buffer + done, count - done);
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

}  // namespace

bool ReadZip64Locator(TStream& stream, int64_t position, Zip64Locator& locator) {
  uint8_t bytes[kZip64LocatorSize];
  if (!ReadAt(stream, position, bytes, sizeof bytes)) return false;
  if (Get32(bytes) != kZip64LocatorSignature) return false;
  locator.end_record_disk = Get32(bytes + 4);
  locator.end_record_offset = Get64(bytes + 8);
  locator.total_disks = Get32(bytes + 16);
  return true;
}

bool ReadZip64EndRecord(TStream& stream, int64_t position, Zip64EndRecord& record) {
  uint8_t bytes[kZip64EndRecordSize];
  if (!ReadAt(stream, position, bytes, sizeof bytes)) return false;
  if (Get32(bytes) != kZip64EndRecordSignature) return false;
  record.record_size = Get64(bytes + 4);
  record.version_made_by = Get16(bytes + 12);
  record.version_needed = Get16(bytes + 14);
  record.disk_number = Get32(bytes + 16);
  record.start_disk_number = Get32(bytes + 20);
  record.entries_on_disk = Get64(bytes + 24);
  record.total_entries = Get64(bytes + 32);
  record.directory_size = Get64(bytes + 40);
  record.directory_offset = Get64(bytes + 48);
  return true;
}

bool FindExtraField(std::string_view extra, uint16_t id, std::string_view& data) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(extra.data());
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint16_t field_id = Get16(bytes + at);
    const uint16_t length = Get16(bytes + at + 2);
    if (extra.size() - at - 4 < length) return false;
    if (field_id == id) {
      data = std::string_view(extra.data() + at + 4, length);
      return true;
    }
    at += 4 + static_cast<size_t>(length);
  }
  return false;
}

Zip64Values ReadZip64Values(std::string_view extra, uint32_t uncompressed_size,
                            uint32_t compressed_size, uint32_t relative_offset,
                            uint16_t disk_number_start, bool central) {
  Zip64Values values;
  values.uncompressed_size = uncompressed_size;
  values.compressed_size = compressed_size;
  values.relative_offset = relative_offset;
  values.disk_number_start = disk_number_start;
  std::string_view field;
  if (!FindExtraField(extra, kZip64ExtraFieldId, field)) return values;
  values.present = true;
  const auto* p = reinterpret_cast<const uint8_t*>(field.data());
  size_t left = field.size();
  auto take64 = [&](uint64_t& value) {
    if (left < 8) return;
    value = Get64(p);
    p += 8;
    left -= 8;
  };
  if (uncompressed_size == kMax32) take64(values.uncompressed_size);
  if (compressed_size == kMax32) take64(values.compressed_size);
  if (!central) return values;
  if (relative_offset == kMax32) take64(values.relative_offset);
  if (disk_number_start == kMax16 && left >= 4) values.disk_number_start = Get32(p);
  return values;
}

}  // namespace vx
