// Shared by the legacy decoders' fuzz targets.
//
// Input: one parameter byte, three bytes of uncompressed size (little-endian,
// capped at 256 KiB to keep runs short), then the compressed data. The low two
// bits of the parameter byte set the compressed size: exactly the data, half
// of it (decoding must stop there), or 100 bytes more than the archive holds
// (a read error once the decoder needs them). Bits 2 and 3 are the target's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "archive/legacy.h"
#include "platform/exception.h"
#include "platform/stream.h"

inline int FuzzLegacyItem(const uint8_t* data, size_t size,
                          const std::function<void(uint8_t, vx::TAbLegacyRequest&)>& configure) {
  if (size < 4) return 0;
  vx::TAbLegacyRequest request;
  configure(data[0], request);
  const uint32_t rest = static_cast<uint32_t>(size - 4);
  switch (data[0] & 3) {
    case 0:
      request.compressed_size = rest;
      break;
    case 1:
      request.compressed_size = rest / 2;
      break;
    default:
      request.compressed_size = rest + 100;
      break;
  }
  request.uncompressed_size = (data[1] | data[2] << 8 | data[3] << 16) & 0x3FFFF;
  vx::TMemoryViewStream archive(data + 4, rest);
  vx::TDiscardStream output;
  try {
    vx::LegacyItem(archive, output, request);
  } catch (const vx::Exception&) {
    // Damaged data may be refused; it must not do anything worse.
  }
  if (output.Size() > static_cast<int64_t>(request.uncompressed_size)) std::abort();
  if (archive.Position() > static_cast<int64_t>(request.compressed_size)) std::abort();
  return 0;
}
