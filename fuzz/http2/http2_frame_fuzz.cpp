// Frame parser with HPACK decoding: the input is a run of frames as they come
// from a server, parsed with one shared decoding table; frames that parse are
// serialised again and must parse to the same payload. The same bytes are
// also fed straight to the HPACK decoder, split at a point the first byte
// picks, to a connection that has sent its request, in pieces, and through
// a Huffman round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "http2/hpack_decoder.h"
#include "http2/http2_connection.h"
#include "http2/http2_frame_types.h"
#include "http2/huffman.h"

namespace {

void CheckReserialise(corvane::Http2Frame& frame) {
  uint8_t type = frame.Type();
  // HEADERS re-encodes with another coder, so only the fixed layouts compare.
  if (type == 1 || type == 9 || type == 0) return;
  corvane::ByteBuffer out;
  if (frame.Serialize(out) != 0) return;
  auto again = corvane::CreateHttp2Frame(type, nullptr);
  if (again->Parse(reinterpret_cast<const uint8_t*>(out.data()), static_cast<size_t>(out.size())) !=
      0) {
    std::abort();
  }
  // SETTINGS drops unknown identifiers, WINDOW_UPDATE and GOAWAY clear the
  // reserved bit, RST_STREAM and PRIORITY keep their fixed fields only; the others keep every byte.
  bool exact = type == 5 || type == 6 || type > 9;
  if (exact && again->Payload() != frame.Payload()) std::abort();
}

class NullListener : public corvane::Http2ResponseListener {
 public:
  int ProcessHeader(std::string_view, std::string_view) override { return 0; }
  int EndOfHeaders() override { return 0; }
  int DeliverBody(const char*, size_t) override { return 0; }
  int CompleteResponse() override { return 0; }
};

void FeedConnection(const uint8_t* data, size_t size) {
  NullListener listener;
  corvane::Http2Connection conn;
  conn.SetListener(&listener);
  conn.Start();
  conn.RequestHeaders() = {{":method", "GET"}, {":path", "/"}};
  conn.SendHeaders(size % 2 == 0);
  size_t piece = size % 7 + 1;
  for (size_t i = 0; i < size; i += piece) {
    if (conn.Receive(data + i, size - i < piece ? size - i : piece) != 0) {
      if (conn.LastErrorText().empty()) std::abort();
      break;
    }
    conn.ConsumeOutput(static_cast<size_t>(conn.Output().size()));
    if (conn.SendWindow() > 0 && i % 3 == 0) conn.SendData("body", conn.SendWindow() < 4 ? 1 : 4, false);
  }
  conn.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::HpackDecoder decoder;
  decoder.SetMaxHeaderListSize(64 * 1024);
  size_t pos = 0;
  while (pos < size) {
    corvane::Http2FrameHeader h;
    if (!corvane::PeekHttp2FrameHeader(data + pos, size - pos, h)) break;
    auto frame = corvane::CreateHttp2Frame(h.type, &decoder);
    int rc = frame->Parse(data + pos, size - pos);
    if (rc != 0) {
      if (frame->LastErrorText().empty()) std::abort();  // every failure carries a message
      // The rest of the input has no complete frame, or the connection is lost.
      if (rc == 6 && size - pos < corvane::kHttp2FrameHeaderSize + h.length) break;
      if (rc == 9) decoder.Reset();
    } else {
      CheckReserialise(*frame);
    }
    pos += corvane::kHttp2FrameHeaderSize + h.length;
    if (pos > size) break;
  }

  if (size > 0) {
    corvane::HpackDecoder block;
    corvane::HeaderList out;
    size_t cut = data[0] % size;
    if (block.Decode(data + 1, cut > 0 ? cut - 1 : 0, out, false) == 0) {
      size_t start = cut > 0 ? cut : 1;
      block.Decode(data + start, size - start, out, true);
    }
  }
  FeedConnection(data, size);

  // Any bytes Huffman-code and decode back unchanged.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  corvane::ByteBuffer coded;
  if (corvane::http2::HuffmanEncode(text, coded) == 0) {
    std::string back;
    if (corvane::http2::HuffmanDecode(reinterpret_cast<const uint8_t*>(coded.data()),
                                      static_cast<size_t>(coded.size()),
                                      back) != corvane::http2::HuffmanResult::hrOk ||
        back != text) {
      std::abort();
    }
  }
  return 0;
}
