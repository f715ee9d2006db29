// The early ZIP methods: shrink (1), reduce with factors 1-4 (2-5) and
// implode (6), with their traditional decryption. The archive directory
// describes a member in a TAbLegacyRequest; LegacyItem decodes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/stream.h"

namespace vx {

// One legacy member to decode: what the archive directory knows about it.
struct TAbLegacyRequest {
  uint16_t method = 0;           // 1 shrunk, 2-5 reduced (factor method-1), 6 imploded
  uint32_t compressed_size = 0;  // includes the 12-byte encryption header when encrypted
  uint32_t uncompressed_size = 0;
  uint32_t dictionary_size = 4096;  // implode: 4096 or 8192 (general flag bit 1)
  int32_t shannon_fano_trees = 2;   // implode: 2 or 3 (general flag bit 2)
  bool encrypted = false;
  uint32_t check_value = 0;  // password check value: its top byte is compared
  std::string password;      // in/out: the password that was accepted
  int32_t password_retries = 3;
  // Item progress: called with each new whole percentage; set abort to stop (EAbUserAbort).
  std::function<void(int32_t percent, bool& abort)> OnProgress;
  // Asked after a rejected password; returns false when no handler is connected.
  std::function<bool(std::string& password)> OnNeedPassword;
};

// Decodes from the archive stream (positioned at the member data) into output;
// returns the CRC-32 of the bytes written. Raises EAbZipInvalidMethod for a
// method outside 1-6 (before any password is asked for), EAbZipInvalidPassword,
// EAbReadError when the archive ends inside the member, EAbUserAbort,
// EAbImplodeTreeError (code 23) for an impossible implode code description,
// and the output's or the window's errors (EAbException, codes 81 and 82).
// Damaged data otherwise just ends the member early: the CRC tells.
uint32_t LegacyItem(TStream& archive, TStream& output, TAbLegacyRequest& request);

}  // namespace vx
