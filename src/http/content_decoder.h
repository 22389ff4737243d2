#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "http/http_errors.h"

namespace corvane::http {

// Where decoded body bytes go next.
class BodyOutput {
 public:
  virtual ~BodyOutput() = default;
  virtual int Write(const char* data, size_t length) = 0;
};

// Result of looking for a complete gzip member header (RFC 1952 2.3).
enum class GzipHeaderStatus { incomplete, complete, invalid };

// Checks the header at the start of data: magic 1F 8B, method 8, flags, six
// bytes, then FEXTRA (2-byte little-endian length + data), FNAME and FCOMMENT
// (NUL-terminated) and FHCRC (2 bytes) as the flags say. On complete,
// headerLength is its size.
GzipHeaderStatus ParseGzipHeader(const uint8_t* data, size_t length, size_t& headerLength);

// Decodes a gzip or deflate content coding: the gzip header is parsed here,
// the compressed data inflated by zlib as raw deflate (window bits -15). The
// gzip trailer and anything after the end of the stream are ignored.
class ContentDecoder {
 public:
  enum Coding { codingNone = 0, codingGzip = 1, codingDeflate = 2 };

  // Decoded bytes are handed on in pieces of at most this size, so a body that
  // inflates to gigabytes never needs more than this in memory at once.
  static constexpr size_t kFlushSize = 1 << 20;

  ContentDecoder() = default;
  ~ContentDecoder();
  ContentDecoder(const ContentDecoder&) = delete;
  ContentDecoder& operator=(const ContentDecoder&) = delete;

  // Starts decoding coding 1 or 2; 0 or the DecompressorInit code.
  int Start(int coding);
  // Ends the inflate stream and empties the buffers (coding back to 0).
  void Reset();
  int coding() const noexcept { return coding_; }

  // Decodes one block of input. Output goes to out: at least once per call
  // with everything produced (nothing while the gzip header or the zlib
  // wrapper is still incomplete), more often when it grows past kFlushSize.
  // Returns 0, the GzipHeader code or the Decompress code (failure() tells
  // which), or the code of out.
  int Decode(const char* data, size_t length, BodyOutput& out);

  HttpError failure() const noexcept { return failure_; }

 private:
  int Inflate(const uint8_t* data, size_t length, BodyOutput& out);
  int Flush(BodyOutput& out);

  int coding_ = codingNone;
  bool streamOpen_ = false;
  bool streamEnded_ = false;
  bool headerDone_ = false;
  HttpError failure_ = HttpError::Decompress;
  z_stream zs_{};
  std::string compressedInput_;  // gathers the gzip header or zlib wrapper
  std::unique_ptr<char[]> output_;  // kFlushSize + one inflate block
  size_t used_ = 0;
};

}  // namespace corvane::http
