#include "archive/zip_archive.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "archive/entry_names.h"
#include "archive/errors.h"
#include "archive/little_endian.h"
#include "archive/name_rules.h"
#include "archive/zip64.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/files.h"

namespace vx {

namespace {

// Reads a variable-length field. The length comes from the file, so it is
// checked against what the stream still holds before anything is allocated.
std::string ReadField(TStream& stream, uint16_t length) {
  if (length == 0) return std::string();
  if (stream.Size() - stream.Position() < length) throw EStreamError("Stream read error");
  std::string field(length, '\0');
  stream.ReadBuffer(field.data(), length);
  return field;
}

// Reads as many bytes as the stream has, up to `count`.
int64_t ReadSome(TStream& stream, uint8_t* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    int64_t got = stream.Read(buffer + done, count - done);
    if (got <= 0) break;
    done += got;
  }
  return done;
}

// Restores a stream's position, and its span setting, when a probe ends.
class ProbeGuard {
 public:
  explicit ProbeGuard(TStream& stream) : stream_(stream), position_(stream.Position()) {
    span_ = dynamic_cast<TAbSpanStream*>(&stream);
    if (span_ != nullptr) span_->SetIgnoreSpanBoundaries(true);
  }
  ~ProbeGuard() {
    if (span_ != nullptr) span_->SetIgnoreSpanBoundaries(false);
    if (restore_) stream_.Seek(position_, soBeginning);
  }
  void KeepPosition() { restore_ = false; }

 private:
  TStream& stream_;
  int64_t position_;
  TAbSpanStream* span_ = nullptr;
  bool restore_ = true;
};

std::string UpperExtension(const std::string& file_name) {
  size_t dot = file_name.find_last_of('.');
  size_t separator = file_name.find_last_of("\\/:");
  if (dot == std::string::npos || (separator != std::string::npos && separator > dot)) return "";
  return AnsiUpperCase(file_name.substr(dot));
}

TAbArchiveType ProbeTar(TStream& stream) {
  ProbeGuard guard(stream);
  uint8_t block[262];
  stream.Seek(0, soBeginning);
  if (ReadSome(stream, block, sizeof block) < static_cast<int64_t>(sizeof block)) return atUnknown;
  return std::memcmp(block + 257, "ustar", 5) == 0 ? atTar : atUnknown;
}

TAbArchiveType ProbeGzip(TStream& stream, bool tar_extension) {
  ProbeGuard guard(stream);
  uint8_t magic[2];
  stream.Seek(0, soBeginning);
  if (ReadSome(stream, magic, 2) < 2 || magic[0] != 0x1F || magic[1] != 0x8B) return atUnknown;
  return tar_extension ? atGzippedTar : atGzip;
}

TAbArchiveType ProbeCab(TStream& stream) {
  ProbeGuard guard(stream);
  uint8_t magic[4];
  stream.Seek(0, soBeginning);
  if (ReadSome(stream, magic, 4) < 4 || std::memcmp(magic, "MSCF", 4) != 0) return atUnknown;
  return atCab;
}

}  // namespace

uint32_t TAbZipFileHeader::DictionarySize() const {
  if (CompressionMethod() != 6) return 0;
  return (general_purpose_bit_flag & 0x0002) != 0 ? 8192 : 4096;
}

int32_t TAbZipFileHeader::ShannonFanoTreeCount() const {
  if (CompressionMethod() != 6) return 0;
  return (general_purpose_bit_flag & 0x0004) != 0 ? 3 : 2;
}

void TAbZipLocalFileHeader::LoadFromStream(TStream& stream) {
  uint8_t fixed[kLocalFileHeaderSize];
  stream.ReadBuffer(fixed, sizeof fixed);
  signature = Get32(fixed);
  if (!SignatureValid()) throw EAbZipInvalid();
  version_needed_to_extract = Get16(fixed + 4);
  general_purpose_bit_flag = Get16(fixed + 6);
  compression_method = Get16(fixed + 8);
  last_mod_file_time = Get16(fixed + 10);
  last_mod_file_date = Get16(fixed + 12);
  crc32 = Get32(fixed + 14);
  compressed_size = Get32(fixed + 18);
  uncompressed_size = Get32(fixed + 22);
  const uint16_t name_length = Get16(fixed + 26);
  const uint16_t extra_length = Get16(fixed + 28);
  file_name = ReadField(stream, name_length);
  extra_field = ReadField(stream, extra_length);
  const Zip64Values wide =
      ReadZip64Values(extra_field, uncompressed_size, compressed_size, 0, 0, false);
  uncompressed_size_64 = wide.uncompressed_size;
  compressed_size_64 = wide.compressed_size;
  has_zip64_field = wide.present;
}

void TAbZipDirectoryFileHeader::LoadFromStream(TStream& stream) {
  uint8_t fixed[kDirectoryFileHeaderSize];
  stream.ReadBuffer(fixed, sizeof fixed);
  signature = Get32(fixed);
  if (!SignatureValid()) throw EAbZipInvalid();
  version_made_by = Get16(fixed + 4);
  version_needed_to_extract = Get16(fixed + 6);
  general_purpose_bit_flag = Get16(fixed + 8);
  compression_method = Get16(fixed + 10);
  last_mod_file_time = Get16(fixed + 12);
  last_mod_file_date = Get16(fixed + 14);
  crc32 = Get32(fixed + 16);
  compressed_size = Get32(fixed + 20);
  uncompressed_size = Get32(fixed + 24);
  const uint16_t name_length = Get16(fixed + 28);
  const uint16_t extra_length = Get16(fixed + 30);
  const uint16_t comment_length = Get16(fixed + 32);
  disk_number_start = Get16(fixed + 34);
  internal_file_attributes = Get16(fixed + 36);
  external_file_attributes = Get32(fixed + 38);
  relative_offset = Get32(fixed + 42);
  file_name = ReadField(stream, name_length);
  extra_field = ReadField(stream, extra_length);
  file_comment = ReadField(stream, comment_length);
  const Zip64Values wide = ReadZip64Values(extra_field, uncompressed_size, compressed_size,
                                           relative_offset, disk_number_start, true);
  uncompressed_size_64 = wide.uncompressed_size;
  compressed_size_64 = wide.compressed_size;
  relative_offset_64 = wide.relative_offset;
  disk_number_start_64 = wide.disk_number_start;
  has_zip64_field = wide.present;
}

void TAbZipDirectoryFileFooter::LoadFromStream(TStream& stream) {
  uint8_t fixed[kDirectoryFooterSize];
  stream.ReadBuffer(fixed, sizeof fixed);
  signature = Get32(fixed);
  if (!SignatureValid()) throw EAbZipInvalid();
  disk_number = Get16(fixed + 4);
  start_disk_number = Get16(fixed + 6);
  entries_on_disk = Get16(fixed + 8);
  total_entries = Get16(fixed + 10);
  directory_size = Get32(fixed + 12);
  directory_offset = Get32(fixed + 16);
  zip_file_comment = ReadField(stream, Get16(fixed + 20));
}

int64_t FindCentralDirectoryTail(TStream& stream) {
  ProbeGuard guard(stream);
  const int64_t size = stream.Size();
  if (size < kDirectoryFooterSize) return -1;

  uint8_t record[kDirectoryFooterSize];
  stream.Seek(size - kDirectoryFooterSize, soBeginning);
  if (ReadSome(stream, record, kDirectoryFooterSize) == kDirectoryFooterSize &&
      Get32(record) == kEndOfCentralDirectorySignature && Get16(record + 20) == 0) {
    stream.Seek(size - kDirectoryFooterSize, soBeginning);
    guard.KeepPosition();
    return size - kDirectoryFooterSize;
  }

  // Backwards in growing windows. Each pass examines the candidates from
  // `top` down to the window's start and reads the 21 bytes after `top` too,
  // so consecutive passes overlap and no start position is missed.
  constexpr int64_t kFirstWindow = 512;
  constexpr int64_t kWindowCap = 65536;
  std::vector<uint8_t> window;
  int64_t length = kFirstWindow;
  int64_t top = size - kDirectoryFooterSize;
  while (top >= 0) {
    const int64_t end = top + kDirectoryFooterSize;
    const int64_t start = std::max<int64_t>(0, end - std::min(length, size));
    window.resize(static_cast<size_t>(end - start));
    stream.Seek(start, soBeginning);
    const int64_t got = ReadSome(stream, window.data(), end - start);
    if (got < end - start) return -1;
    for (int64_t candidate = top; candidate >= start; --candidate) {
      const uint8_t* p = window.data() + (candidate - start);
      if (Get32(p) != kEndOfCentralDirectorySignature) continue;
      // The comment it announces must fit in what follows it.
      if (size - (candidate + kDirectoryFooterSize) < Get16(p + 20)) continue;
      stream.Seek(candidate, soBeginning);
      guard.KeepPosition();
      return candidate;
    }
    top = start - 1;
    length = std::min(length * 2, kWindowCap);
  }
  return -1;
}

TAbArchiveType VerifyZip(TStream& stream) {
  ProbeGuard guard(stream);
  uint8_t start[4];
  stream.Seek(0, soBeginning);
  if (ReadSome(stream, start, 4) == 4) {
    const uint32_t signature = Get32(start);
    if (signature == kSpannedSetSignature || signature == kSingleFileSpannedSignature) {
      return atSpannedZip;
    }
  }
  const int64_t tail = FindCentralDirectoryTail(stream);
  if (tail < 0) return atUnknown;
  uint8_t record[4];
  stream.Seek(tail, soBeginning);
  if (ReadSome(stream, record, 4) == 4 && Get32(record) == kEndOfCentralDirectorySignature) {
    return atZip;
  }
  return atUnknown;
}

TAbArchiveType VerifySelfExtracting(TStream& stream) {
  ProbeGuard guard(stream);
  uint8_t start[4] = {0, 0, 0, 0};
  stream.Seek(0, soBeginning);
  const int64_t got = ReadSome(stream, start, 4);
  const bool dos_executable = got >= 2 && start[0] == 'M' && start[1] == 'Z';
  static constexpr uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
  const bool elf_executable = got == 4 && std::memcmp(start, kElfMagic, 4) == 0;
  if (!dos_executable && !elf_executable) return atUnknown;
  return VerifyZip(stream) == atZip ? atSelfExtZip : atUnknown;
}

TAbArchiveType DetermineArchiveType(const std::string& file_name) {
  const std::string extension = UpperExtension(file_name);
  if (platform::FileSizeBySearch(file_name) > 0) {
    std::unique_ptr<TAbSpanStream> stream = TAbSpanStream::Open(file_name);
    TAbArchiveType type = atUnknown;
    if (extension == ".EXE") type = VerifySelfExtracting(*stream);
    if (extension == ".ZIP") type = VerifyZip(*stream);
    if (extension == ".TAR") type = ProbeTar(*stream);
    if (extension == ".GZ" || extension == ".TGZ") type = ProbeGzip(*stream, extension == ".TGZ");
    if (extension == ".CAB") type = ProbeCab(*stream);
    return type;
  }
  if (extension == ".ZIP") return atZip;
  if (extension == ".TAR") return atTar;
  if (extension == ".GZ") return atGzip;
  if (extension == ".TGZ") return atGzippedTar;
  if (extension == ".CAB") return atCab;
  return atUnknown;
}

TAbArchiveType DetermineArchiveTypeByContents(const std::string& file_name) {
  const TAbArchiveType by_name = DetermineArchiveType(file_name);
  if (by_name == atZip || by_name == atSpannedZip || by_name == atSelfExtZip) return by_name;
  if (platform::FileSizeBySearch(file_name) <= 0) return by_name;
  std::unique_ptr<TAbSpanStream> stream = TAbSpanStream::Open(file_name);
  const int64_t tail = FindCentralDirectoryTail(*stream);
  // An end record is 22 bytes plus a comment of at most 65,535: one further
  // from the end belongs to something else inside a file of another kind.
  if (tail >= 0 && stream->Size() - tail <= kDirectoryFooterSize + 65535) {
    return VerifySelfExtracting(*stream) == atSelfExtZip ? atSelfExtZip : atZip;
  }
  if (VerifyZip(*stream) == atSpannedZip) return atSpannedZip;
  return by_name;
}

TAbZipArchive::TAbZipArchive(const std::string& file_name)
    : TAbArchive(file_name), stream_(TAbSpanStream::Open(file_name)) {}

TAbZipArchive::TAbZipArchive(TStream& stream, const std::string& archive_name)
    : TAbArchive(archive_name), stream_(std::make_unique<TAbSpanStream>(stream)) {}

TAbZipArchive::~TAbZipArchive() = default;

void TAbZipArchive::LoadArchive() {
  TAbSpanStream& stream = *stream_;
  members_.Clear();
  if (stream.Size() == 0) return;

  uint8_t start[4] = {0, 0, 0, 0};
  stream.Seek(0, soBeginning);
  ReadSome(stream, start, 4);
  if (stream.CanSpan()) {
    std::string root = stream.FileName().substr(0, PathRootLength(stream.FileName()));
    removable_ = !root.empty() && platform::GetDriveType(root) == platform::kDriveRemovable;
  }

  // A file that begins like a spanned set may still hold the whole archive
  // (a set that fitted on one disk), so the end record is looked for anyway.
  int64_t tail = FindCentralDirectoryTail(stream);
  if (tail < 0) {
    if (start[0] != 'P' || start[1] != 'K') {
      SetStatus(asInvalid);
      throw EAbZipInvalid();
    }
    FindLastDisk(tail);
  }

  stream.Seek(tail, soBeginning);
  try {
    footer_.LoadFromStream(stream);
  } catch (const EAbZipInvalid&) {
    SetStatus(asInvalid);
    throw;
  }
  // The disk numbers at their largest value hand over to the ZIP64 record
  // like the other fields, so an archive that marks every field is not
  // taken for the last disk of a spanned set.
  zip64_found_ = ReadZip64Records(tail);
  uint32_t disk = footer_.disk_number;
  uint32_t start_disk = footer_.start_disk_number;
  if (zip64_found_ && disk == kMax16) disk = zip64_record_.disk_number;
  if (zip64_found_ && start_disk == kMax16) start_disk = zip64_record_.start_disk_number;
  if (disk > kMax16 || start_disk > kMax16) {
    SetStatus(asInvalid);
    throw EAbZipInvalid();
  }
  current_disk_ = static_cast<uint16_t>(disk);
  last_disk_ = current_disk_;
  last_disk_name_ = stream.FileName();
  if (current_disk_ != 0) spanned_ = true;
  if (spanned_) {
    stream.OnEndOfImage = [this] {
      if (current_disk_ >= last_disk_) return false;
      SwitchToDisk(static_cast<uint16_t>(current_disk_ + 1));
      return true;
    };
    if (start_disk != current_disk_) SwitchToDisk(static_cast<uint16_t>(start_disk));
  }

  LocateDirectory(tail);
  stream.Seek(directory_start_, soBeginning);
  int64_t entries = 0;
  try {
    while (current_disk_ != last_disk_ || stream.Position() < directory_end_) {
      if (spanned_ && current_disk_ < last_disk_ && stream.Position() >= stream.Size()) {
        SwitchToDisk(static_cast<uint16_t>(current_disk_ + 1));
        continue;
      }
      members_.ReadMember(stream);
      ++entries;
      // A count of 0 (or one too small) in the end record must neither divide
      // by zero nor report more than 100.
      const uint64_t total = total_entries_;
      const uint8_t progress = total == 0 ? 0
                                          : static_cast<uint8_t>(std::min<uint64_t>(
                                                100, static_cast<uint64_t>(entries) * 100 / total));
      if (DoArchiveProgress(progress)) {
        SetStatus(asInvalid);
        throw EAbUserAbort();
      }
    }
  } catch (const EFileError&) {
    throw;
  } catch (const EStreamError&) {
    // The directory runs past the end of the file.
    SetStatus(asInvalid);
    throw EAbReadError();
  } catch (const EAbZipInvalid&) {
    SetStatus(asInvalid);
    throw;
  }
  // A directory that ends before the members its end record declares (or
  // that lies outside the file) is a damaged archive, not an empty one.
  if (static_cast<uint64_t>(entries) < total_entries_) {
    SetStatus(asInvalid);
    throw EAbZipInvalid();
  }
  try {
    CheckMembersDoNotOverlap();
  } catch (const EAbZipInvalid&) {
    SetStatus(asInvalid);
    throw;
  }
  DoArchiveProgress(100);
}

namespace {

bool HasDirectoryHeaderAt(TStream& stream, int64_t position) {
  uint8_t signature[4];
  if (position < 0 || stream.Size() - position < 4) return false;
  stream.Seek(position, soBeginning);
  return ReadSome(stream, signature, 4) == 4 && Get32(signature) == kDirectoryFileHeaderSignature;
}

}  // namespace

void TAbZipArchive::LocateDirectory(int64_t tail) {
  TAbSpanStream& stream = *stream_;
  zip64_ = false;
  prepended_ = 0;
  total_entries_ = footer_.total_entries;
  directory_start_ = footer_.directory_offset;
  directory_end_ = tail;
  // The offsets of a spanned set point into other files.
  if (spanned_) return;

  uint64_t offset = footer_.directory_offset;
  uint64_t size = footer_.directory_size;
  if (zip64_found_) {
    zip64_ = true;
    directory_end_ = zip64_at_;
    if (footer_.total_entries == kMax16) total_entries_ = zip64_record_.total_entries;
    if (footer_.directory_size == kMax32) size = zip64_record_.directory_size;
    if (footer_.directory_offset == kMax32) offset = zip64_record_.directory_offset;
  }

  const auto file_size = static_cast<uint64_t>(stream.Size());
  directory_start_ = static_cast<int64_t>(std::min(offset, file_size));
  if (total_entries_ == 0 && size == 0) {
    // Nothing to read, wherever the offset points.
    directory_start_ = directory_end_;
    return;
  }
  if (HasDirectoryHeaderAt(stream, directory_start_)) return;
  // The directory should end where the end records begin. When it does not
  // start at its offset but as far beyond it as it falls short of that end,
  // the bytes in front of the archive were not counted in its offsets.
  if (offset <= file_size && size <= file_size &&
      offset + size < static_cast<uint64_t>(directory_end_)) {
    const int64_t shift = directory_end_ - static_cast<int64_t>(offset + size);
    if (HasDirectoryHeaderAt(stream, directory_start_ + shift)) {
      prepended_ = shift;
      directory_start_ += shift;
    }
  }
}

bool TAbZipArchive::ReadZip64Records(int64_t tail) {
  TAbSpanStream& stream = *stream_;
  Zip64Locator locator;
  if (!ReadZip64Locator(stream, tail - kZip64LocatorSize, locator)) return false;
  // The record is where the locator says or, when other data precedes the
  // archive and shifts everything, right before the locator.
  int64_t at = locator.end_record_offset < static_cast<uint64_t>(tail)
                   ? static_cast<int64_t>(locator.end_record_offset)
                   : -1;
  bool found = at >= 0 && ReadZip64EndRecord(stream, at, zip64_record_);
  if (!found) {
    at = tail - kZip64LocatorSize - kZip64EndRecordSize;
    found = ReadZip64EndRecord(stream, at, zip64_record_);
  }
  zip64_at_ = at;
  return found;
}

void TAbZipArchive::CheckMembersDoNotOverlap() {
  const int32_t count = members_.Count();
  if (count < 2) return;
  // Members sorted by where their local headers are; writers put them in
  // that order already, so the sort is mostly skipped.
  auto before = [this](int32_t a, int32_t b) {
    const TAbZipItem& x = members_.Items(a);
    const TAbZipItem& y = members_.Items(b);
    if (x.DiskNumberStart() != y.DiskNumberStart()) {
      return x.DiskNumberStart() < y.DiskNumberStart();
    }
    return x.RelativeOffset64() < y.RelativeOffset64();
  };
  std::vector<int32_t> order;
  bool sorted = true;
  for (int32_t i = 1; i < count && sorted; ++i) sorted = !before(i, i - 1);
  if (!sorted) {
    order.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), before);
  }
  // The i-th member in offset order.
  auto nth = [&](int32_t i) -> const TAbZipItem& {
    return members_.Items(sorted ? i : order[static_cast<size_t>(i)]);
  };
  auto quoted = [](const TAbZipItem& item) { return "\"" + item.StoredName() + "\""; };
  for (int32_t i = 1; i < count; ++i) {
    const TAbZipItem& previous = nth(i - 1);
    const TAbZipItem& item = nth(i);
    if (previous.DiskNumberStart() != item.DiskNumberStart()) continue;
    const uint64_t start = previous.RelativeOffset64();
    if (item.RelativeOffset64() == start) {
      throw EAbZipMembersOverlap(quoted(previous) + " and " + quoted(item) +
                                 " name the same local header at offset " + std::to_string(start));
    }
    // The previous member takes at least its fixed header and its data; its
    // name and extra field in the local header are left out, as they need
    // not match the directory's.
    const uint64_t fixed_end = start + static_cast<uint64_t>(kLocalFileHeaderSize);
    const uint64_t data = previous.StoredCompressedSize();
    const uint64_t end = data > UINT64_MAX - fixed_end ? UINT64_MAX : fixed_end + data;
    if (item.RelativeOffset64() < end) {
      throw EAbZipMembersOverlap("the local header of " + quoted(item) + " at offset " +
                                 std::to_string(item.RelativeOffset64()) + " lies inside " +
                                 quoted(previous) + ", which takes offsets " +
                                 std::to_string(start) + " to " + std::to_string(end));
    }
  }
}

int64_t TAbZipArchive::LocalHeaderPosition(const TAbZipItem& item) const {
  const uint64_t offset = item.RelativeOffset64();
  if (offset > static_cast<uint64_t>(INT64_MAX - prepended_)) return INT64_MAX;
  return static_cast<int64_t>(offset) + prepended_;
}

bool TAbZipArchive::AcceptsVersionNeeded(TAbZipItem& item) {
  const auto version = static_cast<uint8_t>(item.VersionNeededToExtract());
  if (version <= kHighestVersionNeeded) return true;
  if (version <= kNewerMethodsVersionNeeded && IsNewerZipMethod(item.CompressionMethod())) {
    return true;
  }
  if (version != kZip64VersionNeeded) return false;
  if (zip64_ || item.HasZip64Field()) return true;
  // A writer that could not know the sizes in advance may have marked only
  // the local header as ZIP64.
  if (spanned_) return false;
  TAbZipLocalFileHeader local;
  try {
    stream_->Seek(LocalHeaderPosition(item), soBeginning);
    local.LoadFromStream(*stream_);
  } catch (const std::exception&) {
    return false;
  }
  return local.has_zip64_field;
}

std::string TAbZipArchive::ImageName(int32_t image_number) const {
  std::string name = ArchiveName();
  const std::string extension = UpperExtension(name);
  char digits[3] = {static_cast<char>('0' + (image_number / 10) % 10),
                    static_cast<char>('0' + image_number % 10), '\0'};
  if (extension.size() >= 3) {
    name.replace(name.size() - 2, 2, digits);
  } else {
    name += std::string(extension.empty() ? "." : "") + digits;
  }
  return name;
}

void TAbZipArchive::FindLastDisk(int64_t& tail) {
  if (!stream_->CanSpan()) throw EAbZipBadSpanStream();
  constexpr int32_t kMaxImages = 99;
  for (int32_t attempt = 1; attempt <= kMaxImages; ++attempt) {
    std::string name;
    bool abort = false;
    if (removable_) {
      // The same name on another disk: ask for the disk and read again.
      if (OnRequestLastDisk) {
        OnRequestLastDisk(abort);
      } else {
        abort = true;
      }
      name = ArchiveName();
    } else {
      name = ImageName(attempt);
      if (OnRequestImage) OnRequestImage(attempt, name, abort);
    }
    if (abort) throw EAbUserAbort();
    if (!platform::FileExists(name)) continue;
    stream_->SwitchImage(name);
    tail = FindCentralDirectoryTail(*stream_);
    if (tail >= 0) {
      spanned_ = true;
      return;
    }
  }
  throw EAbFileNotFound();
}

void TAbZipArchive::SwitchToDisk(uint16_t disk) {
  if (!stream_->CanSpan()) throw EAbZipBadSpanStream();
  std::string name;
  bool abort = false;
  if (removable_) {
    name = ArchiveName();
    if (OnRequestNthDisk) OnRequestNthDisk(static_cast<uint8_t>(disk + 1), abort);
  } else {
    name = disk == last_disk_ ? last_disk_name_ : ImageName(disk + 1);
    if (OnRequestImage) OnRequestImage(disk + 1, name, abort);
  }
  if (abort) throw EAbUserAbort();
  if (!platform::FileExists(name)) throw EAbFileNotFound();
  stream_->SwitchImage(name);
  current_disk_ = disk;
}

}  // namespace vx
