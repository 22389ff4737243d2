#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/byte_buffer.h"
#include "core/file_ops.h"

namespace corvane::http {

// The last stages of the response body, after transfer and content decoding:
// the body goes to LocalFile (a successful response, when one is named) or
// to TransferredData. The client chooses between them per block and reports
// what was stored.

// LocalFile: opened at the first body byte, created (or appended to with
// Append) with the given attributes, closed when the response ends.
class FileBodyWriter {
 public:
  enum class Outcome { written, openFailed, writeFailed };

  std::string& Path() noexcept { return path_; }
  const std::string& Path() const noexcept { return path_; }
  bool& Append() noexcept { return append_; }
  unsigned& Attributes() noexcept { return attributes_; }

  // A failed write closes the file: the next block opens it again.
  Outcome Write(const char* data, size_t length);
  void Close() noexcept { file_.Reset(); }

 private:
  std::string path_;
  bool append_ = false;
  unsigned attributes_ = 0;
  FileHandle file_;
};

// TransferredData: the body in memory. With a limit above 0 only the first
// limit bytes are kept; the rest is dropped (and still counted by the
// client).
class MemoryBodyWriter {
 public:
  ByteBuffer& Data() noexcept { return data_; }
  const ByteBuffer& Data() const noexcept { return data_; }
  int64_t& Limit() noexcept { return limit_; }
  int64_t Limit() const noexcept { return limit_; }

  // 0, or the buffer's code when it cannot grow.
  int Write(const char* data, size_t length);

 private:
  ByteBuffer data_;
  int64_t limit_ = 0;
};

}  // namespace corvane::http
