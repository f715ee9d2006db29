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

// A member of a ZIP archive; every accessor reads through to its central
// directory header.
class TAbZipItem : public TAbArchiveItem {
 public:
  // The sizes as signed 32-bit values; for ZIP64 members the low half of the
  // size the extended information gives.
  int32_t CompressedSize() const override {
    return static_cast<int32_t>(header_.compressed_size_64);
  }
  uint32_t CRC32() const override { return header_.crc32; }
  uint32_t ExternalFileAttributes() const override { return header_.external_file_attributes; }
  // The name in the character set of the file functions: an OEM name (see
  // entry_names.h) from the OEM to the ANSI code page when the process's file
  // functions use ANSI names, or to UTF-8 where file names are UTF-8; a UTF-8
  // name as is, or in the file functions' code page.
  std::string FileName() const override { return file_name_; }
  // False when the name holds characters the file functions' code page
  // lacks; FileName then shows them as "?" and the member cannot be written.
  bool NameFitsFileSystem() const { return name_fits_; }
  bool IsEncrypted() const override { return header_.IsEncrypted(); }
  uint16_t LastModFileDate() const override { return header_.last_mod_file_date; }
  uint16_t LastModFileTime() const override { return header_.last_mod_file_time; }
  int32_t UncompressedSize() const override {
    return static_cast<int32_t>(header_.uncompressed_size_64);
  }

  void SetCompressedSize(uint32_t value) override {
    header_.compressed_size = value;
    header_.compressed_size_64 = value;
  }
  void SetCRC32(uint32_t value) override { header_.crc32 = value; }
  void SetExternalFileAttributes(uint32_t value) override {
    header_.external_file_attributes = value;
  }
  void SetFileName(const std::string& value) override {
    header_.file_name = value;
    DecodeName();
  }
  void SetLastModFileDate(uint16_t value) override { header_.last_mod_file_date = value; }
  void SetLastModFileTime(uint16_t value) override { header_.last_mod_file_time = value; }
  void SetUncompressedSize(uint32_t value) override {
    header_.uncompressed_size = value;
    header_.uncompressed_size_64 = value;
  }

  uint8_t CompressionMethod() const { return header_.CompressionMethod(); }
  uint16_t GeneralPurposeBitFlag() const { return header_.general_purpose_bit_flag; }
  uint16_t VersionNeededToExtract() const { return header_.version_needed_to_extract; }
  uint16_t VersionMadeBy() const { return header_.version_made_by; }
  uint16_t DiskNumberStart() const { return header_.disk_number_start; }
  uint32_t RelativeOffset() const { return header_.relative_offset; }
  // The local header's offset with the ZIP64 extended information applied.
  uint64_t RelativeOffset64() const { return header_.relative_offset_64; }
  // Whether the central header carries a ZIP64 extended-information field.
  bool HasZip64Field() const { return header_.has_zip64_field; }
  uint32_t DictionarySize() const { return header_.DictionarySize(); }
  int32_t ShannonFanoTreeCount() const { return header_.ShannonFanoTreeCount(); }
  const std::string& ExtraField() const { return header_.extra_field; }
  const std::string& FileComment() const { return header_.file_comment; }
  // The full sizes (ZIP64 included), for arithmetic that must not see them
  // negative or cut to 32 bits.
  uint64_t StoredCompressedSize() const { return header_.compressed_size_64; }
  uint64_t StoredUncompressedSize() const { return header_.uncompressed_size_64; }

  // Reads the central directory header at the stream's position and derives
  // StoredName and DiskFileName from it.
  void LoadFromStream(TStream& stream);

 private:
  // Derives FileName and the name flags from the header.
  void DecodeName();

  TAbZipDirectoryFileHeader header_;
  std::string file_name_;
  bool name_fits_ = true;
  bool name_is_utf8_ = false;
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

class TAbZipArchive : public TAbArchive {
 public:
  // Opens the file read-only, sharing it with other readers and writers.
  explicit TAbZipArchive(const std::string& file_name);
  // Reads an archive from a stream the caller keeps alive (memory, tests).
  TAbZipArchive(TStream& stream, const std::string& archive_name);
  ~TAbZipArchive() override;

  TAbZipItem& ZipItems(int32_t index) const { return static_cast<TAbZipItem&>(Items(index)); }
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
  // Reads the ZIP64 records, if any, behind the end record at `tail` and
  // finds where the central directory really starts, correcting for data in
  // front of the archive.
  void LocateDirectory(int64_t tail);
  // Whether the engine serves the item's "version needed to extract": up to
  // 2.1, or 4.5 when what the item needs is ZIP64.
  bool AcceptsVersionNeeded(TAbZipItem& item);
  // Where the item's local header is, data in front of the archive counted.
  int64_t LocalHeaderPosition(const TAbZipItem& item) const;
  // Moves to the item's local header, checks it, and returns the password
  // check value; the stream is left at the member data.
  uint32_t ReadLocalHeader(TAbZipItem& item, TAbZipLocalFileHeader& local);
  uint32_t StoreItem(TAbZipItem& item, TStream& output, uint32_t check_value);
  uint32_t InflateItem(TAbZipItem& item, TStream& output, uint32_t check_value, bool deflate64,
                       bool test_only);
  uint32_t LegacyDecode(TAbZipItem& item, uint8_t method, TStream& output, uint32_t check_value);
  // How the stored and deflate decoders ask for passwords: once first when
  // none is set, and an empty answer or a missing handler stops the member.
  TAbPasswordRequests ArchivePasswordRequests();

  std::unique_ptr<TAbSpanStream> stream_;
  TAbZipDirectoryFileFooter footer_;
  bool spanned_ = false;
  bool removable_ = false;
  uint16_t current_disk_ = 0;
  uint16_t last_disk_ = 0;
  std::string last_disk_name_;
  bool zip64_ = false;
  int64_t prepended_ = 0;
  int64_t directory_start_ = 0;
  int64_t directory_end_ = 0;
  uint64_t total_entries_ = 0;
};

}  // namespace vx
