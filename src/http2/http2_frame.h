#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/component_core.h"
#include "http2/http2_errors.h"

namespace corvane {

class HpackDecoder;

// Frame types of RFC 7540 section 6.
enum class Http2FrameType : uint8_t {
  ftData = 0,
  ftHeaders = 1,
  ftPriority = 2,
  ftRstStream = 3,
  ftSettings = 4,
  ftPushPromise = 5,
  ftPing = 6,
  ftGoAway = 7,
  ftWindowUpdate = 8,
  ftContinuation = 9,
};

// "DATA", "HEADERS", ... for the known types; the number in decimal otherwise.
std::string Http2FrameTypeName(uint8_t type);

// Frame flags (RFC 7540 section 6); END_STREAM and ACK share a bit.
inline constexpr uint8_t kFlagEndStream = 0x1;
inline constexpr uint8_t kFlagAck = 0x1;
inline constexpr uint8_t kFlagEndHeaders = 0x4;
inline constexpr uint8_t kFlagPadded = 0x8;
inline constexpr uint8_t kFlagPriority = 0x20;

inline constexpr size_t kHttp2FrameHeaderSize = 9;
inline constexpr uint32_t kHttp2MaxPayloadLength = 0xFFFFFF;

// The 9-byte frame header (RFC 7540 section 4.1).
struct Http2FrameHeader {
  uint32_t length = 0;
  uint8_t type = 0;
  uint8_t flags = 0;
  uint32_t streamId = 0;  // reserved bit cleared
};

// Reads the header at the front of bytes; false when fewer than 9 bytes are
// there. A receive loop uses it to learn whether a whole frame has arrived.
bool PeekHttp2FrameHeader(const uint8_t* bytes, size_t length, Http2FrameHeader& header) noexcept;

// One HTTP/2 frame. The base class carries the header fields and the payload
// bytes and serves the types that keep their payload as bytes (PING,
// PUSH_PROMISE, unknown types); each other type is a derived class with its
// own fields. A parse failure leaves its message in LastErrorText().
class Http2Frame : public ComponentCore {
 public:
  explicit Http2Frame(uint8_t type = 0) noexcept : type_(type) {}

  // Appends the 9-byte header and the payload built from the fields to out.
  // Returns 0, 6 (payload longer than 2^24 - 1) or 200.
  int Serialize(ByteBuffer& out);

  // Parses one whole frame from the front of bytes: the header, exactly
  // payload-length bytes of payload, then the type's fields. Returns 0 or
  // the failure's code (1, 6, 9, 200) with the message in LastErrorText().
  int Parse(const uint8_t* bytes, size_t length);

  uint32_t PayloadLength() const noexcept { return payloadLength_; }
  uint8_t Type() const noexcept { return type_; }
  uint8_t Flags() const noexcept { return flags_; }
  void SetFlags(uint8_t flags) noexcept { flags_ = flags; }
  bool HasFlag(uint8_t flag) const noexcept { return (flags_ & flag) != 0; }
  uint32_t StreamId() const noexcept { return streamId_; }
  void SetStreamId(uint32_t id) noexcept { streamId_ = id & 0x7FFFFFFF; }
  // The payload as received, or as set for a base-class frame to send.
  std::string_view Payload() const noexcept { return payload_.view(); }
  int SetPayload(std::string_view bytes) noexcept { return payload_.Assign(bytes); }

 protected:
  // Adjusts the flags to the fields before the header is written (PADDED).
  virtual void UpdateFlags() noexcept {}
  // Appends the payload built from the fields (the base: the payload bytes).
  virtual int WritePayload(ByteBuffer& out);
  // Reads the fields from payload_ (the base: nothing).
  virtual int ParsePayload();

  // Sets the message and returns its code.
  int Fail(Http2Message message, std::initializer_list<MessageArg> args = {});
  // The failure of a field read past the end of the payload.
  int Truncated(size_t offset);

  uint32_t payloadLength_ = 0;
  uint8_t type_ = 0;
  uint8_t flags_ = 0;
  uint32_t streamId_ = 0;
  ByteBuffer payload_;
};

// The object for a frame of the given type: a derived class for the types
// with fields, the base class otherwise. HEADERS and CONTINUATION decode
// their header blocks through decoder (which may be null for frames only
// sent).
std::unique_ptr<Http2Frame> CreateHttp2Frame(uint8_t type, HpackDecoder* decoder);

}  // namespace corvane
