#include "archive/zip_members.h"

#include <climits>
#include <cstring>
#include <new>

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

static_assert(sizeof(void*) != 8 || sizeof(TAbZipItem) == 40, "a ZIP item's record grew");

char* TAbZipItem::RareSpot() const {
  return Text() - ((bits_ & kShapeInText) != 0 ? sizeof(Shape) : 0) - sizeof(RareFields);
}

TAbZipItem::RareFields TAbZipItem::Rare() const {
  RareFields rare;
  std::memcpy(&rare, RareSpot(), sizeof rare);
  return rare;
}

void TAbZipItem::SetRare(const RareFields& rare) {
  std::memcpy(RareSpot(), &rare, sizeof rare);
}

uint32_t TAbZipItem::ExternalFileAttributes() const {
  if ((bits_ & kOwnAttributes) != 0) return OwnFields()->external_file_attributes;
  return GetShape().external_attributes;
}

void TAbZipItem::SetExternalFileAttributes(uint32_t value) {
  MutableFields().external_file_attributes = value;
  bits_ |= kOwnAttributes;
}

std::string_view TAbZipItem::ExtraField() const {
  return {Text() + name_length_, GetShape().extra_length};
}

std::string_view TAbZipItem::FileComment() const {
  if (!HasRare()) return {};
  return {Text() + name_length_ + GetShape().extra_length, Rare().comment_length};
}

void TAbZipItem::SetCompressedSize(uint32_t value) {
  compressed_low_ = value;
  if (HasRare()) {
    RareFields rare = Rare();
    rare.compressed_size = value;
    SetRare(rare);
  }
}

void TAbZipItem::SetUncompressedSize(uint32_t value) {
  uncompressed_low_ = value;
  if (HasRare()) {
    RareFields rare = Rare();
    rare.uncompressed_size = value;
    SetRare(rare);
  }
}

std::string_view TAbZipItem::StoredNameView() const {
  if (const Fields* fields = OwnFields(); fields != nullptr && fields->file_name_set) {
    return fields->file_name;
  }
  return {Text(), name_length_};
}

std::string TAbZipItem::DecodeName(bool& fits) const {
  std::string_view stored = StoredNameView();
  stored = stored.substr(0, stored.find('\0'));
  const Shape shape = GetShape();
  const EntryName name = DecodeEntryName(stored, shape.flag, shape.made_by, ExtraField());
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
  return (GeneralPurposeBitFlag() & 0x0002) != 0 ? 8192 : 4096;
}

int32_t TAbZipItem::ShannonFanoTreeCount() const {
  if (CompressionMethod() != 6) return 0;
  return (GeneralPurposeBitFlag() & 0x0004) != 0 ? 3 : 2;
}

TAbZipMemberStore::TAbZipMemberStore() = default;

TAbZipMemberStore::~TAbZipMemberStore() {
  DestroyItems();
}

size_t TAbZipMemberStore::ShapeHash::operator()(const TAbZipItem::Shape& shape) const {
  uint64_t a =
      shape.external_attributes | uint64_t{shape.made_by} << 32 | uint64_t{shape.needed} << 48;
  uint64_t b = shape.flag | uint64_t{shape.method} << 16 | uint64_t{shape.extra_length} << 32;
  return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
}

uint16_t TAbZipMemberStore::ShapeIndex(const TAbZipItem::Shape& shape) {
  if (last_shape_ != kShapeLimit && shapes_[last_shape_] == shape) return last_shape_;
  auto found = shape_index_.find(shape);
  if (found != shape_index_.end()) {
    last_shape_ = found->second;
  } else {
    if (shapes_.size() >= kShapeLimit) return kShapeLimit;
    last_shape_ = static_cast<uint16_t>(shapes_.size());
    shapes_.push_back(shape);
    shape_index_.emplace(shape, last_shape_);
  }
  return last_shape_;
}

TAbZipItem& TAbZipMemberStore::Items(int32_t index) const {
  CheckListIndex(index, count_);
  return reinterpret_cast<TAbZipItem*>(chunks_[static_cast<size_t>(index >> kChunkShift)].get() +
                                       kRecordsOffset)[index & (kChunkSize - 1)];
}

uint64_t TAbZipMemberStore::TextSpace(size_t length) {
  // A member's text is at most 3 x 65,535 bytes and its prefixes, far less
  // than a block.
  if (text_blocks_.empty() || length > (text_blocks_.size() << kTextBlockShift) - text_end_) {
    text_blocks_.push_back(std::make_unique_for_overwrite<char[]>(kTextBlockSize));
    text_end_ = uint64_t{text_blocks_.size() - 1} << kTextBlockShift;
  }
  const uint64_t position = text_end_;
  text_end_ += length;
  return position;
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

  const uint32_t relative_offset = Get32(fixed + 42);
  const uint16_t disk_number_start = Get16(fixed + 34);
  const TAbZipItem::Shape shape{Get32(fixed + 38),
                                Get16(fixed + 4),
                                Get16(fixed + 6),
                                Get16(fixed + 8),
                                Get16(fixed + 10),
                                extra_length,
                                0};
  const uint16_t shape_index = ShapeIndex(shape);
  const size_t shape_length = shape_index == kShapeLimit ? sizeof shape : 0;

  // The text is read after room for the prefixes; whether the member needs
  // its RareFields shows only once the extra field is read, and when it does
  // not the text moves down and the room is given back.
  constexpr size_t kRareLength = sizeof(TAbZipItem::RareFields);
  uint64_t position =
      TextSpace(kRareLength + shape_length + text_length) + kRareLength + shape_length;
  char* text = TextAt(position);
  if (text_length > 0) stream.ReadBuffer(text, static_cast<int64_t>(text_length));
  const Zip64Values wide =
      ReadZip64Values({text + name_length, extra_length}, Get32(fixed + 24), Get32(fixed + 20),
                      relative_offset, disk_number_start, true);
  const bool rare = wide.uncompressed_size > kMax32 || wide.compressed_size > kMax32 ||
                    wide.relative_offset > kMax32 || comment_length != 0 || disk_number_start != 0;
  if (!rare) {
    std::memmove(text - kRareLength, text, text_length);
    text -= kRareLength;
    position -= kRareLength;
    text_end_ -= kRareLength;
  }
  if (shape_length != 0) std::memcpy(text - sizeof shape, &shape, sizeof shape);

  const int32_t slot = count_ & (kChunkSize - 1);
  if (slot == 0) {
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(
        kRecordsOffset + sizeof(TAbZipItem) * size_t{kChunkSize}));
    new (chunks_.back().get()) ChunkHeader{this, position};
  }
  const auto* header = reinterpret_cast<const ChunkHeader*>(chunks_.back().get());
  // The text of a chunk's members spans less than 4,096 x 1.3 x 196,653
  // bytes, so the offset always fits.
  const uint64_t text_offset = position - header->text_start;
  if (text_offset > UINT32_MAX) throw EAbZipInvalid();
  auto* item =
      new (chunks_.back().get() + kRecordsOffset + sizeof(TAbZipItem) * size_t(slot)) TAbZipItem();
  ++count_;
  item->slot_ = static_cast<uint16_t>(slot);
  item->text_offset_ = static_cast<uint32_t>(text_offset);
  item->shape_ = shape_index == kShapeLimit ? 0 : shape_index;
  item->name_length_ = name_length;
  item->time_ = Get16(fixed + 12);
  item->date_ = Get16(fixed + 14);
  item->crc32_ = Get32(fixed + 16);
  item->uncompressed_low_ = static_cast<uint32_t>(wide.uncompressed_size);
  item->compressed_low_ = static_cast<uint32_t>(wide.compressed_size);
  item->offset_low_ = static_cast<uint32_t>(wide.relative_offset);
  item->bits_ = static_cast<uint8_t>(
      (wide.present ? TAbZipItem::kHasZip64Field : 0) |
      (relative_offset == kMax32 ? TAbZipItem::kOffsetInZip64Field : 0) |
      (rare ? TAbZipItem::kHasRare : 0) | (shape_length != 0 ? TAbZipItem::kShapeInText : 0));
  if (rare) {
    item->SetRare({wide.compressed_size, wide.uncompressed_size, wide.relative_offset,
                   comment_length, disk_number_start});
  }
  indexed_ = false;
  return *item;
}

void TAbZipMemberStore::DestroyItems() {
  for (int32_t index = 0; index < count_; ++index) Items(index).~TAbZipItem();
  count_ = 0;
}

void TAbZipMemberStore::Clear() {
  DestroyItems();
  chunks_.clear();
  text_blocks_.clear();
  text_end_ = 0;
  shapes_.clear();
  shape_index_.clear();
  last_shape_ = kShapeLimit;
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
