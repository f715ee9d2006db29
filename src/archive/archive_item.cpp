#include "archive/archive_item.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "archive/archive_types.h"
#include "archive/name_rules.h"

namespace vx {

namespace {

// The fields of the items that have any, by item. The count lets items skip
// the lock while no item has fields, the usual case for a read archive.
// The table is never destroyed, so that items with static storage may
// outlive the other statics.
std::mutex& field_table_lock = *new std::mutex;
auto& field_table =
    *new std::unordered_map<const TAbArchiveItem*, std::unique_ptr<TAbArchiveItem::Fields>>;
std::atomic<size_t> field_table_size{0};

}  // namespace

TAbArchiveItem::TAbArchiveItem() = default;

TAbArchiveItem::~TAbArchiveItem() {
  if (field_table_size.load(std::memory_order_acquire) == 0) return;
  std::lock_guard<std::mutex> hold(field_table_lock);
  if (field_table.erase(this) != 0) field_table_size.store(field_table.size());
}

const TAbArchiveItem::Fields* TAbArchiveItem::OwnFields() const {
  if (field_table_size.load(std::memory_order_acquire) == 0) return nullptr;
  std::lock_guard<std::mutex> hold(field_table_lock);
  auto found = field_table.find(this);
  return found == field_table.end() ? nullptr : found->second.get();
}

TAbArchiveItem::Fields& TAbArchiveItem::MutableFields() {
  std::lock_guard<std::mutex> hold(field_table_lock);
  std::unique_ptr<Fields>& fields = field_table[this];
  if (!fields) {
    fields = std::make_unique<Fields>();
    field_table_size.store(field_table.size(), std::memory_order_release);
  }
  return *fields;
}

int32_t TAbArchiveItem::CompressedSize() const {
  const Fields* fields = OwnFields();
  return fields ? static_cast<int32_t>(fields->compressed_size) : 0;
}
uint32_t TAbArchiveItem::CRC32() const {
  const Fields* fields = OwnFields();
  return fields ? fields->crc32 : 0;
}
uint32_t TAbArchiveItem::ExternalFileAttributes() const {
  const Fields* fields = OwnFields();
  return fields ? fields->external_file_attributes : 0;
}
std::string TAbArchiveItem::FileName() const {
  const Fields* fields = OwnFields();
  return fields ? fields->file_name : "";
}
bool TAbArchiveItem::IsEncrypted() const {
  const Fields* fields = OwnFields();
  return fields && fields->is_encrypted;
}
uint16_t TAbArchiveItem::LastModFileDate() const {
  const Fields* fields = OwnFields();
  return fields ? fields->last_mod_file_date : 0;
}
uint16_t TAbArchiveItem::LastModFileTime() const {
  const Fields* fields = OwnFields();
  return fields ? fields->last_mod_file_time : 0;
}
int32_t TAbArchiveItem::UncompressedSize() const {
  const Fields* fields = OwnFields();
  return fields ? static_cast<int32_t>(fields->uncompressed_size) : 0;
}
uint64_t TAbArchiveItem::StoredUncompressedSize() const {
  return static_cast<uint32_t>(UncompressedSize());
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
  const Fields* fields = OwnFields();
  return fields ? fields->stored_name : "";
}
void TAbArchiveItem::SetStoredName(const std::string& value) {
  MutableFields().stored_name = value;
}
std::string TAbArchiveItem::DiskFileName() const {
  const Fields* fields = OwnFields();
  return fields ? fields->disk_file_name : "";
}
void TAbArchiveItem::SetDiskFileName(const std::string& value) {
  MutableFields().disk_file_name = value;
}
bool TAbArchiveItem::Tagged() const {
  const Fields* fields = OwnFields();
  return fields && fields->tagged;
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
