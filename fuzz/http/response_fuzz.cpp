// Drives the response reader and the content decoder with arbitrary bytes:
// the first byte chooses the piece size, whether the body is treated as gzip
// and whether framing is strict (with a short line limit, so over-long lines
// are met), so split handling, both framings and the decoder are exercised.
#include <cstddef>
#include <cstdint>

#include "http/content_decoder.h"
#include "http/response_reader.h"

namespace {

class Sink : public corvane::http::BodyOutput {
 public:
  int Write(const char*, size_t length) override {
    total += length;
    return 0;
  }
  size_t total = 0;
};

class Handler : public corvane::http::ResponseHandler {
 public:
  explicit Handler(bool gzip) {
    decoder.Start(gzip ? corvane::http::ContentDecoder::codingGzip
                       : corvane::http::ContentDecoder::codingDeflate);
  }
  int OnStatusLine(bool) override { return 0; }
  int OnHeaderLine(std::string_view, std::string_view, std::string_view) override { return 0; }
  int OnHeadComplete(bool) override { return 0; }
  int OnBodyData(const char* data, size_t length) override {
    return decoder.Decode(data, length, sink);
  }
  int OnResponseComplete() override { return 0; }
  corvane::http::ContentDecoder decoder;
  Sink sink;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t step = (data[0] & 0x0F) + 1;
  bool head = (data[0] & 0x10) != 0;
  Handler handler((data[0] & 0x20) != 0);
  corvane::http::ResponseReader reader;
  reader.Reset(head);
  reader.SetMaxHeadBytes(1 << 16);
  if ((data[0] & 0x40) != 0) {
    reader.SetStrict(true);
    reader.SetMaxLineLength(64);
  }
  const char* p = reinterpret_cast<const char*>(data + 1);
  size_t left = size - 1;
  while (left > 0 && !reader.complete()) {
    size_t n = left < step ? left : step;
    if (reader.Feed(p, n, handler) != 0) return 0;
    p += n;
    left -= n;
  }
  reader.OnConnectionClosed(handler);
  return 0;
}
