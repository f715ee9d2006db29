#include "archive/archive_item.h"

#include "archive/archive_types.h"
#include "archive/name_rules.h"

namespace vx {

void TAbArchiveList::Add(std::unique_ptr<TAbArchiveItem> item) {
  TAbArchiveItem* raw = item.get();
  raw->list_index_ = Count();
  items_.push_back(std::move(item));
  TAbArchiveItem*& head = buckets_[static_cast<size_t>(BucketOf(raw->FileName()))];
  raw->next_in_bucket_ = head;
  head = raw;
}

void TAbArchiveList::Clear() {
  buckets_.fill(nullptr);
  items_.clear();
}

TAbArchiveItem& TAbArchiveList::Items(int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *items_[static_cast<size_t>(index)];
}

int32_t TAbArchiveList::Find(const std::string& name) const {
  for (TAbArchiveItem* item = buckets_[static_cast<size_t>(BucketOf(name))]; item != nullptr;
       item = item->next_in_bucket_) {
    if (AnsiSameText(item->FileName(), name)) return item->list_index_;
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
