// The stream an archive is read through: read-only, buffered (the central
// directory is read in pieces of a few dozen bytes, and a system call for
// each would dominate loading), and able to move to another file of a set
// that spans several disks or image files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace vx {

class TAbSpanStream : public TStream {
 public:
  static constexpr int64_t kBufferSize = 64 * 1024;

  // Opens an archive file read-only; others may read and write it meanwhile.
  // Raises EFileError when it cannot be opened.
  static std::unique_ptr<TAbSpanStream> Open(const std::string& path);
  // Reads through a stream owned by the caller (an archive in memory). Such a
  // stream cannot change to another disk.
  explicit TAbSpanStream(TStream& source);
  ~TAbSpanStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  // Raises EStreamError: archives are opened for reading only.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return size_; }

  // Whether the stream reads a file, and so can move to another one.
  bool CanSpan() const { return owned_ != nullptr; }
  // The file read now ("" for a caller's stream).
  const std::string& FileName() const { return file_name_; }
  // Continues on another file of the set, at its start. Raises EFileError.
  void SwitchImage(const std::string& path);

  // Called when a read reaches the end of the current file with bytes still
  // wanted; it may switch to the next file (and answer true) so the read goes
  // on there. Not called while span boundaries are ignored.
  std::function<bool()> OnEndOfImage;
  void SetIgnoreSpanBoundaries(bool ignore) { ignore_span_boundaries_ = ignore; }

 private:
  TAbSpanStream(std::unique_ptr<TStream> owned, std::string file_name);
  void Attach(TStream& source);
  // Reads from the current file, refilling the buffer; 0 at its end.
  int64_t ReadImage(uint8_t* out, int64_t count);

  std::unique_ptr<TStream> owned_;
  TStream* source_ = nullptr;
  std::string file_name_;
  int64_t size_ = 0;
  std::vector<uint8_t> buffer_;
  int64_t buffer_start_ = 0;  // file position of buffer_[0]
  int64_t buffer_length_ = 0;
  int64_t position_ = 0;         // logical position in the current file
  int64_t source_position_ = 0;  // where the underlying stream stands
  bool ignore_span_boundaries_ = false;
  // Set once a read has continued into a following file: a small step back
  // from there (an inflater returning unused input) must not fail.
  bool crossed_boundary_ = false;
};

}  // namespace vx
