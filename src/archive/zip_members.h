// The members of a ZIP archive as its central directory lists them, kept
// compactly: a member's item is a fixed-size record (its directory fields,
// with the sizes and the local header offset in 64 bits) and its name, extra
// field and comment lie one after another in large blocks of text the store
// shares among all members. An archive of a million members so costs about
// 80 bytes per member plus its names, and the records never move once read,
// so references to items stay valid while the archive is open.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_item.h"
#include "platform/stream.h"

namespace vx {

// A member of a ZIP archive; every accessor reads its directory record.
class TAbZipItem : public TAbArchiveItem {
 public:
  // The sizes as signed 32-bit values; for ZIP64 members the low half of the
  // size the extended information gives.
  int32_t CompressedSize() const override { return static_cast<int32_t>(compressed_size_); }
  uint32_t CRC32() const override { return crc32_; }
  uint32_t ExternalFileAttributes() const override { return external_attributes_; }
  // The name in the character set of the file functions: an OEM name (see
  // entry_names.h) from the OEM to the ANSI code page when the process's file
  // functions use ANSI names, or to UTF-8 where file names are UTF-8; a UTF-8
  // name as is, or in the file functions' code page.
  std::string FileName() const override;
  // False when the name holds characters the file functions' code page
  // lacks; FileName then shows them as "?" and the member cannot be written.
  bool NameFitsFileSystem() const;
  bool IsEncrypted() const override { return (flag_ & 0x0001) != 0; }
  uint16_t LastModFileDate() const override { return date_; }
  uint16_t LastModFileTime() const override { return time_; }
  int32_t UncompressedSize() const override { return static_cast<int32_t>(uncompressed_size_); }

  void SetCompressedSize(uint32_t value) override { compressed_size_ = value; }
  void SetCRC32(uint32_t value) override { crc32_ = value; }
  void SetExternalFileAttributes(uint32_t value) override { external_attributes_ = value; }
  // The new name is kept as the stored name would be.
  void SetFileName(const std::string& value) override;
  void SetLastModFileDate(uint16_t value) override { date_ = value; }
  void SetLastModFileTime(uint16_t value) override { time_ = value; }
  void SetUncompressedSize(uint32_t value) override { uncompressed_size_ = value; }

  // The name exactly as the directory stores it.
  std::string StoredName() const override { return std::string(StoredNameView()); }
  std::string_view StoredNameView() const;
  // FileName with "\" separators.
  std::string DiskFileName() const override;

  // Low byte of the method field.
  uint8_t CompressionMethod() const { return static_cast<uint8_t>(method_); }
  uint16_t GeneralPurposeBitFlag() const { return flag_; }
  uint16_t VersionNeededToExtract() const { return version_needed_; }
  uint16_t VersionMadeBy() const { return version_made_by_; }
  uint16_t DiskNumberStart() const { return disk_number_start_; }
  // The offset field as stored (0xFFFFFFFF when the ZIP64 field replaces it).
  uint32_t RelativeOffset() const {
    return (bits_ & kOffsetInZip64Field) != 0 ? 0xFFFFFFFFu
                                              : static_cast<uint32_t>(relative_offset_);
  }
  // The local header's offset with the ZIP64 extended information applied.
  uint64_t RelativeOffset64() const { return relative_offset_; }
  // Whether the central header carries a ZIP64 extended-information field.
  bool HasZip64Field() const { return (bits_ & kHasZip64Field) != 0; }
  // Implode only: 8 KiB or 4 KiB window (flag bit 1); 0 for other methods.
  uint32_t DictionarySize() const;
  // Implode only: 3 or 2 Shannon-Fano trees (flag bit 2); 0 for other methods.
  int32_t ShannonFanoTreeCount() const;
  std::string_view ExtraField() const { return {text_ + name_length_, extra_length_}; }
  std::string_view FileComment() const {
    return {text_ + name_length_ + extra_length_, comment_length_};
  }
  // The full sizes (ZIP64 included), for arithmetic that must not see them
  // negative or cut to 32 bits.
  uint64_t StoredCompressedSize() const { return compressed_size_; }
  uint64_t StoredUncompressedSize() const { return uncompressed_size_; }

 private:
  friend class TAbZipMemberStore;
  static constexpr uint8_t kHasZip64Field = 1;
  static constexpr uint8_t kOffsetInZip64Field = 2;

  // The name decoded from its stored form, and whether the file functions'
  // code page holds it.
  std::string DecodeName(bool& fits) const;

  // Name, extra field and comment, in that order, in the store's text.
  const char* text_ = "";
  uint64_t compressed_size_ = 0;
  uint64_t uncompressed_size_ = 0;
  uint64_t relative_offset_ = 0;
  uint32_t crc32_ = 0;
  uint32_t external_attributes_ = 0;
  uint16_t name_length_ = 0;
  uint16_t extra_length_ = 0;
  uint16_t comment_length_ = 0;
  uint16_t version_made_by_ = 0;
  uint16_t version_needed_ = 0;
  uint16_t flag_ = 0;
  uint16_t method_ = 0;
  uint16_t time_ = 0;
  uint16_t date_ = 0;
  uint16_t disk_number_start_ = 0;
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
  static constexpr int32_t kChunkShift = 12;  // 4,096 records a chunk
  static constexpr int32_t kChunkSize = 1 << kChunkShift;
  static constexpr size_t kTextBlockSize = 1 << 20;

  // Room for `length` bytes of text that never moves.
  char* TextSpace(size_t length);
  void BuildNameIndex() const;

  std::vector<std::unique_ptr<TAbZipItem[]>> chunks_;
  int32_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> text_blocks_;
  size_t text_used_ = kTextBlockSize;  // in the last block; full while there is none

  mutable bool indexed_ = false;
  mutable std::array<int32_t, TAbArchiveList::kBucketCount> buckets_{};
  mutable std::vector<int32_t> next_in_bucket_;
};

}  // namespace vx
