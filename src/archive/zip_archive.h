// ZIP archives: the records this program reads (local header, central
// directory header, end of central directory), the ZIP item, the archive type
// probes, and TAbZipArchive, which loads the central directory and extracts
// members through the decoders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/password_requests.h"
#include "archive/span_stream.h"
#include "archive/zip64.h"
#include "archive/zip_members.h"

namespace vx {

constexpr uint32_t kLocalFileHeaderSignature = 0x04034B50;
constexpr uint32_t kDirectoryFileHeaderSignature = 0x02014B50;
constexpr uint32_t kEndOfCentralDirectorySignature = 0x06054B50;
constexpr uint32_t kSpannedSetSignature = 0x08074B50;
constexpr uint32_t kSingleFileSpannedSignature = 0x30304B50;  // "PK00"

constexpr int64_t kLocalFileHeaderSize = 30;
constexpr int64_t kDirectoryFileHeaderSize = 46;
constexpr int64_t kDirectoryFooterSize = 22;

// Highest "version needed to extract" this engine serves: 2.1, the version
// that introduced deflate64, which it decodes.
constexpr uint8_t kHighestVersionNeeded = 21;
// What today's writers put in front of bzip2 (4.6), AES (5.1), LZMA and
// zstd (6.3) members: accepted for the methods we decode.
constexpr uint8_t kNewerMethodsVersionNeeded = 63;
// Methods 12, 14, 20, 93, 95 and 99 (decoded in zip_methods.cpp).
bool IsNewerZipMethod(uint16_t method);

// The fields common to local and central headers, with the rules derived
// from the flag and the method.
class TAbZipFileHeader {
 public:
  explicit TAbZipFileHeader(uint32_t expected_signature)
      : expected_signature_(expected_signature) {}

  uint32_t signature = 0;
  uint16_t version_needed_to_extract = 0;
  uint16_t general_purpose_bit_flag = 0;
  uint16_t compression_method = 0;
  uint16_t last_mod_file_time = 0;
  uint16_t last_mod_file_date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  std::string file_name;
  std::string extra_field;
  // The sizes with the ZIP64 extended information applied, and whether the
  // header carries that field at all.
  uint64_t compressed_size_64 = 0;
  uint64_t uncompressed_size_64 = 0;
  bool has_zip64_field = false;

  bool SignatureValid() const { return signature == expected_signature_; }
  // Low byte of the method field.
  uint8_t CompressionMethod() const { return static_cast<uint8_t>(compression_method); }
  bool IsEncrypted() const { return (general_purpose_bit_flag & 0x0001) != 0; }
  // Implode only: 8 KiB or 4 KiB window (flag bit 1); 0 for other methods.
  uint32_t DictionarySize() const;
  // Implode only: 3 or 2 Shannon-Fano trees (flag bit 2); 0 for other methods.
  int32_t ShannonFanoTreeCount() const;
  bool HasDataDescriptor() const { return (general_purpose_bit_flag & 0x0008) != 0; }

 private:
  uint32_t expected_signature_;
};

class TAbZipLocalFileHeader : public TAbZipFileHeader {
 public:
  TAbZipLocalFileHeader() : TAbZipFileHeader(kLocalFileHeaderSignature) {}
  // Reads the header at the stream's position, leaving the stream at the
  // member data. A wrong signature raises EAbZipInvalid.
  void LoadFromStream(TStream& stream);
};

class TAbZipDirectoryFileHeader : public TAbZipFileHeader {
 public:
  TAbZipDirectoryFileHeader() : TAbZipFileHeader(kDirectoryFileHeaderSignature) {}

  uint16_t version_made_by = 0;
  uint16_t disk_number_start = 0;
  uint16_t internal_file_attributes = 0;
  uint32_t external_file_attributes = 0;
  uint32_t relative_offset = 0;
  std::string file_comment;
  // The offset and disk with the ZIP64 extended information applied.
  uint64_t relative_offset_64 = 0;
  uint32_t disk_number_start_64 = 0;

  // Reads one header at the stream's position. A wrong signature raises
  // EAbZipInvalid.
  void LoadFromStream(TStream& stream);
};

class TAbZipDirectoryFileFooter {
 public:
  uint32_t signature = 0;
  uint16_t disk_number = 0;
  uint16_t start_disk_number = 0;
  uint16_t entries_on_disk = 0;
  uint16_t total_entries = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;
  std::string zip_file_comment;

  bool SignatureValid() const { return signature == kEndOfCentralDirectorySignature; }
  // Reads the record at the stream's position. A wrong signature raises
  // EAbZipInvalid.
  void LoadFromStream(TStream& stream);
};

// The absolute position of the end of central directory record, found from
// the end of the stream backwards, with the stream positioned there; -1 (and
// the stream where it was) when there is none.
int64_t FindCentralDirectoryTail(TStream& stream);
// atZip, atSpannedZip or atUnknown, from the contents; the position is kept.
TAbArchiveType VerifyZip(TStream& stream);
// atSelfExtZip for an executable (MZ or ELF) followed by a ZIP archive, else
// atUnknown; the position is kept.
TAbArchiveType VerifySelfExtracting(TStream& stream);
// The type of an archive file, from its extension and, when it exists and is
// not empty, its contents.
TAbArchiveType DetermineArchiveType(const std::string& file_name);
// The type of an archive file whatever its name: a ZIP file (atZip,
// atSpannedZip or, for an executable, atSelfExtZip) when its contents say so
// (an end record in its last 64 KiB, or the start of a spanned set), else
// what its extension says.
TAbArchiveType DetermineArchiveTypeByContents(const std::string& file_name);

class TAbZipArchive : public TAbArchive {
 public:
  // Opens the file read-only, sharing it with other readers and writers.
  explicit TAbZipArchive(const std::string& file_name);
  // Reads an archive from a stream the caller keeps alive (memory, tests).
  TAbZipArchive(TStream& stream, const std::string& archive_name);
  ~TAbZipArchive() override;

  int32_t Count() const override { return members_.Count(); }
  TAbArchiveItem& Items(int32_t index) const override { return members_.Items(index); }
  int32_t FindItem(const std::string& name) const override { return members_.Find(name); }
  TAbZipItem& ZipItems(int32_t index) const { return members_.Items(index); }
  bool Spanned() const { return spanned_; }
  uint16_t CurrentDisk() const { return current_disk_; }
  const TAbZipDirectoryFileFooter& Footer() const { return footer_; }
  // Whether the archive has a ZIP64 end record.
  bool IsZip64() const { return zip64_; }
  // The number of bytes of other data in front of the archive whose offsets
  // do not count them (a self-extractor stub not adjusted for); every offset
  // read from the archive is moved by it. 0 for an ordinary archive.
  int64_t PrependedDataSize() const { return prepended_; }

  // Writes the item to a file below the base directory (see ExtractAt).
  void UnzipToFile(TAbZipItem& item, const std::string& name);
  // What the decoded bytes are for: written to the stream, or only checked
  // (the inflater then skips the output work).
  enum UnzipTarget { kWrite, kTestOnly };
  // Decodes the item into `stream`, checking its CRC-32.
  void UnzipToStream(TAbZipItem& item, TStream* stream, UnzipTarget target = kWrite);

 protected:
  void LoadArchive() override;
  void ExtractItemAt(TAbArchiveItem& item, const std::string& name) override;
  void ExtractItemToStream(TAbArchiveItem& item, TStream& stream) override;
  void TestItem(TAbArchiveItem& item) override;

 private:
  // Finds the file of a spanned set that holds the end record.
  void FindLastDisk(int64_t& tail);
  // Continues on disk `disk` of a spanned set.
  void SwitchToDisk(uint16_t disk);
  // The file name of disk `disk` when no handler names it.
  std::string ImageName(int32_t image_number) const;
  // Reads the ZIP64 locator before the end record at `tail` and the record
  // it points to; false when there are none.
  bool ReadZip64Records(int64_t tail);
  // Finds where the central directory really starts, with the ZIP64 record
  // applied, correcting for data in front of the archive.
  void LocateDirectory(int64_t tail);
  // Whether the engine serves the item's "version needed to extract": up to
  // 2.1, or 4.5 when what the item needs is ZIP64.
  bool AcceptsVersionNeeded(TAbZipItem& item);
  // Where the item's local header is, data in front of the archive counted.
  int64_t LocalHeaderPosition(const TAbZipItem& item) const;
  // Moves to the item's local header, checks it, and returns the password
  // check value; the stream is left at the member data.
  uint32_t ReadLocalHeader(TAbZipItem& item, TAbZipLocalFileHeader& local);
  // Checks that no member's local header lies inside another member's
  // header and data (EAbZipMembersOverlap otherwise).
  void CheckMembersDoNotOverlap();
  // The decoders of the methods: each returns the CRC-32 of what it wrote.
  uint32_t StoreItem(TAbZipItem& item, TStream& output, uint32_t check_value);
  // `produced` is the number of bytes decoded, written or not.
  uint32_t InflateItem(TAbZipItem& item, TStream& output, uint32_t check_value, bool deflate64,
                       bool test_only, uint64_t& produced);
  uint32_t LegacyDecode(TAbZipItem& item, uint8_t method, TStream& output, uint32_t check_value);
  // bzip2, LZMA, zstd, xz, and WinZip AES over any of the methods. AE-2
  // members carry no CRC-32 (their authentication code checks them):
  // `crc_applies` is then cleared and the stored CRC returned.
  uint32_t NewerMethodItem(TAbZipItem& item, const TAbZipLocalFileHeader& local, TStream& output,
                           uint32_t check_value, bool& crc_applies);
  // How the stored and deflate decoders ask for passwords: once first when
  // none is set, and an empty answer or a missing handler stops the member.
  TAbPasswordRequests ArchivePasswordRequests();

  std::unique_ptr<TAbSpanStream> stream_;
  TAbZipMemberStore members_;
  TAbZipDirectoryFileFooter footer_;
  bool spanned_ = false;
  bool removable_ = false;
  uint16_t current_disk_ = 0;
  uint16_t last_disk_ = 0;
  std::string last_disk_name_;
  bool zip64_ = false;
  bool zip64_found_ = false;
  Zip64EndRecord zip64_record_;
  int64_t zip64_at_ = -1;
  int64_t prepended_ = 0;
  int64_t directory_start_ = 0;
  int64_t directory_end_ = 0;
  uint64_t total_entries_ = 0;
};

}  // namespace vx
