#include "archive/legacy.h"

#include <optional>

#include "archive/errors.h"
#include "archive/explode.h"
#include "archive/legacy_input.h"
#include "archive/sliding_window.h"
#include "archive/unreduce.h"
#include "archive/unshrink.h"
#include "archive/zdecoder.h"
#include "archive/zip_crypto.h"

namespace vx {

uint32_t LegacyItem(TStream& archive, TStream& output, TAbLegacyRequest& request) {
  // An unknown method fails before anyone is asked for a password it could
  // not use.
  if (request.method < 1 || request.method > 6) throw EAbZipInvalidMethod();

  TabSlidingWindowStream window(output, request.uncompressed_size, request.method != 1);
  window.OnProgress = request.OnProgress;

  uint32_t compressed = request.compressed_size;
  std::optional<TAbZDecoder> decoder;
  if (request.encrypted) {
    decoder.emplace(request.password, request.check_value, true, request.password_retries);
    decoder->OnNeedPassword = request.OnNeedPassword;
    decoder->CheckPassword(archive, archive.Position());
    request.password = decoder->Password();
    compressed = compressed > kZipEncryptionHeaderSize ? compressed - kZipEncryptionHeaderSize : 0;
  }

  LegacyInput input(archive, compressed, decoder ? &*decoder : nullptr);
  try {
    switch (request.method) {
      case 1:
        Unshrink(input, window);
        break;
      case 2:
      case 3:
      case 4:
      case 5:
        Unreduce(input, window, request.method - 1);
        break;
      default:
        Explode(input, window, request.dictionary_size, request.shannon_fano_trees);
        break;
    }
    // The archive ended inside the member and the decoder needed more.
    if (input.Exhausted() && input.ReadFailed()) throw EAbReadError();
    window.Finish();
  } catch (...) {
    window.Close();
    throw;
  }
  return window.Crc();
}

}  // namespace vx
