// Byte streams in the manner of the classic TStream: decoders and the archive
// read and write these, never files directly, so memory, discarding and file
// streams are interchangeable and tests need no disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

enum SeekOrigin : int32_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to `count` bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position and returns the new one.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }

  // Read or write exactly `count` bytes, raising EStreamError otherwise.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies exactly `count` bytes from the current position of `source`.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable stream held in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  void Clear() {
    bytes_.clear();
    position_ = 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

// A read-only stream over bytes owned by someone else (fuzzers, benchmarks).
class TMemoryViewStream : public TStream {
 public:
  TMemoryViewStream(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(static_cast<int64_t>(size)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

// Accepts and counts every byte written, keeps none; reads give nothing.
// Used to test members without writing them anywhere.
class TDiscardStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace vx
