// An archive member as the extraction component shows it, and the ordered
// list of members with a hash index for lookup by name.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx {

// What the base class keeps for an item is held apart, in a table shared by
// all items and filled at an item's first setter call, so that an item that
// reads its values from elsewhere (a ZIP item reads its directory record,
// see TAbZipItem) costs nothing here but its virtual table pointer.
class TAbArchiveItem {
 public:
  TAbArchiveItem();
  virtual ~TAbArchiveItem();
  TAbArchiveItem(const TAbArchiveItem&) = delete;
  TAbArchiveItem& operator=(const TAbArchiveItem&) = delete;

  virtual int32_t CompressedSize() const;
  virtual uint32_t CRC32() const;
  virtual uint32_t ExternalFileAttributes() const;
  virtual std::string FileName() const;
  virtual bool IsEncrypted() const;
  virtual uint16_t LastModFileDate() const;
  virtual uint16_t LastModFileTime() const;
  virtual int32_t UncompressedSize() const;
  // The whole uncompressed size, never cut to 32 bits nor negative: a ZIP64
  // member's is its extended size, any other item's its UncompressedSize
  // read as unsigned.
  virtual uint64_t StoredUncompressedSize() const;

  virtual void SetCompressedSize(uint32_t value);
  virtual void SetCRC32(uint32_t value);
  virtual void SetExternalFileAttributes(uint32_t value);
  virtual void SetFileName(const std::string& value);
  virtual void SetIsEncrypted(bool value);
  virtual void SetLastModFileDate(uint16_t value);
  virtual void SetLastModFileTime(uint16_t value);
  virtual void SetUncompressedSize(uint32_t value);

  // The name exactly as the archive stores it.
  virtual std::string StoredName() const;
  void SetStoredName(const std::string& value);
  // FileName with "\" separators: the name as a relative path.
  virtual std::string DiskFileName() const;
  void SetDiskFileName(const std::string& value);

  // Items read from a directory are not tagged.
  bool Tagged() const;
  void SetTagged(bool value);

  // What the setters keep (see OwnFields).
  struct Fields {
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint32_t crc32 = 0;
    uint32_t external_file_attributes = 0;
    std::string file_name;
    std::string stored_name;
    std::string disk_file_name;
    bool is_encrypted = false;
    uint16_t last_mod_file_date = 0;
    uint16_t last_mod_file_time = 0;
    bool tagged = false;
    bool file_name_set = false;
  };

 protected:
  // The fields, or null while no setter has run. While no item in the
  // process has fields this costs one atomic load.
  const Fields* OwnFields() const;
  Fields& MutableFields();
};

// Items in directory order, owned by the list, plus a hash index by name.
class TAbArchiveList {
 public:
  static constexpr int32_t kBucketCount = 1021;

  TAbArchiveList() { buckets_.fill(-1); }
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
  // The hash chains: the newest item of each bucket, and for each item the
  // next older one in its bucket (-1 ends a chain).
  std::array<int32_t, kBucketCount> buckets_;
  std::vector<int32_t> next_in_bucket_;
};

// Raises the list's error for an index outside 0..count-1.
void CheckListIndex(int32_t index, int32_t count);

}  // namespace vx
