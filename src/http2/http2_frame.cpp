#include "http2/http2_frame.h"

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "http2/http2_frame_types.h"

namespace corvane {

std::string Http2FrameTypeName(uint8_t type) {
  static constexpr const char* kNames[] = {"DATA",     "HEADERS", "PRIORITY", "RST_STREAM",
                                           "SETTINGS", "PUSH_PROMISE", "PING", "GOAWAY",
                                           "WINDOW_UPDATE", "CONTINUATION"};
  if (type < std::size(kNames)) return kNames[type];
  return std::to_string(type);
}

bool PeekHttp2FrameHeader(const uint8_t* bytes, size_t length, Http2FrameHeader& header) noexcept {
  ByteReader r(bytes, length);
  Http2FrameHeader h;
  if (!r.U24Be(h.length) || !r.U8(h.type) || !r.U8(h.flags) || !r.U32Be(h.streamId)) return false;
  h.streamId &= 0x7FFFFFFF;  // the reserved bit is ignored on receipt (RFC 7540 section 4.1)
  header = h;
  return true;
}

int Http2Frame::Fail(Http2Message message, std::initializer_list<MessageArg> args) {
  return SetError(Http2MessageCode(message), Http2MessageText(message, args));
}

int Http2Frame::Truncated(size_t offset) {
  return Fail(Http2Message::kFrameTruncated,
              {Http2FrameTypeName(type_), static_cast<unsigned long long>(offset)});
}

int Http2Frame::Serialize(ByteBuffer& out) {
  const int start = out.size();
  UpdateFlags();
  ByteWriter w(out);
  // The length is patched in once the payload is written.
  w.U24Be(0);
  w.U8(type_);
  w.U8(flags_);
  w.U32Be(streamId_ & 0x7FFFFFFF);
  if (w.Code() != 0) return w.Code();
  if (int rc = WritePayload(out); rc != 0) {
    out.Resize(start);
    return rc;
  }
  const size_t length = static_cast<size_t>(out.size() - start) - kHttp2FrameHeaderSize;
  if (length > kHttp2MaxPayloadLength) {
    out.Resize(start);
    return Fail(Http2Message::kPayloadTooLarge, {static_cast<unsigned long long>(length)});
  }
  payloadLength_ = static_cast<uint32_t>(length);
  char* h = out.data() + start;
  h[0] = static_cast<char>(length >> 16);
  h[1] = static_cast<char>(length >> 8);
  h[2] = static_cast<char>(length);
  return 0;
}

int Http2Frame::Parse(const uint8_t* bytes, size_t length) {
  ClearError();
  Http2FrameHeader h;
  if (!PeekHttp2FrameHeader(bytes, length, h)) {
    return Fail(Http2Message::kFrameHeaderTruncated,
                {static_cast<unsigned long long>(kHttp2FrameHeaderSize),
                 static_cast<unsigned long long>(length)});
  }
  if (length - kHttp2FrameHeaderSize < h.length) {
    return Fail(Http2Message::kFrameHeaderTruncated,
                {static_cast<unsigned long long>(kHttp2FrameHeaderSize + h.length),
                 static_cast<unsigned long long>(length)});
  }
  payloadLength_ = h.length;
  type_ = h.type;
  flags_ = h.flags;
  streamId_ = h.streamId;
  if (payload_.Assign(bytes + kHttp2FrameHeaderSize, static_cast<int>(h.length)) != 0) {
    return Fail(Http2Message::kOutOfMemory);
  }
  return ParsePayload();
}

int Http2Frame::WritePayload(ByteBuffer& out) { return out.Append(payload_.view()); }

int Http2Frame::ParsePayload() { return 0; }

std::unique_ptr<Http2Frame> CreateHttp2Frame(uint8_t type, HpackDecoder* decoder) {
  switch (type) {
    case static_cast<uint8_t>(Http2FrameType::ftData):
      return std::make_unique<Http2DataFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftHeaders):
      return std::make_unique<Http2HeadersFrame>(decoder);
    case static_cast<uint8_t>(Http2FrameType::ftPriority):
      return std::make_unique<Http2PriorityFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftRstStream):
      return std::make_unique<Http2RstStreamFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftSettings):
      return std::make_unique<Http2SettingsFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftGoAway):
      return std::make_unique<Http2GoAwayFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftWindowUpdate):
      return std::make_unique<Http2WindowUpdateFrame>();
    case static_cast<uint8_t>(Http2FrameType::ftContinuation):
      return std::make_unique<Http2ContinuationFrame>(decoder);
    default:
      return std::make_unique<Http2Frame>(type);
  }
}

}  // namespace corvane
