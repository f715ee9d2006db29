// Extraction of one ZIP member: the output path and file, the local header,
// the decoder by method with its password loop, and the CRC-32 check.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "archive/errors.h"
#include "archive/inflate.h"
#include "archive/legacy.h"
#include "archive/name_rules.h"
#include "archive/password_requests.h"
#include "archive/progress.h"
#include "archive/winzip_aes.h"
#include "archive/zip_archive.h"
#include "archive/zip_crypto.h"
#include "platform/files.h"

namespace vx {

namespace {

// Stored members are copied in blocks this large; progress is still judged
// every 1 KiB, as if the copy went 1 KiB at a time.
constexpr int64_t kCopyBlockSize = 256 * 1024;
constexpr int64_t kProgressStep = 1024;

// The attribute bits a member may carry onto its file. The high half of a
// member's external attributes holds a Unix mode when a Unix tool made the
// archive, and those bits mean unrelated things (reparse points, sparse,
// offline...) to Windows; directory and device bits never fit a file.
constexpr uint32_t kSettableAttributes = platform::kAttrReadOnly | platform::kAttrHidden |
                                         platform::kAttrSystem | platform::kAttrArchive |
                                         0x2000 /* not content indexed */;

// Passes a member's output on until its declared size is reached, and
// counts it. A write that would go past the declared size writes what fits
// and raises EAbZipSizeMismatch, so nothing past it reaches the output.
class TDeclaredSizeStream : public TStream {
 public:
  TDeclaredSizeStream(TStream& target, uint64_t declared) : target_(target), declared_(declared) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    const uint64_t room = declared_ - written_;
    if (static_cast<uint64_t>(count) > room) {
      target_.WriteBuffer(buffer, static_cast<int64_t>(room));
      written_ = declared_;
      throw EAbZipSizeMismatch::TooLong(declared_);
    }
    target_.WriteBuffer(buffer, count);
    written_ += static_cast<uint64_t>(count);
    return count;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return target_.Seek(offset, origin); }
  int64_t Size() override { return target_.Size(); }

  uint64_t Written() const { return written_; }

 private:
  TStream& target_;
  const uint64_t declared_;
  uint64_t written_ = 0;
};

// Passes a member's bytes on to its file and keeps their count and CRC-32,
// so the file is judged by what was really written to it.
class TCheckedOutput : public TStream {
 public:
  explicit TCheckedOutput(TStream& target) : target_(target) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t written = target_.Write(buffer, count);
    if (written > 0) {
      crc_ = Crc32Update(crc_, buffer, static_cast<size_t>(written));
      bytes_ += written;
    }
    return written;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return target_.Seek(offset, origin); }
  // An AE-2 member (WinZip AES) stores no CRC-32: its authentication code,
  // checked while it was decoded, vouches for it instead.
  bool Matches(const TAbZipItem& item) const {
    const bool crc_stored = !(item.CompressionMethod() == kWinZipAesMethod && item.CRC32() == 0);
    return (crc_ == item.CRC32() || !crc_stored) &&
           static_cast<uint64_t>(bytes_) == item.StoredUncompressedSize();
  }

 private:
  TStream& target_;
  uint32_t crc_ = 0;
  int64_t bytes_ = 0;
};

// Creates an empty file with a name of its own in the directory of `path`,
// for the member that will replace `path`; its name in `temporary`.
// The placement hears of the name before the file exists.
std::unique_ptr<platform::TFileStream> CreateTemporaryBeside(const std::string& path,
                                                             TAbOutputPlacement& placement,
                                                             std::string& temporary) {
  const std::string directory = ExtractFilePath(path);
  for (uint32_t attempt = 0;; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "~vx%04X.tmp", static_cast<unsigned>(attempt));
    temporary = directory + name;
    // A name taken already is never announced: nobody may later remove a
    // file this extraction did not make.
    if (platform::FileExists(temporary) && attempt < 0xFFFF) continue;
    placement.TemporaryFileCreating(temporary);
    try {
      return platform::TFileStream::CreateNew(temporary);
    } catch (const EFileError& error) {
      // Another file of that name: try the next; anything else is final.
      if (error.ErrorCode() == platform::kErrorFileExists && attempt < 0xFFFF) continue;
      throw EFCreateError("Cannot create file " + path + ". " + error.Message(), error.ErrorCode());
    }
  }
}

}  // namespace

void TAbZipArchive::ExtractItemAt(TAbArchiveItem& item, const std::string& name) {
  UnzipToFile(static_cast<TAbZipItem&>(item), name);
}

void TAbZipArchive::ExtractItemToStream(TAbArchiveItem& item, TStream& stream) {
  UnzipToStream(static_cast<TAbZipItem&>(item), &stream);
}

void TAbZipArchive::TestItem(TAbArchiveItem& item) {
  TDiscardStream discard;
  UnzipToStream(static_cast<TAbZipItem&>(item), &discard, kTestOnly);
}

void TAbZipArchive::UnzipToFile(TAbZipItem& item, const std::string& name) {
  // Never a file under a name with substitutes for what the code page lacks.
  if (!item.NameFitsFileSystem() && name == item.FileName()) {
    throw EAbZipNameNotRepresentable(name);
  }
  // Hostile names cannot leave the base directory; a name with nothing left
  // to write (a directory entry, "..") is skipped.
  const std::string relative = SafeRelativePath(name, ExtractOptions().Contains(eoRestorePath));
  if (relative.empty()) return;
  std::string path = AppendFileName(BaseDirectory(), relative);

  const std::string directory = ExtractFileDir(path);
  if (!directory.empty() && !platform::DirectoryExists(directory)) {
    if (!ExtractOptions().Contains(eoCreateDirs)) throw EAbNoSuchDirectory();
    OutputPlacement().CreateDirectories(directory);
  }

  if (platform::FileExists(path)) {
    bool confirm = true;
    std::string chosen = path;
    if (OnConfirmOverwrite) OnConfirmOverwrite(chosen, confirm);
    if (!confirm) return;
    path = chosen;
  }

  // The member is decoded into a file of its own beside the target and takes
  // the target's place only once its size and CRC-32 have checked out: a
  // member that fails or is aborted leaves an existing file as it was.
  // A member whose CRC-32 failed (reported, not raised, when the archive has
  // a failure handler) still lands where there was no file before.
  const bool replacing = platform::FileExists(path);
  std::string temporary;
  std::unique_ptr<platform::TFileStream> file =
      CreateTemporaryBeside(path, OutputPlacement(), temporary);
  try {
    TCheckedOutput output(*file);
    UnzipToStream(item, &output);
    if (replacing && !output.Matches(item)) {
      file.reset();
      platform::DeleteFile(temporary);
      return;
    }
    file->SetDosDateTime(item.LastModFileDate(), item.LastModFileTime());
    file.reset();
    // Fails when the target is read-only (not cleared by OnConfirmOverwrite),
    // a directory, or in use.
    OutputPlacement().PlaceFile(temporary, path, replacing);
    temporary.clear();
    const uint32_t attributes = item.ExternalFileAttributes() & kSettableAttributes;
    platform::SetFileAttributes(path, attributes != 0 ? attributes : platform::kAttrNormal);
  } catch (...) {
    try {
      throw;
    } catch (const EAbUserAbort&) {
      SetStatus(asInvalid);
    } catch (...) {
    }
    file.reset();
    if (!temporary.empty()) platform::DeleteFile(temporary);
    throw;
  }
}

void TAbZipArchive::UnzipToStream(TAbZipItem& item, TStream* stream, UnzipTarget target) {
  if (stream == nullptr) throw EAbBadStream();
  if (!AcceptsVersionNeeded(item)) throw EAbZipVersion();
  if (spanned_ && item.DiskNumberStart() != current_disk_) SwitchToDisk(item.DiskNumberStart());

  TAbZipLocalFileHeader local;
  const uint32_t check_value = ReadLocalHeader(item, local);

  // Every method decodes into the declared size and no further; a member
  // that decodes to less is caught by its size as well as by its CRC.
  const uint64_t declared = item.StoredUncompressedSize();
  TDeclaredSizeStream output(*stream, declared);
  uint32_t crc;
  uint64_t produced;
  bool crc_applies = true;
  switch (local.CompressionMethod()) {
    case 0:
      crc = StoreItem(item, output, check_value);
      produced = output.Written();
      break;
    case 8:
    case 9:
      crc = InflateItem(item, output, check_value, local.CompressionMethod() == 9,
                        target == kTestOnly, produced);
      break;
    default:
      if (IsNewerZipMethod(local.CompressionMethod())) {
        crc = NewerMethodItem(item, local, output, check_value, crc_applies);
      } else {
        crc = LegacyDecode(item, local.CompressionMethod(), output, check_value);
      }
      produced = output.Written();
      break;
  }
  if (produced > declared) throw EAbZipSizeMismatch::TooLong(declared);
  if (produced < declared) throw EAbZipSizeMismatch::TooShort(produced, declared);

  if (crc_applies && crc != check_value && crc != item.CRC32()) {
    if (!HasItemFailureHandler()) throw EAbZipBadCRC();
    ReportItemFailure(item, ecArchive, EAbZipBadCRC::kCode, MessageTextOf(EAbZipBadCRC::kCode));
  }
}

uint32_t TAbZipArchive::ReadLocalHeader(TAbZipItem& item, TAbZipLocalFileHeader& local) {
  stream_->Seek(LocalHeaderPosition(item), soBeginning);
  try {
    local.LoadFromStream(*stream_);
  } catch (const EFileError&) {
    throw;
  } catch (const EStreamError&) {
    throw EAbReadError();
  }
  // With a data descriptor the CRC was not known when the header was
  // written, so the encryption header is checked against the time instead.
  return local.HasDataDescriptor() ? static_cast<uint32_t>(local.last_mod_file_time) << 16
                                   : item.CRC32();
}

TAbPasswordRequests TAbZipArchive::ArchivePasswordRequests() {
  TAbPasswordRequests requests;
  requests.retries = PasswordRetries();
  requests.ask_when_empty = true;
  requests.refusal_aborts = true;
  // An empty answer, or no handler at all, means stop.
  requests.ask = [this](std::string& password) {
    std::string answer = RequestPassword();
    if (answer.empty()) return false;
    password = answer;
    return true;
  };
  return requests;
}

uint32_t TAbZipArchive::StoreItem(TAbZipItem& item, TStream& output, uint32_t check_value) {
  TStream* source = stream_.get();
  std::unique_ptr<TAbDfDecryptStream> decrypt;
  if (item.IsEncrypted()) {
    const int64_t header_start = stream_->Position();
    std::string password = Password();
    AcceptPassword(password, ArchivePasswordRequests(), [&](const std::string& candidate) {
      stream_->Seek(header_start, soBeginning);
      decrypt = std::make_unique<TAbDfDecryptStream>(*stream_, check_value, candidate);
      return decrypt->IsValid();
    });
    source = decrypt.get();
  }

  // A stored member's data is its compressed size (less the encryption
  // header): more than the declared size is refused once the declared bytes
  // are written, less ends the copy where the data ends.
  const uint64_t total = item.StoredUncompressedSize();
  const uint64_t header = item.IsEncrypted() ? 12 : 0;
  const uint64_t data =
      item.StoredCompressedSize() > header ? item.StoredCompressedSize() - header : 0;
  uint64_t remaining = std::min(total, data);
  uint64_t done = 0;
  uint8_t last_percent = 0;
  bool abort = false;
  uint32_t crc = 0;
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(remaining, kCopyBlockSize)));
  while (remaining > 0 && !abort) {
    const int64_t wanted = static_cast<int64_t>(std::min<uint64_t>(remaining, block.size()));
    const int64_t got = source->Read(block.data(), wanted);
    if (got <= 0) break;
    int64_t used = 0;
    while (used < got && !abort) {
      const int64_t step = std::min(kProgressStep, got - used);
      used += step;
      done += static_cast<uint64_t>(step);
      const uint8_t percent = RoundedPercent(done, total);
      if (percent != last_percent) {
        last_percent = percent;
        abort = DoItemProgress(item, percent);
      }
    }
    remaining -= static_cast<uint64_t>(used);
    crc = Crc32Update(crc, block.data(), static_cast<size_t>(used));
    output.WriteBuffer(block.data(), used);
  }
  if (last_percent < 100 && DoItemProgress(item, 100)) abort = true;
  if (abort) throw EAbUserAbort();
  if (data > total) throw EAbZipSizeMismatch::TooLong(total);
  return crc;
}

uint32_t TAbZipArchive::InflateItem(TAbZipItem& item, TStream& output, uint32_t check_value,
                                    bool deflate64, bool test_only, uint64_t& produced) {
  TAbDeflateHelper helper;
  if (deflate64) helper.options |= TAbDeflateHelper::kOptionDeflate64;
  if (test_only) helper.options |= TAbDeflateHelper::kOptionTestOnly;
  helper.stream_size = item.StoredCompressedSize();
  // Decoding stops one byte past the declared size: enough to tell that the
  // data goes on, without inflating what a bomb would make of the rest.
  const uint64_t declared = item.StoredUncompressedSize();
  helper.part_size =
      declared < static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(declared) + 1 : 0;
  // An abort answered here stops the inflater, which then returns 0. That is
  // turned into the user abort it is rather than left to look like a CRC
  // failure of a truncated file.
  bool aborted = false;
  helper.OnProgress = [&](int32_t percent) {
    if (DoItemProgress(item, static_cast<uint8_t>(std::clamp(percent, 0, 100)))) {
      aborted = true;
      throw EAbAbortProgress();
    }
  };

  uint32_t crc = 0;
  if (!item.IsEncrypted()) {
    crc = Inflate(*stream_, output, helper);
  } else {
    const int64_t header_start = stream_->Position();
    std::string password = Password();
    AcceptPassword(password, ArchivePasswordRequests(), [&](const std::string& candidate) {
      stream_->Seek(header_start, soBeginning);
      helper.password = candidate;
      helper.check_value = check_value;
      try {
        crc = Inflate(*stream_, output, helper);
        return true;
      } catch (const EAbInflatePasswordError&) {
        return false;
      }
    });
  }
  if (aborted) throw EAbUserAbort();
  produced = static_cast<uint64_t>(helper.normal_size);
  return crc;
}

uint32_t TAbZipArchive::LegacyDecode(TAbZipItem& item, uint8_t method, TStream& output,
                                     uint32_t check_value) {
  TAbLegacyRequest request;
  request.method = method;
  request.compressed_size = static_cast<uint32_t>(item.StoredCompressedSize());
  request.uncompressed_size = static_cast<uint32_t>(item.StoredUncompressedSize());
  request.dictionary_size = (item.GeneralPurposeBitFlag() & 0x0002) != 0 ? 8192 : 4096;
  request.shannon_fano_trees = (item.GeneralPurposeBitFlag() & 0x0004) != 0 ? 3 : 2;
  request.encrypted = item.IsEncrypted();
  request.check_value = check_value;
  request.password = Password();
  request.password_retries = PasswordRetries();
  request.OnProgress = [&](int32_t percent, bool& abort) {
    abort = DoItemProgress(item, static_cast<uint8_t>(std::clamp(percent, 0, 100)));
  };
  // Without a handler the decoder tries the same password again.
  request.OnNeedPassword = [this](std::string& password) {
    std::string answer = password;
    if (!OnNeedPassword || !OnNeedPassword(answer)) return false;
    password = answer;
    SetPassword(answer);
    return true;
  };
  return LegacyItem(*stream_, output, request);
}

}  // namespace vx
