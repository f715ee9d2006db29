// The members of a ZIP archive as its central directory lists them, kept
// compactly: a member's item is a fixed-size record of 40 bytes (its
// directory fields, with the sizes and the local header offset cut to 32
// bits, and the fields most members share named by their place in a table)
// and its name, extra field and comment lie one after another in large
// blocks of text the store shares among all members, after, for the few
// members that need them, the fields the record has no room for. An archive
// of a million members so costs about 40 bytes per member plus its names,
// and the records never move once read,
// so references to items stay valid while the archive is open.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/archive_item.h"
#include "platform/stream.h"

namespace vx {

class TAbZipMemberStore;

// A member of a ZIP archive; every accessor reads its directory record.
class TAbZipItem : public TAbArchiveItem {
 public:
  // The sizes as signed 32-bit values; for ZIP64 members the low half of the
  // size the extended information gives.
  int32_t CompressedSize() const override { return static_cast<int32_t>(compressed_low_); }
  uint32_t CRC32() const override { return crc32_; }
  uint32_t ExternalFileAttributes() const override;
  // The name in the character set of the file functions: an OEM name (see
  // entry_names.h) from the OEM to the ANSI code page when the process's file
  // functions use ANSI names, or to UTF-8 where file names are UTF-8; a UTF-8
  // name as is, or in the file functions' code page.
  std::string FileName() const override;
  // False when the name holds characters the file functions' code page
  // lacks; FileName then shows them as "?" and the member cannot be written.
  bool NameFitsFileSystem() const;
  bool IsEncrypted() const override { return (GeneralPurposeBitFlag() & 0x0001) != 0; }
  uint16_t LastModFileDate() const override { return date_; }
  uint16_t LastModFileTime() const override { return time_; }
  int32_t UncompressedSize() const override { return static_cast<int32_t>(uncompressed_low_); }

  void SetCompressedSize(uint32_t value) override;
  void SetCRC32(uint32_t value) override { crc32_ = value; }
  void SetExternalFileAttributes(uint32_t value) override;
  // The new name is kept as the stored name would be.
  void SetFileName(const std::string& value) override;
  void SetLastModFileDate(uint16_t value) override { date_ = value; }
  void SetLastModFileTime(uint16_t value) override { time_ = value; }
  void SetUncompressedSize(uint32_t value) override;

  // The name exactly as the directory stores it.
  std::string StoredName() const override { return std::string(StoredNameView()); }
  std::string_view StoredNameView() const;
  // FileName with "\" separators.
  std::string DiskFileName() const override;

  // Low byte of the method field.
  uint8_t CompressionMethod() const { return static_cast<uint8_t>(GetShape().method); }
  uint16_t GeneralPurposeBitFlag() const { return GetShape().flag; }
  uint16_t VersionNeededToExtract() const { return GetShape().needed; }
  uint16_t VersionMadeBy() const { return GetShape().made_by; }
  uint16_t DiskNumberStart() const { return HasRare() ? Rare().disk_number_start : 0; }
  // The offset field as stored (0xFFFFFFFF when the ZIP64 field replaces it).
  uint32_t RelativeOffset() const {
    return (bits_ & kOffsetInZip64Field) != 0 ? 0xFFFFFFFFu : offset_low_;
  }
  // The local header's offset with the ZIP64 extended information applied.
  uint64_t RelativeOffset64() const { return HasRare() ? Rare().relative_offset : offset_low_; }
  // Whether the central header carries a ZIP64 extended-information field.
  bool HasZip64Field() const { return (bits_ & kHasZip64Field) != 0; }
  // Implode only: 8 KiB or 4 KiB window (flag bit 1); 0 for other methods.
  uint32_t DictionarySize() const;
  // Implode only: 3 or 2 Shannon-Fano trees (flag bit 2); 0 for other methods.
  int32_t ShannonFanoTreeCount() const;
  std::string_view ExtraField() const;
  std::string_view FileComment() const;
  // The full sizes (ZIP64 included), for arithmetic that must not see them
  // negative or cut to 32 bits.
  uint64_t StoredCompressedSize() const {
    return HasRare() ? Rare().compressed_size : compressed_low_;
  }
  uint64_t StoredUncompressedSize() const override {
    return HasRare() ? Rare().uncompressed_size : uncompressed_low_;
  }

 private:
  friend class TAbZipMemberStore;
  static constexpr uint8_t kHasZip64Field = 1;
  static constexpr uint8_t kOffsetInZip64Field = 2;
  // The item has its RareFields in the text.
  static constexpr uint8_t kHasRare = 4;
  // The item has its Shape in the text rather than in the store's table.
  static constexpr uint8_t kShapeInText = 8;
  // The attributes were set; the base class's fields hold them.
  static constexpr uint8_t kOwnAttributes = 16;

  // The directory fields that most members of an archive share, kept once in
  // the store's table and named by their position there.
  struct Shape {
    uint32_t external_attributes;
    uint16_t made_by;
    uint16_t needed;
    uint16_t flag;
    uint16_t method;
    uint16_t extra_length;
    uint16_t unused;
    bool operator==(const Shape&) const = default;
  };
  // Kept in the text before the name (and before the Shape when it is
  // there), only for a member with a value the record has no room for: a
  // size or offset of 4 GiB or more, a comment or a start disk other than 0.
  struct RareFields {
    uint64_t compressed_size;
    uint64_t uncompressed_size;
    uint64_t relative_offset;
    uint16_t comment_length;
    uint16_t disk_number_start;
  };

  bool HasRare() const { return (bits_ & kHasRare) != 0; }
  inline Shape GetShape() const;
  RareFields Rare() const;
  void SetRare(const RareFields& rare);
  // The start of the name in the store's text; the prefixes lie before it.
  inline char* Text() const;
  char* RareSpot() const;
  inline const TAbZipMemberStore* Store() const;

  // The name decoded from its stored form, and whether the file functions'
  // code page holds it.
  std::string DecodeName(bool& fits) const;

  // Where the name starts, from the text position of the chunk's first
  // member (see TAbZipMemberStore::ChunkHeader).
  uint32_t text_offset_ = 0;
  uint32_t crc32_ = 0;
  // The sizes and offset, cut to 32 bits; RareFields has them whole.
  uint32_t compressed_low_ = 0;
  uint32_t uncompressed_low_ = 0;
  uint32_t offset_low_ = 0;
  uint16_t time_ = 0;
  uint16_t date_ = 0;
  uint16_t name_length_ = 0;
  uint16_t shape_ = 0;
  // The item's position in its chunk, which leads to the chunk's header.
  uint16_t slot_ = 0;
  uint8_t bits_ = 0;
};

// The items of one archive in directory order, with a lookup by name that
// is built the first time it is asked for.
class TAbZipMemberStore {
 public:
  TAbZipMemberStore();
  ~TAbZipMemberStore();
  TAbZipMemberStore(const TAbZipMemberStore&) = delete;
  TAbZipMemberStore& operator=(const TAbZipMemberStore&) = delete;

  int32_t Count() const { return count_; }
  // Raises EListError for an index outside 0..Count()-1.
  TAbZipItem& Items(int32_t index) const;
  // The position of the last item whose FileName equals `name` regardless
  // of case, or -1.
  int32_t Find(const std::string& name) const;

  // Reads one central directory header at the stream's position into a new
  // item. A wrong signature raises EAbZipInvalid; a header that runs past
  // the end of the stream EStreamError.
  TAbZipItem& ReadMember(TStream& stream);
  void Clear();

 private:
  friend class TAbZipItem;
  static constexpr int32_t kChunkShift = 12;  // 4,096 records a chunk
  static constexpr int32_t kChunkSize = 1 << kChunkShift;
  static constexpr int kTextBlockShift = 20;
  static constexpr size_t kTextBlockSize = size_t{1} << kTextBlockShift;
  static constexpr uint16_t kShapeLimit = 0xFFFF;

  // What a chunk holds before its records: the store, and the text position
  // its records' text offsets count from.
  struct ChunkHeader {
    TAbZipMemberStore* store;
    uint64_t text_start;
  };
  static constexpr size_t kRecordsOffset =
      (sizeof(ChunkHeader) + alignof(TAbZipItem) - 1) / alignof(TAbZipItem) * alignof(TAbZipItem);

  // Room for `length` bytes of text that never moves; its text position.
  uint64_t TextSpace(size_t length);
  char* TextAt(uint64_t position) const {
    return text_blocks_[static_cast<size_t>(position >> kTextBlockShift)].get() +
           (position & (kTextBlockSize - 1));
  }
  // The shape's position in the table, or kShapeLimit when the table is full.
  uint16_t ShapeIndex(const TAbZipItem::Shape& shape);
  void DestroyItems();
  void BuildNameIndex() const;

  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  int32_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> text_blocks_;
  uint64_t text_end_ = 0;  // the next free text position
  std::vector<TAbZipItem::Shape> shapes_;
  struct ShapeHash {
    size_t operator()(const TAbZipItem::Shape& shape) const;
  };
  std::unordered_map<TAbZipItem::Shape, uint16_t, ShapeHash> shape_index_;
  uint16_t last_shape_ = kShapeLimit;

  mutable bool indexed_ = false;
  mutable std::array<int32_t, TAbArchiveList::kBucketCount> buckets_{};
  mutable std::vector<int32_t> next_in_bucket_;
};

inline const TAbZipMemberStore* TAbZipItem::Store() const {
  const auto* header = reinterpret_cast<const TAbZipMemberStore::ChunkHeader*>(
      reinterpret_cast<const char*>(this) - size_t{slot_} * sizeof(TAbZipItem) -
      TAbZipMemberStore::kRecordsOffset);
  return header->store;
}

inline char* TAbZipItem::Text() const {
  const auto* header = reinterpret_cast<const TAbZipMemberStore::ChunkHeader*>(
      reinterpret_cast<const char*>(this) - size_t{slot_} * sizeof(TAbZipItem) -
      TAbZipMemberStore::kRecordsOffset);
  return header->store->TextAt(header->text_start + text_offset_);
}

inline TAbZipItem::Shape TAbZipItem::GetShape() const {
  Shape shape;
  if ((bits_ & kShapeInText) != 0) {
    std::memcpy(&shape, Text() - sizeof shape, sizeof shape);
  } else {
    shape = Store()->shapes_[shape_];
  }
  return shape;
}

}  // namespace vx
