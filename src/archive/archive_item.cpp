#include "archive/archive_item.h"

#include "archive/archive_types.h"
#include "archive/name_rules.h"

namespace vx {

TAbArchiveItem::TAbArchiveItem() = default;
TAbArchiveItem::~TAbArchiveItem() = default;

TAbArchiveItem::Fields& TAbArchiveItem::MutableFields() {
  if (!fields_) fields_ = std::make_unique<Fields>();
  return *fields_;
}

int32_t TAbArchiveItem::CompressedSize() const {
  return fields_ ? static_cast<int32_t>(fields_->compressed_size) : 0;
}
uint32_t TAbArchiveItem::CRC32() const {
  return fields_ ? fields_->crc32 : 0;
}
uint32_t TAbArchiveItem::ExternalFileAttributes() const {
  return fields_ ? fields_->external_file_attributes : 0;
}
std::string TAbArchiveItem::FileName() const {
  return fields_ ? fields_->file_name : "";
}
bool TAbArchiveItem::IsEncrypted() const {
  return fields_ && fields_->is_encrypted;
}
uint16_t TAbArchiveItem::LastModFileDate() const {
  return fields_ ? fields_->last_mod_file_date : 0;
}
uint16_t TAbArchiveItem::LastModFileTime() const {
  return fields_ ? fields_->last_mod_file_time : 0;
}
int32_t TAbArchiveItem::UncompressedSize() const {
  return fields_ ? static_cast<int32_t>(fields_->uncompressed_size) : 0;
}

void TAbArchiveItem::SetCompressedSize(uint32_t value) {
  MutableFields().compressed_size = value;
}
void TAbArchiveItem::SetCRC32(uint32_t value) {
  MutableFields().crc32 = value;
}
void TAbArchiveItem::SetExternalFileAttributes(uint32_t value) {
  MutableFields().external_file_attributes = value;
}
void TAbArchiveItem::SetFileName(const std::string& value) {
  Fields& fields = MutableFields();
  fields.file_name = value;
  fields.file_name_set = true;
}
void TAbArchiveItem::SetIsEncrypted(bool value) {
  MutableFields().is_encrypted = value;
}
void TAbArchiveItem::SetLastModFileDate(uint16_t value) {
  MutableFields().last_mod_file_date = value;
}
void TAbArchiveItem::SetLastModFileTime(uint16_t value) {
  MutableFields().last_mod_file_time = value;
}
void TAbArchiveItem::SetUncompressedSize(uint32_t value) {
  MutableFields().uncompressed_size = value;
}

std::string TAbArchiveItem::StoredName() const {
  return fields_ ? fields_->stored_name : "";
}
void TAbArchiveItem::SetStoredName(const std::string& value) {
  MutableFields().stored_name = value;
}
std::string TAbArchiveItem::DiskFileName() const {
  return fields_ ? fields_->disk_file_name : "";
}
void TAbArchiveItem::SetDiskFileName(const std::string& value) {
  MutableFields().disk_file_name = value;
}
bool TAbArchiveItem::Tagged() const {
  return fields_ && fields_->tagged;
}
void TAbArchiveItem::SetTagged(bool value) {
  MutableFields().tagged = value;
}

void CheckListIndex(int32_t index, int32_t count) {
  if (index < 0 || index >= count) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

void TAbArchiveList::Add(std::unique_ptr<TAbArchiveItem> item) {
  const int32_t index = Count();
  int32_t& head = buckets_[static_cast<size_t>(BucketOf(item->FileName()))];
  next_in_bucket_.push_back(head);
  head = index;
  items_.push_back(std::move(item));
}

void TAbArchiveList::Clear() {
  buckets_.fill(-1);
  items_.clear();
  next_in_bucket_.clear();
}

TAbArchiveItem& TAbArchiveList::Items(int32_t index) const {
  CheckListIndex(index, Count());
  return *items_[static_cast<size_t>(index)];
}

int32_t TAbArchiveList::Find(const std::string& name) const {
  for (int32_t index = buckets_[static_cast<size_t>(BucketOf(name))]; index >= 0;
       index = next_in_bucket_[static_cast<size_t>(index)]) {
    if (AnsiSameText(items_[static_cast<size_t>(index)]->FileName(), name)) return index;
  }
  return -1;
}

int32_t TAbArchiveList::BucketOf(const std::string& name) {
  uint32_t hash = 0;
  for (char c : AnsiUpperCase(name)) {
    hash = (hash << 4) + static_cast<unsigned char>(c);
    uint32_t high = hash & 0xF0000000u;
    if (high != 0) hash ^= high >> 24;
    hash &= ~high;
  }
  return static_cast<int32_t>(hash % kBucketCount);
}

}  // namespace vx
