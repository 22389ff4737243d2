#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/component_core.h"
#include "http2/header_list.h"
#include "http2/hpack_decoder.h"
#include "http2/http2_frame_types.h"
#include "http2/response_field_rules.h"

namespace corvane {

// Stream states of RFC 7540 section 5.1, numbered as they are reported.
enum class Http2StreamState {
  ssIdle = 0,
  ssOpened = 1,
  ssReservedLocal = 2,
  ssReservedRemote = 3,
  ssHalfClosedRemote = 4,
  ssHalfClosedLocal = 5,
  ssClosed = 6,
};

// "IDLE", "OPENED", ... as used in messages; "UNKNOWN" for any other value.
std::string_view Http2StreamStateName(Http2StreamState state) noexcept;

// What the connection calls while it handles received frames: the response
// reader of the HTTP layer (header pairs, end of headers, body bytes, end of
// response) and the log. A non-zero return stops the receive and becomes its
// result (for example a local file that cannot be written).
class Http2ResponseListener {
 public:
  virtual ~Http2ResponseListener() = default;
  virtual int ProcessHeader(std::string_view name, std::string_view value) = 0;
  virtual int EndOfHeaders() = 0;
  virtual int DeliverBody(const char* data, size_t length) = 0;
  virtual int CompleteResponse() = 0;
  virtual bool LogsAt(int level) const { return false; }
  virtual void Log(int level, std::string_view message, std::string_view logType) {}
};

// The client side of one HTTP/2 connection, one request at a time: stream 1,
// then 3, 5, ... when the owner keeps the connection (NextStream), without I/O: every operation appends the bytes to send to Output(), which
// the owner writes to the TLS channel and then empties (ConsumeOutput), and
// Receive takes the bytes the channel delivered while the request runs,
// that is after SendHeaders (a server's first SETTINGS that arrives with the
// end of the handshake is held by the owner until then: in IDLE the stream
// refuses it). Waiting for send window is
// the owner's: while SendWindow() is smaller than the next piece of body, it
// runs its event loop and feeds Receive (WINDOW_UPDATE frames grow it).
//
// Failures return 1 (protocol error), 6 (frame size error), 9 (header
// compression), 162 (stream reset by the server) or 200, with the message in
// LastErrorText(); after a failure of Receive the connection is unusable.
class Http2Connection : public ComponentCore {
 public:
  static constexpr uint32_t kFirstStreamId = 1;
  // The connection-level WINDOW_UPDATE sent after the preface.
  static constexpr uint32_t kConnectionWindowIncrement = 65535;
  // This side never announces SETTINGS_MAX_FRAME_SIZE, so the protocol
  // default bounds every frame it accepts (RFC 7540 section 4.2).
  static constexpr uint32_t kMaxReceiveFrameSize = 16384;
  static constexpr std::string_view kPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

  Http2Connection();

  void SetListener(Http2ResponseListener* listener) noexcept { listener_ = listener; }

  // Appends the preface, our SETTINGS (SETTINGS_MAX_CONCURRENT_STREAMS and
  // SETTINGS_INITIAL_WINDOW_SIZE from the record) and the connection
  // WINDOW_UPDATE.
  int Start();

  // The request header list: pseudo-headers from the request line, then the
  // lines of the composed HTTP/1.1 header block without Host and without the
  // connection-specific fields, names in lower case. requestHeadersText gets
  // the pairs as "name: value\r\n" lines.
  static void BuildRequestHeaders(std::string_view verb, std::string_view scheme,
                                  std::string_view host, int port, std::string_view pathAndQuery,
                                  std::string_view headerBlock, HeaderList& headers,
                                  std::string& requestHeadersText);
  HeaderList& RequestHeaders() noexcept { return requestHeaders_; }

  // Appends the HEADERS frame of the request header list (CONTINUATION frames
  // when the block exceeds the server's SETTINGS_MAX_FRAME_SIZE).
  int SendHeaders(bool endStream);

  // Appends the DATA frames of one piece of the request body, split at the
  // server's SETTINGS_MAX_FRAME_SIZE, END_STREAM on the last when last is
  // set. length must not exceed SendWindow().
  int SendData(const void* data, size_t length, bool last);

  // Appends RST_STREAM with errorCode for stream 1 and closes the stream.
  int SendRstStream(uint32_t errorCode = 0);

  // Takes bytes from the server; every complete frame is parsed and handled,
  // and DATA payloads go to the listener piece by piece as they arrive.
  int Receive(const void* data, size_t length);

  // Ends the stream (RST_STREAM unless it is closed or never opened), then
  // back to IDLE with an empty receive buffer and decoding table.
  int Close();

  // After a stream that both sides ended: the next request goes on the next
  // odd stream of the same connection, which keeps its settings, windows,
  // decoding table and any partly received frame. False (nothing changed)
  // when the stream has not ended cleanly, a GOAWAY arrived or the stream
  // identifiers are used up; the owner then closes the connection.
  bool NextStream();
  uint32_t StreamId() const noexcept { return streamId_; }
  // Start ran on this connection (the preface is out).
  bool Started() const noexcept { return started_; }

  // Bytes to send, in order.
  const ByteBuffer& Output() const noexcept { return output_; }
  void ConsumeOutput(size_t n) noexcept { output_.Consume(static_cast<int>(n)); }

  Http2StreamState State() const noexcept { return state_; }
  bool ClosedByPeer() const noexcept { return closedByPeer_; }
  bool ResponseComplete() const noexcept { return responseComplete_; }
  // The body bytes that may be sent now: the smaller of the stream's and the
  // connection's send windows, never below 0.
  int64_t SendWindow() const noexcept;
  int32_t StreamSendWindow() const noexcept { return streamSendWindow_; }
  uint32_t Setting(uint16_t id) const noexcept {
    return id >= 1 && id <= kHttp2SettingCount ? settings_[id - 1] : kSettingAbsent;
  }
  HpackDecoder& Decoder() noexcept { return decoder_; }
  // A GOAWAY is accepted without further action; the owner may end the wait
  // early when its last stream identifier is below 1 (the request was not
  // processed, RFC 7540 section 6.8).
  bool GoAwayReceived() const noexcept { return goAwayReceived_; }
  const Http2GoAwayFrame& LastGoAway() const noexcept { return goAwayFrame_; }

  // True when the ALPN selection names "h2" (names split at commas and
  // spaces, compared case-insensitively).
  static bool AlpnSelectsH2(std::string_view selection) noexcept;

  // The choice after the TLS handshake when HTTP/2 was asked for: 0 with
  // useHttp2 true when "h2" was selected; 0 with useHttp2 false when the
  // request falls back to HTTP/1.1 (the caller reports kFallbackStatus and
  // sets NegotiatedHTTPVersion to "1.1"); 161 with the message otherwise.
  int SelectProtocol(std::string_view alpnSelection, bool allowFallback, std::string_view scheme,
                     bool& useHttp2);
  static constexpr std::string_view kFallbackStatus =
      "Server does not support ALPN protocol h2. Falling back to HTTP/1.1";
  static constexpr std::string_view kAlpnLogPrefix = "Received ALPN: ";

 private:
  int Fail(Http2Message message, std::initializer_list<MessageArg> args = {});
  int FailState(Http2Message message) { return Fail(message, {Http2StreamStateName(state_)}); }
  int Emit(Http2Frame& frame);
  int EmitWindowUpdate(uint32_t streamId, uint32_t increment);
  int HandleFrame(const uint8_t* bytes, const Http2FrameHeader& header);
  // The steps of Receive; each advances p past what it used and sets wait
  // when the input ran out before its unit was complete.
  int TakeFrame(const uint8_t*& p, const uint8_t* end, bool& wait);
  int TakeHeld(const uint8_t*& p, const uint8_t* end, bool& wait);
  int TakeData(const uint8_t*& p, const uint8_t* end, bool& wait);
  int Hold(const uint8_t*& p, size_t count);
  int CheckFrameLength(const Http2FrameHeader& h);
  // Each handler checks what the header tells, parses, then acts.
  // DATA: the prefix is checked here, the data follows through TakeData.
  int StartData(const uint8_t* prefix, const Http2FrameHeader& h);
  int OnHeaders(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnContinuation(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnRstStream(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnSettings(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnPushPromise(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnPing(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnGoAway(const uint8_t* bytes, const Http2FrameHeader& h);
  int OnWindowUpdate(const uint8_t* bytes, const Http2FrameHeader& h);
  int ParseInto(Http2Frame& frame, const uint8_t* bytes, const Http2FrameHeader& header);
  int DeliverHeaders(const HeaderList& headers, bool endHeaders);
  int EndStreamReceived();
  bool RefusesControlFrames() const noexcept;
  uint32_t PeerMaxFrameSize() const noexcept;
  bool StateIs(std::initializer_list<Http2StreamState> states) const noexcept;

  std::array<uint32_t, kHttp2SettingCount> settings_;
  Http2StreamState state_ = Http2StreamState::ssIdle;
  bool closedByPeer_ = false;
  bool responseComplete_ = false;
  bool goAwayReceived_ = false;
  bool inHeaderBlock_ = false;   // HEADERS without END_HEADERS seen, CONTINUATION due
  bool pushBlock_ = false;       // ... and that block belongs to a PUSH_PROMISE
  bool endStreamPending_ = false;  // END_STREAM on a HEADERS whose block is incomplete
  bool started_ = false;
  uint32_t streamId_ = kFirstStreamId;
  uint32_t generation_ = 0;      // changed by Close, so Receive notices a close from a callback
  int failure_ = 0;              // sticky result of a failed Receive
  int32_t streamSendWindow_ = 65535;
  int64_t connectionSendWindow_ = 65535;
  HeaderList requestHeaders_;
  HpackDecoder decoder_;
  ResponseFieldRules fieldRules_;
  Http2ResponseListener* listener_ = nullptr;
  ByteBuffer received_;  // bytes of an incomplete frame (of a DATA frame: its prefix)
  bool inData_ = false;  // a DATA frame's payload is arriving
  uint32_t dataLeft_ = 0;  // its data bytes still to come
  uint32_t padLeft_ = 0;   // then its padding bytes
  ByteBuffer output_;

  // One reusable object per frame type received.
  Http2DataFrame dataFrame_;
  Http2HeadersFrame headersFrame_;
  Http2ContinuationFrame continuationFrame_;
  Http2RstStreamFrame rstStreamFrame_;
  Http2SettingsFrame settingsFrame_;
  Http2GoAwayFrame goAwayFrame_;
  Http2WindowUpdateFrame windowUpdateFrame_;
  Http2Frame rawFrame_;
};

}  // namespace corvane
