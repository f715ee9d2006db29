#include "archive/span_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/exception.h"
#include "platform/files.h"

namespace vx {

std::unique_ptr<TAbSpanStream> TAbSpanStream::Open(const std::string& path) {
  std::unique_ptr<TStream> file = platform::TFileStream::OpenRead(path);
  return std::unique_ptr<TAbSpanStream>(new TAbSpanStream(std::move(file), path));
}

TAbSpanStream::TAbSpanStream(TStream& source) {
  Attach(source);
}

TAbSpanStream::TAbSpanStream(std::unique_ptr<TStream> owned, std::string file_name)
    : owned_(std::move(owned)), file_name_(std::move(file_name)) {
  Attach(*owned_);
}

TAbSpanStream::~TAbSpanStream() = default;

void TAbSpanStream::Attach(TStream& source) {
  source_ = &source;
  size_ = source.Size();
  source_position_ = source.Seek(0, soBeginning);
  buffer_start_ = 0;
  buffer_length_ = 0;
  position_ = 0;
}

void TAbSpanStream::SwitchImage(const std::string& path) {
  std::unique_ptr<TStream> file = platform::TFileStream::OpenRead(path);
  owned_ = std::move(file);
  file_name_ = path;
  Attach(*owned_);
}

int64_t TAbSpanStream::ReadImage(uint8_t* out, int64_t count) {
  int64_t done = 0;
  while (done < count && position_ < size_) {
    const int64_t offset = position_ - buffer_start_;
    if (offset >= 0 && offset < buffer_length_) {
      const int64_t n = std::min(count - done, buffer_length_ - offset);
      std::memcpy(out + done, buffer_.data() + offset, static_cast<size_t>(n));
      done += n;
      position_ += n;
      continue;
    }
    const int64_t wanted = count - done;
    if (source_position_ != position_) source_position_ = source_->Seek(position_, soBeginning);
    if (wanted >= kBufferSize) {
      // Large reads (the inflater's) go straight to the caller's buffer.
      const int64_t got = source_->Read(out + done, wanted);
      if (got <= 0) break;
      source_position_ += got;
      done += got;
      position_ += got;
      continue;
    }
    if (buffer_.empty()) buffer_.resize(static_cast<size_t>(kBufferSize));
    buffer_start_ = position_;
    buffer_length_ = std::max<int64_t>(0, source_->Read(buffer_.data(), kBufferSize));
    source_position_ += buffer_length_;
    if (buffer_length_ == 0) break;
  }
  return done;
}

int64_t TAbSpanStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = ReadImage(out, count);
  while (done < count && !ignore_span_boundaries_ && OnEndOfImage && OnEndOfImage()) {
    crossed_boundary_ = true;
    done += ReadImage(out + done, count - done);
  }
  return done;
}

int64_t TAbSpanStream::Write(const void*, int64_t) {
  throw EStreamError("Stream write error");
}

int64_t TAbSpanStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  int64_t target = base + offset;
  if (target < 0) {
    if (!crossed_boundary_) throw EStreamError("Stream seek error");
    target = 0;
  }
  if (origin == soBeginning) crossed_boundary_ = false;
  position_ = target;
  return position_;
}

}  // namespace vx
