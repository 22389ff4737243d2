#include "http2/http2_frame_types.h"

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "http2/hpack_decoder.h"
#include "http2/hpack_encoder.h"

namespace corvane {


namespace {

ByteReader PayloadReader(const ByteBuffer& payload) noexcept {
  return ByteReader(reinterpret_cast<const uint8_t*>(payload.data()),
                    static_cast<size_t>(payload.size()));
}

}  // namespace

// DATA ---------------------------------------------------------------------

void Http2DataFrame::UpdateFlags() noexcept {
  flags_ = padLength_ ? (flags_ | kFlagPadded) : (flags_ & ~kFlagPadded);
}

int Http2DataFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  if (padLength_) w.U8(padLength_);
  w.Bytes(data_);
  w.Zeros(padLength_);
  return w.Code();
}

int Http2DataFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  uint8_t pad = 0;
  long long dataLength = payloadLength_;
  if (HasFlag(kFlagPadded)) {
    if (!r.U8(pad)) return Truncated(r.Position());
    dataLength = static_cast<long long>(payloadLength_) - 1 - pad;
    if (pad >= dataLength) return Fail(Http2Message::kDataPadding, {int{pad}, dataLength});
  }
  padLength_ = pad;
  dataLength_ = static_cast<uint32_t>(dataLength);
  data_ = std::string_view(payload_.data() + r.Position(), static_cast<size_t>(dataLength));
  return 0;
}

size_t Http2DataFrame::PrefixLength(const Http2FrameHeader& header) noexcept {
  const bool padByte = (header.flags & kFlagPadded) != 0 && header.length > 0;
  return kHttp2FrameHeaderSize + (padByte ? 1 : 0);
}

int Http2DataFrame::ParsePrefix(const uint8_t* bytes, size_t length) {
  ClearError();
  Http2FrameHeader h;
  if (!PeekHttp2FrameHeader(bytes, length, h) || length < PrefixLength(h)) {
    return Fail(Http2Message::kFrameHeaderTruncated,
                {static_cast<unsigned long long>(PrefixLength(h)), static_cast<unsigned long long>(length)});
  }
  payloadLength_ = h.length;
  type_ = h.type;
  flags_ = h.flags;
  streamId_ = h.streamId;
  payload_.Clear();
  data_ = {};
  uint8_t pad = 0;
  long long dataLength = payloadLength_;
  if (HasFlag(kFlagPadded)) {
    if (payloadLength_ == 0) return Truncated(0);
    pad = bytes[kHttp2FrameHeaderSize];
    dataLength = static_cast<long long>(payloadLength_) - 1 - pad;
    if (pad >= dataLength) return Fail(Http2Message::kDataPadding, {int{pad}, dataLength});
  }
  padLength_ = pad;
  dataLength_ = static_cast<uint32_t>(dataLength);
  return 0;
}

// HEADERS ------------------------------------------------------------------

void Http2HeadersFrame::UpdateFlags() noexcept {
  flags_ = padLength_ ? (flags_ | kFlagPadded) : (flags_ & ~kFlagPadded);
}

int Http2HeadersFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  if (padLength_) w.U8(padLength_);
  if (HasFlag(kFlagPriority)) {
    w.U32Be(dependency_);
    w.U8(weight_);
  }
  if (w.Code() != 0) return w.Code();
  if (int rc = HpackEncode(headers_, useHuffman_, out); rc != 0) return rc;
  w.Zeros(padLength_);
  return w.Code();
}

int Http2HeadersFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  uint8_t pad = 0;
  headers_.clear();
  if (HasFlag(kFlagPadded)) {
    if (!r.U8(pad)) return Truncated(r.Position());
    if (pad >= payloadLength_) return Fail(Http2Message::kHeadersPadding);
  }
  if (HasFlag(kFlagPriority)) {
    if (!r.U32Be(dependency_) || !r.U8(weight_)) return Truncated(r.Position());
  }
  // The padding must leave room for the fields before it (RFC 7540 section 6.2).
  if (pad > r.Remaining()) return Fail(Http2Message::kHeadersPadding);
  padLength_ = pad;
  if (decoder_ == nullptr) return 0;
  int rc = decoder_->Decode(r.Current(), r.Remaining() - pad, headers_, HasFlag(kFlagEndHeaders));
  if (rc != 0) return SetError(rc, decoder_->ErrorText());
  return 0;
}

// PRIORITY -----------------------------------------------------------------

int Http2PriorityFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  w.U32Be(dependency_);
  w.U8(weight_);
  return w.Code();
}

int Http2PriorityFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  if (!r.U32Be(dependency_) || !r.U8(weight_)) return Truncated(r.Position());
  return 0;
}

// RST_STREAM ---------------------------------------------------------------

int Http2RstStreamFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  w.U32Be(errorCode_);
  return w.Code();
}

int Http2RstStreamFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  if (!r.U32Be(errorCode_)) return Truncated(r.Position());
  return 0;
}

// SETTINGS -----------------------------------------------------------------

int Http2SettingsFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  for (uint16_t id = 1; id <= kHttp2SettingCount; ++id) {
    if (values_[id - 1] == kSettingAbsent) continue;
    w.U16Be(id);
    w.U32Be(values_[id - 1]);
  }
  return w.Code();
}

int Http2SettingsFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  values_.fill(kSettingAbsent);
  while (!r.AtEnd()) {
    uint16_t id = 0;
    uint32_t value = 0;
    if (!r.U16Be(id) || !r.U32Be(value)) return Truncated(r.Position());
    // Unknown identifiers must be ignored (RFC 7540 section 6.5.2).
    SetValue(id, value);
  }
  return 0;
}

// GOAWAY -------------------------------------------------------------------

int Http2GoAwayFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  w.U32Be(lastStreamId_);
  w.U32Be(errorCode_);
  w.Bytes(debugData_);
  return w.Code();
}

int Http2GoAwayFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  if (!r.U32Be(lastStreamId_) || !r.U32Be(errorCode_)) return Truncated(r.Position());
  lastStreamId_ &= 0x7FFFFFFF;
  debugData_.assign(reinterpret_cast<const char*>(r.Current()), r.Remaining());
  return 0;
}

// WINDOW_UPDATE ------------------------------------------------------------

int Http2WindowUpdateFrame::WritePayload(ByteBuffer& out) {
  ByteWriter w(out);
  w.U32Be(increment_);
  return w.Code();
}

int Http2WindowUpdateFrame::ParsePayload() {
  ByteReader r = PayloadReader(payload_);
  if (!r.U32Be(increment_)) return Truncated(r.Position());
  increment_ &= 0x7FFFFFFF;
  return 0;
}

// CONTINUATION -------------------------------------------------------------

int Http2ContinuationFrame::ParsePayload() {
  headers_.clear();
  if (decoder_ == nullptr) return 0;
  int rc = decoder_->Decode(reinterpret_cast<const uint8_t*>(payload_.data()),
                            static_cast<size_t>(payload_.size()), headers_,
                            HasFlag(kFlagEndHeaders));
  if (rc != 0) return SetError(rc, decoder_->ErrorText());
  return 0;
}

}  // namespace corvane
