#include "archive/zip_members.h"

#include <climits>
#include <cstring>

#include "archive/entry_names.h"
#include "archive/errors.h"
#include "archive/little_endian.h"
#include "archive/name_rules.h"
#include "archive/zip64.h"
#include "platform/codepage.h"
#include "platform/path_text.h"

namespace vx {

namespace {

constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr size_t kCentralHeaderSize = 46;

}  // namespace

std::string_view TAbZipItem::StoredNameView() const {
  if (const Fields* fields = OwnFields(); fields != nullptr && fields->file_name_set) {
    return fields->file_name;
  }
  return {text_, name_length_};
}

std::string TAbZipItem::DecodeName(bool& fits) const {
  std::string_view stored = StoredNameView();
  stored = stored.substr(0, stored.find('\0'));
  const EntryName name = DecodeEntryName(stored, flag_, version_made_by_, ExtraField());
  fits = true;
  std::string result;
  if (name.text.empty()) return result;
  if (name.is_utf8) {
    fits = platform::Utf8ToFileName(name.text, result);
  } else if (platform::FileNamesAreUtf8()) {
    result = Cp437ToUtf8(name.text);
  } else {
    result = platform::FileApisAreAnsi() ? platform::OemToAnsi(name.text) : name.text;
  }
  return result;
}

std::string TAbZipItem::FileName() const {
  bool fits;
  return DecodeName(fits);
}

bool TAbZipItem::NameFitsFileSystem() const {
  bool fits;
  DecodeName(fits);
  return fits;
}

void TAbZipItem::SetFileName(const std::string& value) {
  Fields& fields = MutableFields();
  fields.file_name = value;
  fields.file_name_set = true;
}

std::string TAbZipItem::DiskFileName() const {
  return ToBackslashes(FileName());
}

uint32_t TAbZipItem::DictionarySize() const {
  if (CompressionMethod() != 6) return 0;
  return (flag_ & 0x0002) != 0 ? 8192 : 4096;
}

int32_t TAbZipItem::ShannonFanoTreeCount() const {
  if (CompressionMethod() != 6) return 0;
  return (flag_ & 0x0004) != 0 ? 3 : 2;
}

TAbZipMemberStore::TAbZipMemberStore() = default;
TAbZipMemberStore::~TAbZipMemberStore() = default;

TAbZipItem& TAbZipMemberStore::Items(int32_t index) const {
  CheckListIndex(index, count_);
  return chunks_[static_cast<size_t>(index >> kChunkShift)][index & (kChunkSize - 1)];
}

char* TAbZipMemberStore::TextSpace(size_t length) {
  if (length > kTextBlockSize - text_used_) {
    // A member's text is at most 3 x 65,535 bytes, far less than a block.
    text_blocks_.push_back(std::make_unique_for_overwrite<char[]>(kTextBlockSize));
    text_used_ = 0;
  }
  char* space = text_blocks_.back().get() + text_used_;
  text_used_ += length;
  return space;
}

TAbZipItem& TAbZipMemberStore::ReadMember(TStream& stream) {
  uint8_t fixed[kCentralHeaderSize];
  stream.ReadBuffer(fixed, sizeof fixed);
  if (Get32(fixed) != kCentralHeaderSignature) throw EAbZipInvalid();
  const uint16_t name_length = Get16(fixed + 28);
  const uint16_t extra_length = Get16(fixed + 30);
  const uint16_t comment_length = Get16(fixed + 32);
  // The lengths come from the file: checked against what the stream still
  // holds before anything is taken for them.
  const size_t text_length = size_t{name_length} + extra_length + comment_length;
  if (stream.Size() - stream.Position() < static_cast<int64_t>(text_length)) {
    throw EStreamError("Stream read error");
  }
  if (count_ == INT32_MAX) throw EAbZipInvalid();

  char* text = TextSpace(text_length);
  if (text_length > 0) stream.ReadBuffer(text, static_cast<int64_t>(text_length));

  if ((count_ & (kChunkSize - 1)) == 0) {
    chunks_.push_back(std::make_unique<TAbZipItem[]>(kChunkSize));
  }
  TAbZipItem& item = chunks_.back()[count_ & (kChunkSize - 1)];
  item.text_ = text;
  item.name_length_ = name_length;
  item.extra_length_ = extra_length;
  item.comment_length_ = comment_length;
  item.version_made_by_ = Get16(fixed + 4);
  item.version_needed_ = Get16(fixed + 6);
  item.flag_ = Get16(fixed + 8);
  item.method_ = Get16(fixed + 10);
  item.time_ = Get16(fixed + 12);
  item.date_ = Get16(fixed + 14);
  item.crc32_ = Get32(fixed + 16);
  item.disk_number_start_ = Get16(fixed + 34);
  item.external_attributes_ = Get32(fixed + 38);
  const uint32_t relative_offset = Get32(fixed + 42);
  const Zip64Values wide = ReadZip64Values(item.ExtraField(), Get32(fixed + 24), Get32(fixed + 20),
                                           relative_offset, item.disk_number_start_, true);
  item.uncompressed_size_ = wide.uncompressed_size;
  item.compressed_size_ = wide.compressed_size;
  item.relative_offset_ = wide.relative_offset;
  item.bits_ =
      static_cast<uint8_t>((wide.present ? TAbZipItem::kHasZip64Field : 0) |
                           (relative_offset == kMax32 ? TAbZipItem::kOffsetInZip64Field : 0));
  ++count_;
  indexed_ = false;
  return item;
}

void TAbZipMemberStore::Clear() {
  chunks_.clear();
  count_ = 0;
  text_blocks_.clear();
  text_used_ = kTextBlockSize;
  indexed_ = false;
  next_in_bucket_.clear();
  next_in_bucket_.shrink_to_fit();
}

void TAbZipMemberStore::BuildNameIndex() const {
  buckets_.fill(-1);
  next_in_bucket_.assign(static_cast<size_t>(count_), -1);
  for (int32_t index = 0; index < count_; ++index) {
    int32_t& head =
        buckets_[static_cast<size_t>(TAbArchiveList::BucketOf(Items(index).FileName()))];
    next_in_bucket_[static_cast<size_t>(index)] = head;
    head = index;
  }
  indexed_ = true;
}

int32_t TAbZipMemberStore::Find(const std::string& name) const {
  if (!indexed_) BuildNameIndex();
  for (int32_t index = buckets_[static_cast<size_t>(TAbArchiveList::BucketOf(name))]; index >= 0;
       index = next_in_bucket_[static_cast<size_t>(index)]) {
    if (AnsiSameText(Items(index).FileName(), name)) return index;
  }
  return -1;
}

}  // namespace vx
