// The methods of today's ZIP writers: bzip2 (12), LZMA (14), zstd (93, and
// 20 from older writers), xz (95), PPMd (98), and WinZip AES encryption (99) over any
// method we decode. The member's compressed bytes reach the decoder straight
// from the archive, through the traditional decryption, or through AES.
#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "archive/bzip2.h"
#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/inflate.h"
#include "archive/lzma.h"
#include "archive/method_decoder.h"
#include "archive/password_requests.h"
#include "archive/ppmd.h"
#include "archive/progress.h"
#include "archive/winzip_aes.h"
#include "archive/xz.h"
#include "archive/zip_archive.h"
#include "archive/zip_crypto.h"
#include "archive/zstd.h"

namespace vx {

namespace {

using Decoder = int64_t (*)(TAbDecodeJob&);

Decoder NewerDecoderFor(uint16_t method) {
  switch (method) {
    case 12:
      return DecodeBzip2;
    case 14:
      return DecodeLzma;
    case 20:
    case 93:
      return DecodeZstd;
    case 95:
      return DecodeXz;
    case 98:
      return DecodePpmd;
    default:
      return nullptr;
  }
}

// Passes what a decoder writes on to the output and keeps its CRC-32.
class TCrcStream : public TStream {
 public:
  explicit TCrcStream(TStream& target) : target_(target) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    target_.WriteBuffer(buffer, count);
    crc_ = Crc32Update(crc_, static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
    return count;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return target_.Seek(offset, origin); }
  uint32_t Crc() const { return crc_; }

 private:
  TStream& target_;
  uint32_t crc_ = 0;
};

// One byte more than declared lets the output's size check, not the
// decoder, say that the data goes on past the declared size.
int64_t LimitPastDeclared(uint64_t declared) {
  return declared < static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(declared) + 1 : -1;
}

}  // namespace

bool IsNewerZipMethod(uint16_t method) {
  return method == kWinZipAesMethod || NewerDecoderFor(method) != nullptr;
}

uint32_t TAbZipArchive::NewerMethodItem(TAbZipItem& item, const TAbZipLocalFileHeader& local,
                                        TStream& output, uint32_t check_value, bool& crc_applies) {
  uint16_t method = local.CompressionMethod();
  int64_t data_size = static_cast<int64_t>(item.StoredCompressedSize());
  TStream* source = stream_.get();
  std::unique_ptr<TAbDfDecryptStream> traditional;
  std::unique_ptr<TAbWinZipAesStream> aes;

  if (method == kWinZipAesMethod) {
    TAbWinZipAesInfo info;
    if (!ReadWinZipAesInfo(local.extra_field, info) &&
        !ReadWinZipAesInfo(std::string(item.ExtraField()), info)) {
      throw EAbDecompressError("WinZip AES", "the member has no AES extra field");
    }
    method = info.method;
    if (method != 0 && method != 8 && NewerDecoderFor(method) == nullptr) {
      throw EAbZipInvalidMethod();
    }
    crc_applies = info.HasCrc();
    aes = std::make_unique<TAbWinZipAesStream>(*stream_, info, data_size);
    std::string password = Password();
    AcceptPassword(password, ArchivePasswordRequests(),
                   [&](const std::string& candidate) { return aes->IsValid(candidate); });
    source = aes.get();
    data_size = aes->DataSize();
  } else if (item.IsEncrypted()) {
    const int64_t header_start = stream_->Position();
    std::string password = Password();
    AcceptPassword(password, ArchivePasswordRequests(), [&](const std::string& candidate) {
      stream_->Seek(header_start, soBeginning);
      traditional = std::make_unique<TAbDfDecryptStream>(*stream_, check_value, candidate);
      return traditional->IsValid();
    });
    source = traditional.get();
    data_size = std::max<int64_t>(0, data_size - 12);
  }

  const uint64_t declared = item.StoredUncompressedSize();
  bool aborted = false;
  const auto report_input = [&](int64_t consumed) {
    if (aborted) return;
    if (DoItemProgress(item, RoundedPercent(static_cast<uint64_t>(std::max<int64_t>(consumed, 0)),
                                            static_cast<uint64_t>(data_size)))) {
      aborted = true;
      throw EAbUserAbort();
    }
  };

  TCrcStream counted(output);
  if (method == 0 || method == 8) {
    // Only under AES: the older methods' own paths read the archive itself.
    if (method == 0) {
      std::vector<uint8_t> block(64 * 1024);
      for (int64_t done = 0; done < data_size;) {
        const int64_t step =
            std::min<int64_t>(data_size - done, static_cast<int64_t>(block.size()));
        source->ReadBuffer(block.data(), step);
        counted.WriteBuffer(block.data(), step);
        done += step;
        report_input(done);
      }
    } else {
      TAbDeflateHelper helper;
      helper.stream_size = data_size;
      helper.part_size = std::max<int64_t>(LimitPastDeclared(declared), 0);
      Inflate(*source, counted, helper);
    }
  } else {
    TAbDecodeJob job;
    job.source = source;
    job.compressed_size = data_size;
    job.dest = &counted;
    job.output_limit =
        declared <= static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(declared) : -1;
    job.OnInput = report_input;
    NewerDecoderFor(method)(job);
  }
  if (!aborted && DoItemProgress(item, 100)) throw EAbUserAbort();
  if (aes) aes->Finish();
  return crc_applies ? counted.Crc() : item.CRC32();
}

}  // namespace vx
