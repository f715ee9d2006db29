// AES (128-, 192- and 256-bit keys) in the counter mode of WinZip AES
// encryption: the keystream is the encryption of a 16-byte little-endian
// counter that starts at 1, so decrypting and encrypting are the same XOR.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

class AesCtr {
 public:
  static constexpr size_t kBlockSize = 16;

  // Accepts 16, 24 or 32 bytes; answers false for any other size. Restarts
  // the counter at 1.
  bool SetKey(const uint8_t* key, size_t key_size);
  // Moves to byte `offset` of the keystream.
  void Seek(uint64_t offset);
  // XORs the keystream into `data`, continuing where the last call stopped.
  void Apply(uint8_t* data, size_t size);

  // One block through the cipher (the test vectors of the standard).
  void EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

  const uint32_t* RoundKeys() const { return round_keys_; }
  int Rounds() const { return rounds_; }

 private:
  void NextKeystreamBlock();

  uint32_t round_keys_[60];  // (rounds + 1) * 4 words, bytes little-endian
  int rounds_ = 0;
  uint64_t counter_ = 1;  // of the next keystream block (the high half stays 0)
  uint8_t keystream_[kBlockSize];
  size_t used_ = kBlockSize;  // bytes of keystream_ already applied
};

// The portable cipher, and the processor's AES instructions (aes_x86.cpp), used when present.
void AesEncryptBlockPortable(const uint32_t* round_keys, int rounds, const uint8_t* in,
                             uint8_t* out);
bool AesInstructionsAvailable();
// XORs the keystream of `blocks` whole blocks, counters counter, counter+1,
// ..., into `data`.
void AesCtrInstructions(const uint32_t* round_keys, int rounds, uint64_t counter, uint8_t* data,
                        size_t blocks);
void AesEncryptBlockInstructions(const uint32_t* round_keys, int rounds, const uint8_t* in,
                                 uint8_t* out);

}  // namespace vx
