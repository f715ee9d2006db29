// An archive member as the extraction component shows it, and the ordered
// list of members with a hash index for lookup by name.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx {

// What the base class keeps for an item; a ZIP item reads through to its
// central directory header instead (see TAbZipItem).
class TAbArchiveItem {
 public:
  virtual ~TAbArchiveItem() = default;

  virtual int32_t CompressedSize() const { return static_cast<int32_t>(compressed_size_); }
  virtual uint32_t CRC32() const { return crc32_; }
  virtual uint32_t ExternalFileAttributes() const { return external_file_attributes_; }
  virtual std::string FileName() const { return file_name_; }
  virtual bool IsEncrypted() const { return is_encrypted_; }
  virtual uint16_t LastModFileDate() const { return last_mod_file_date_; }
  virtual uint16_t LastModFileTime() const { return last_mod_file_time_; }
  virtual int32_t UncompressedSize() const { return static_cast<int32_t>(uncompressed_size_); }

  virtual void SetCompressedSize(uint32_t value) { compressed_size_ = value; }
  virtual void SetCRC32(uint32_t value) { crc32_ = value; }
  virtual void SetExternalFileAttributes(uint32_t value) { external_file_attributes_ = value; }
  virtual void SetFileName(const std::string& value) { file_name_ = value; }
  virtual void SetIsEncrypted(bool value) { is_encrypted_ = value; }
  virtual void SetLastModFileDate(uint16_t value) { last_mod_file_date_ = value; }
  virtual void SetLastModFileTime(uint16_t value) { last_mod_file_time_ = value; }
  virtual void SetUncompressedSize(uint32_t value) { uncompressed_size_ = value; }

  // The name exactly as the archive stores it.
  const std::string& StoredName() const { return stored_name_; }
  void SetStoredName(const std::string& value) { stored_name_ = value; }
  // FileName with "\" separators: the name as a relative path.
  const std::string& DiskFileName() const { return disk_file_name_; }
  void SetDiskFileName(const std::string& value) { disk_file_name_ = value; }

  // Items read from a directory are not tagged.
  bool Tagged() const { return tagged_; }
  void SetTagged(bool value) { tagged_ = value; }

 private:
  friend class TAbArchiveList;

  uint32_t compressed_size_ = 0;
  uint32_t uncompressed_size_ = 0;
  uint32_t crc32_ = 0;
  uint32_t external_file_attributes_ = 0;
  std::string file_name_;
  std::string stored_name_;
  std::string disk_file_name_;
  bool is_encrypted_ = false;
  uint16_t last_mod_file_date_ = 0;
  uint16_t last_mod_file_time_ = 0;
  bool tagged_ = false;
  // The list's hash chain and the item's place in the list.
  TAbArchiveItem* next_in_bucket_ = nullptr;
  int32_t list_index_ = -1;
};

// Items in directory order, owned by the list, plus a hash index by name.
class TAbArchiveList {
 public:
  static constexpr int32_t kBucketCount = 1021;

  TAbArchiveList() { buckets_.fill(nullptr); }
  TAbArchiveList(const TAbArchiveList&) = delete;
  TAbArchiveList& operator=(const TAbArchiveList&) = delete;

  // Appends the item and enters it in the bucket of its FileName (newest first).
  void Add(std::unique_ptr<TAbArchiveItem> item);
  void Clear();

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises EListError for an index outside 0..Count()-1.
  TAbArchiveItem& Items(int32_t index) const;
  TAbArchiveItem& operator[](int32_t index) const { return Items(index); }

  // The position of the item whose FileName equals `name` regardless of case,
  // or -1.
  int32_t Find(const std::string& name) const;

  // The bucket of a name: ELF hash of its upper-case form, modulo the bucket count.
  static int32_t BucketOf(const std::string& name);

 private:
  std::vector<std::unique_ptr<TAbArchiveItem>> items_;
  std::array<TAbArchiveItem*, kBucketCount> buckets_;
};

}  // namespace vx
