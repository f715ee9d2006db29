#include "platform/stream.h"

#include <algorithm>
#include <cstring>

#include "platform/exception.h"

namespace vx {

namespace {

int64_t NewPosition(int64_t offset, SeekOrigin origin, int64_t current, int64_t size) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? current : size;
  int64_t position = base + offset;
  if (position < 0) throw EStreamError("Stream seek error");
  return position;
}

}  // namespace

int64_t TStream::Size() {
  int64_t saved = Position();
  int64_t size = Seek(0, soEnd);
  Seek(saved, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int64_t got = Read(out, count);
    if (got <= 0) throw EStreamError("Stream read error");
    out += got;
    count -= got;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    int64_t put = Write(in, count);
    if (put <= 0) throw EStreamError("Stream write error");
    in += put;
    count -= put;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 64 * 1024)) + 1);
  int64_t left = count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(chunk.size()));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= n;
  }
  return count;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t available = std::max<int64_t>(0, Size() - position_);
  int64_t n = std::clamp<int64_t>(count, 0, available);
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(position_ + count);
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = NewPosition(offset, origin, position_, Size());
  return position_;
}

int64_t TMemoryViewStream::Read(void* buffer, int64_t count) {
  int64_t available = std::max<int64_t>(0, size_ - position_);
  int64_t n = std::clamp<int64_t>(count, 0, available);
  if (n > 0) std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryViewStream::Write(const void*, int64_t) { return 0; }

int64_t TMemoryViewStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = NewPosition(offset, origin, position_, size_);
  return position_;
}

int64_t TDiscardStream::Read(void*, int64_t) { return 0; }

int64_t TDiscardStream::Write(const void*, int64_t count) {
  if (count <= 0) return 0;
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t TDiscardStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = NewPosition(offset, origin, position_, size_);
  return position_;
}

}  // namespace vx
