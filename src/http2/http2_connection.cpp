#include "http2/http2_connection.h"

#include <algorithm>
#include <iterator>

#include "core/ascii.h"
#include "core/byte_reader.h"
#include "core/config_item.h"
#include "http2/hpack_encoder.h"

namespace corvane {

using St = Http2StreamState;

namespace {

constexpr uint32_t kInitialSettings[kHttp2SettingCount] = {
    4096,   // SETTINGS_HEADER_TABLE_SIZE
    0,      // SETTINGS_ENABLE_PUSH
    100,    // SETTINGS_MAX_CONCURRENT_STREAMS
    65535,  // SETTINGS_INITIAL_WINDOW_SIZE
    16384,  // SETTINGS_MAX_FRAME_SIZE
    32768,  // SETTINGS_MAX_HEADER_LIST_SIZE
};

constexpr int64_t kMaxWindow = 0x7FFFFFFF;  // RFC 7540 section 6.9.1

// Hop-by-hop fields that HTTP/2 forbids (RFC 7540 section 8.1.2.2).
constexpr std::string_view kConnectionSpecific[] = {"connection", "keep-alive", "proxy-connection",
                                                    "te", "transfer-encoding", "upgrade"};

std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view Http2StreamStateName(Http2StreamState state) noexcept {
  switch (state) {
    case St::ssIdle: return "IDLE";
    case St::ssOpened: return "OPENED";
    case St::ssReservedLocal: return "RESERVED_LOCAL";
    case St::ssReservedRemote: return "RESERVED_REMOTE";
    case St::ssHalfClosedRemote: return "HALFCLOSED_REMOTE";
    case St::ssHalfClosedLocal: return "HALFCLOSED_LOCAL";
    case St::ssClosed: return "CLOSED";
  }
  return "UNKNOWN";
}

Http2Connection::Http2Connection()
    : headersFrame_(&decoder_), continuationFrame_(&decoder_) {
  std::copy(std::begin(kInitialSettings), std::end(kInitialSettings), settings_.begin());
}

int Http2Connection::Fail(Http2Message message, std::initializer_list<MessageArg> args) {
  return SetError(Http2MessageCode(message), Http2MessageText(message, args));
}

bool Http2Connection::StateIs(std::initializer_list<Http2StreamState> states) const noexcept {
  for (St s : states) {
    if (s == state_) return true;
  }
  return false;
}

int64_t Http2Connection::SendWindow() const noexcept {
  int64_t w = std::min<int64_t>(streamSendWindow_, connectionSendWindow_);
  return w < 0 ? 0 : w;
}

uint32_t Http2Connection::PeerMaxFrameSize() const noexcept {
  uint32_t v = settings_[SETTINGS_MAX_FRAME_SIZE - 1];
  if (v < 16384) return 16384;
  return v > kHttp2MaxPayloadLength ? kHttp2MaxPayloadLength : v;
}

int Http2Connection::Emit(Http2Frame& frame) {
  if (int rc = frame.Serialize(output_); rc != 0) {
    return SetError(rc, frame.LastErrorText().empty() ? "Out of memory." : frame.LastErrorText().view());
  }
  return 0;
}

int Http2Connection::EmitWindowUpdate(uint32_t streamId, uint32_t increment) {
  Http2WindowUpdateFrame f;
  f.SetStreamId(streamId);
  f.SetIncrement(increment);
  return Emit(f);
}

// ---------------------------------------------------------------------------
// Sending

int Http2Connection::Start() {
  // Each start is a new connection with the protocol's initial settings and
  // an empty decoding table.
  std::copy(std::begin(kInitialSettings), std::end(kInitialSettings), settings_.begin());
  streamSendWindow_ = static_cast<int32_t>(settings_[SETTINGS_INITIAL_WINDOW_SIZE - 1]);
  connectionSendWindow_ = 65535;
  responseComplete_ = false;
  goAwayReceived_ = false;
  closedByPeer_ = false;
  inHeaderBlock_ = pushBlock_ = endStreamPending_ = false;
  fieldRules_.Reset();
  failure_ = 0;
  received_.Clear();
  inData_ = false;
  decoder_.Reset();
  streamId_ = kFirstStreamId;
  started_ = true;
  ClearError();

  if (int rc = output_.Append(kPreface); rc != 0) return SetError(rc, "Out of memory.");
  if (StateIs({St::ssReservedLocal, St::ssReservedRemote, St::ssHalfClosedLocal,
               St::ssClosed})) {
    return FailState(Http2Message::kSendSettingsState);
  }
  Http2SettingsFrame settings;
  settings.SetValue(SETTINGS_MAX_CONCURRENT_STREAMS, settings_[SETTINGS_MAX_CONCURRENT_STREAMS - 1]);
  settings.SetValue(SETTINGS_INITIAL_WINDOW_SIZE, settings_[SETTINGS_INITIAL_WINDOW_SIZE - 1]);
  if (int rc = Emit(settings); rc != 0) return rc;
  if (StateIs({St::ssReservedLocal, St::ssClosed})) {
    return FailState(Http2Message::kSendWindowUpdateState);
  }
  return EmitWindowUpdate(0, kConnectionWindowIncrement);
}

void Http2Connection::BuildRequestHeaders(std::string_view verb, std::string_view scheme,
                                          std::string_view host, int port,
                                          std::string_view pathAndQuery,
                                          std::string_view headerBlock, HeaderList& headers,
                                          std::string& requestHeadersText) {
  headers.clear();
  headers.push_back({":method", std::string(verb)});
  headers.push_back({":scheme", std::string(scheme)});
  headers.push_back({":path", std::string(pathAndQuery)});
  std::string authority(host);
  if (port != 80) {
    authority += ':';
    authority += std::to_string(port);
  }
  headers.push_back({":authority", std::move(authority)});

  while (!headerBlock.empty()) {
    size_t eol = headerBlock.find('\n');
    std::string_view line = headerBlock.substr(0, eol);
    headerBlock.remove_prefix(eol == std::string_view::npos ? headerBlock.size() : eol + 1);
    line = Trim(line);
    // The first colon outside double quotes ends the name.
    size_t colon = std::string_view::npos;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '"') quoted = !quoted;
      if (line[i] == ':' && !quoted) {
        colon = i;
        break;
      }
    }
    if (colon == std::string_view::npos || colon == 0) continue;  // empty or a request line
    std::string_view name = Trim(line.substr(0, colon));
    if (name.empty() || name.find(' ') != std::string_view::npos) continue;
    if (EqualsNoCase(name, "host")) continue;
    bool dropped = false;
    for (std::string_view c : kConnectionSpecific) dropped = dropped || EqualsNoCase(name, c);
    if (dropped) continue;
    headers.push_back({ToLowerAscii(name), std::string(Trim(line.substr(colon + 1)))});
  }

  requestHeadersText.clear();
  for (const HeaderField& h : headers) {
    requestHeadersText += h.name;
    requestHeadersText += ": ";
    requestHeadersText += h.value;
    requestHeadersText += "\r\n";
  }
}

int Http2Connection::SendHeaders(bool endStream) {
  if (StateIs({St::ssReservedRemote, St::ssHalfClosedLocal, St::ssClosed})) {
    return FailState(Http2Message::kSendHeadersState);
  }
  if (listener_ != nullptr && listener_->LogsAt(kLogVerbose)) {
    listener_->Log(kLogVerbose, "Sending Headers:", "Info");
    for (const HeaderField& h : requestHeaders_) {
      listener_->Log(kLogVerbose, h.name + ": " + h.value, "RequestHeaders");
    }
  }
  ByteBuffer block;
  if (int rc = HpackEncode(requestHeaders_, true, block); rc != 0) {
    return SetError(rc, "Out of memory.");
  }
  // A block larger than the server accepts in one frame continues in
  // CONTINUATION frames (RFC 7540 section 6.10).
  const size_t maxFrame = PeerMaxFrameSize();
  std::string_view rest = block.view();
  bool first = true;
  do {
    std::string_view piece = rest.substr(0, maxFrame);
    rest.remove_prefix(piece.size());
    Http2Frame f(static_cast<uint8_t>(first ? Http2FrameType::ftHeaders
                                            : Http2FrameType::ftContinuation));
    uint8_t flags = rest.empty() ? kFlagEndHeaders : 0;
    if (first && endStream) flags |= kFlagEndStream;
    f.SetFlags(flags);
    f.SetStreamId(streamId_);
    if (f.SetPayload(piece) != 0) return SetError(kErrOutOfMemory, "Out of memory.");
    if (int rc = Emit(f); rc != 0) return rc;
    first = false;
  } while (!rest.empty());

  if (state_ == St::ssIdle) state_ = St::ssOpened;
  else if (state_ == St::ssReservedLocal) state_ = St::ssHalfClosedRemote;
  if (endStream) {
    if (state_ == St::ssOpened) state_ = St::ssHalfClosedLocal;
    else if (state_ == St::ssHalfClosedRemote) state_ = St::ssClosed;
  }
  return 0;
}

int Http2Connection::SendData(const void* data, size_t length, bool last) {
  if (StateIs({St::ssReservedLocal, St::ssReservedRemote, St::ssHalfClosedLocal,
               St::ssClosed})) {
    return FailState(Http2Message::kSendDataState);
  }
  if (static_cast<int64_t>(length) > SendWindow()) {
    return Fail(Http2Message::kSendWindowExceeded,
                {static_cast<unsigned long long>(length), static_cast<long long>(SendWindow())});
  }
  const size_t maxFrame = PeerMaxFrameSize();
  std::string_view rest(static_cast<const char*>(data), length);
  do {
    std::string_view piece = rest.substr(0, maxFrame);
    rest.remove_prefix(piece.size());
    Http2DataFrame f;
    f.SetStreamId(streamId_);
    f.SetFlags(last && rest.empty() ? kFlagEndStream : 0);
    f.SetData(piece);
    if (int rc = Emit(f); rc != 0) return rc;
  } while (!rest.empty());
  streamSendWindow_ -= static_cast<int32_t>(length);
  connectionSendWindow_ -= static_cast<int64_t>(length);
  if (last) {
    if (state_ == St::ssOpened) state_ = St::ssHalfClosedLocal;
    else if (state_ == St::ssHalfClosedRemote) state_ = St::ssClosed;
  }
  return 0;
}

int Http2Connection::SendRstStream(uint32_t errorCode) {
  if (state_ == St::ssClosed) return FailState(Http2Message::kSendRstStreamState);
  state_ = St::ssClosed;
  Http2RstStreamFrame f;
  f.SetStreamId(streamId_);
  f.SetErrorCode(errorCode);
  return Emit(f);
}

int Http2Connection::Close() {
  int rc = 0;
  // RST_STREAM is never sent for an idle stream (RFC 7540 section 6.4).
  if (state_ != St::ssClosed && state_ != St::ssIdle) rc = SendRstStream(0);
  state_ = St::ssIdle;
  received_.Clear();
  inData_ = false;
  decoder_.Reset();
  closedByPeer_ = false;
  inHeaderBlock_ = pushBlock_ = endStreamPending_ = false;
  fieldRules_.Reset();
  failure_ = 0;
  started_ = false;
  streamId_ = kFirstStreamId;
  ++generation_;
  return rc;
}

bool Http2Connection::NextStream() {
  // A stream reset by either side may still have frames in flight, which
  // the next stream would take for protocol errors.
  if (!started_ || state_ != St::ssClosed || !responseComplete_ || closedByPeer_ || goAwayReceived_ ||
      failure_ != 0 || inHeaderBlock_ || inData_ || streamId_ > kMaxWindow - 2) {
    return false;
  }
  streamId_ += 2;
  state_ = St::ssIdle;
  streamSendWindow_ = static_cast<int32_t>(settings_[SETTINGS_INITIAL_WINDOW_SIZE - 1]);
  responseComplete_ = false;
  pushBlock_ = endStreamPending_ = false;
  fieldRules_.Reset();
  ClearError();
  return true;
}

bool Http2Connection::AlpnSelectsH2(std::string_view selection) noexcept {
  while (!selection.empty()) {
    size_t end = selection.find_first_of(", ;");
    std::string_view name = selection.substr(0, end);
    if (EqualsNoCase(name, "h2")) return true;
    if (end == std::string_view::npos) break;
    selection.remove_prefix(end + 1);
  }
  return false;
}

int Http2Connection::SelectProtocol(std::string_view alpnSelection, bool allowFallback,
                                    std::string_view scheme, bool& useHttp2) {
  useHttp2 = AlpnSelectsH2(alpnSelection);
  if (useHttp2) return 0;
  if (!allowFallback) return Fail(Http2Message::kNoHttp2Fallback);
  if (!EqualsNoCase(scheme, "https")) return Fail(Http2Message::kPlaintextHttp2);
  return 0;
}

// ---------------------------------------------------------------------------
// Receiving

int Http2Connection::Receive(const void* data, size_t length) {
  if (failure_ != 0) return failure_;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint8_t* const end = p + length;
  const uint32_t generation = generation_;
  for (;;) {
    bool wait = false;
    int rc = 0;
    if (inData_) {
      rc = TakeData(p, end, wait);
    } else if (!received_.empty()) {
      rc = TakeHeld(p, end, wait);
    } else if (p < end) {
      rc = TakeFrame(p, end, wait);
    } else {
      break;
    }
    if (generation != generation_) return rc;  // closed from a listener callback
    if (rc != 0) {
      received_.Clear();
      inData_ = false;
      return failure_ = rc;
    }
    if (wait) break;
  }
  return 0;
}

int Http2Connection::Hold(const uint8_t*& p, size_t count) {
  if (count == 0) return 0;
  if (count > static_cast<size_t>(INT32_MAX - received_.size()) ||
      received_.Append(p, static_cast<int>(count)) != 0) {
    return SetError(kErrOutOfMemory, "Out of memory.");
  }
  p += count;
  return 0;
}

int Http2Connection::CheckFrameLength(const Http2FrameHeader& h) {
  // Checked before the payload arrives, so a hostile length cannot make the
  // receive buffer grow.
  if (h.length > kMaxReceiveFrameSize) {
    return Fail(Http2Message::kRecvFrameTooLarge, {h.length, kMaxReceiveFrameSize});
  }
  return 0;
}

// The frame's first bytes wait in received_: only what completes it (or, for
// DATA, its prefix) is copied in; the rest of the input stays where it is.
int Http2Connection::TakeHeld(const uint8_t*& p, const uint8_t* end, bool& wait) {
  size_t have = static_cast<size_t>(received_.size());
  if (have < kHttp2FrameHeaderSize) {
    if (int rc = Hold(p, std::min<size_t>(kHttp2FrameHeaderSize - have, end - p)); rc != 0) return rc;
    have = static_cast<size_t>(received_.size());
    if (have < kHttp2FrameHeaderSize) {
      wait = true;
      return 0;
    }
  }
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(received_.data());
  Http2FrameHeader h;
  PeekHttp2FrameHeader(bytes, have, h);
  if (int rc = CheckFrameLength(h); rc != 0) return rc;
  const bool isData = h.type == static_cast<uint8_t>(Http2FrameType::ftData);
  const size_t whole = isData ? Http2DataFrame::PrefixLength(h) : kHttp2FrameHeaderSize + h.length;
  if (have < whole) {
    if (int rc = Hold(p, std::min<size_t>(whole - have, end - p)); rc != 0) return rc;
    if (static_cast<size_t>(received_.size()) < whole) {
      wait = true;
      return 0;
    }
    bytes = reinterpret_cast<const uint8_t*>(received_.data());
  }
  int rc = HandleFrame(bytes, h);
  received_.Clear();
  return rc;
}

int Http2Connection::TakeFrame(const uint8_t*& p, const uint8_t* end, bool& wait) {
  const size_t avail = static_cast<size_t>(end - p);
  Http2FrameHeader h;
  if (avail >= kHttp2FrameHeaderSize) {
    PeekHttp2FrameHeader(p, avail, h);
    if (int rc = CheckFrameLength(h); rc != 0) return rc;
    const bool isData = h.type == static_cast<uint8_t>(Http2FrameType::ftData);
    const size_t whole = isData ? Http2DataFrame::PrefixLength(h) : kHttp2FrameHeaderSize + h.length;
    if (avail >= whole) {
      const uint8_t* bytes = p;
      p += whole;
      return HandleFrame(bytes, h);
    }
  }
  wait = true;
  return Hold(p, avail);
}

int Http2Connection::StartData(const uint8_t* prefix, const Http2FrameHeader& h) {
  if (h.streamId == 0) return Fail(Http2Message::kRecvDataStreamZero);
  if (h.streamId != streamId_) return Fail(Http2Message::kRecvUnknownStream, {"DATA", h.streamId});
  if (!StateIs({St::ssOpened, St::ssHalfClosedLocal})) {
    return Fail(Http2Message::kRecvDataState);
  }
  if (int rc = dataFrame_.ParsePrefix(prefix, Http2DataFrame::PrefixLength(h)); rc != 0) {
    return SetError(rc, dataFrame_.LastErrorText().view());
  }
  inData_ = true;
  dataLeft_ = dataFrame_.DataLength();
  padLeft_ = h.length - static_cast<uint32_t>(Http2DataFrame::PrefixLength(h) - kHttp2FrameHeaderSize) - dataLeft_;
  return 0;
}

// DATA goes to the listener as it arrives, straight from the received
// bytes: a frame that straddles two reads is never put back together.
int Http2Connection::TakeData(const uint8_t*& p, const uint8_t* end, bool& wait) {
  const size_t take = std::min<size_t>(dataLeft_, static_cast<size_t>(end - p));
  const uint8_t* piece = p;
  p += take;
  dataLeft_ -= static_cast<uint32_t>(take);
  if (take > 0 && listener_ != nullptr) {
    if (int rc = listener_->DeliverBody(reinterpret_cast<const char*>(piece), take); rc != 0) return rc;
  }
  const size_t skip = std::min<size_t>(padLeft_, static_cast<size_t>(end - p));
  p += skip;
  padLeft_ -= static_cast<uint32_t>(skip);
  if (dataLeft_ != 0 || padLeft_ != 0) {
    wait = true;
    return 0;
  }
  inData_ = false;
  // The whole payload, padding included, counts against flow control and is
  // given back at once on the connection and the stream (RFC 7540 section 6.9.1).
  const uint32_t length = dataFrame_.PayloadLength();
  if (length != 0) {
    if (int rc = EmitWindowUpdate(0, length); rc != 0) return rc;
    if (int rc = EmitWindowUpdate(dataFrame_.StreamId(), length); rc != 0) return rc;
  }
  if (dataFrame_.HasFlag(kFlagEndStream)) return EndStreamReceived();
  return 0;
}

int Http2Connection::ParseInto(Http2Frame& frame, const uint8_t* bytes,
                               const Http2FrameHeader& header) {
  int rc = frame.Parse(bytes, kHttp2FrameHeaderSize + header.length);
  if (rc != 0) return SetError(rc, frame.LastErrorText().view());
  return 0;
}

int Http2Connection::HandleFrame(const uint8_t* bytes, const Http2FrameHeader& h) {
  // A header block is one unit: nothing may come between its frames
  // (RFC 7540 section 6.2).
  if (inHeaderBlock_ && h.type != static_cast<uint8_t>(Http2FrameType::ftContinuation)) {
    return Fail(Http2Message::kRecvInsideHeaderBlock, {Http2FrameTypeName(h.type)});
  }
  switch (h.type) {
    case static_cast<uint8_t>(Http2FrameType::ftData): return StartData(bytes, h);  // data: TakeData
    case static_cast<uint8_t>(Http2FrameType::ftHeaders): return OnHeaders(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftPriority): return 0;  // advisory; ignored
    case static_cast<uint8_t>(Http2FrameType::ftRstStream): return OnRstStream(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftSettings): return OnSettings(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftPushPromise): return OnPushPromise(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftPing): return OnPing(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftGoAway): return OnGoAway(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftWindowUpdate): return OnWindowUpdate(bytes, h);
    case static_cast<uint8_t>(Http2FrameType::ftContinuation): return OnContinuation(bytes, h);
    default: return 0;  // unknown types are skipped (RFC 7540 section 4.1)
  }
}

// SETTINGS, PING and GOAWAY are refused in the same states.
bool Http2Connection::RefusesControlFrames() const noexcept {
  return StateIs({St::ssIdle, St::ssReservedLocal, St::ssReservedRemote,
                  St::ssHalfClosedRemote}) ||
         (state_ == St::ssClosed && closedByPeer_);
}

int Http2Connection::EndStreamReceived() {
  switch (state_) {
    case St::ssOpened: state_ = St::ssHalfClosedRemote; break;
    // Both sides have ended the stream (RFC 7540 section 5.1).
    case St::ssHalfClosedLocal: state_ = St::ssClosed; break;
    case St::ssClosed: closedByPeer_ = true; break;
    case St::ssIdle:
    case St::ssReservedLocal:
    case St::ssReservedRemote:
    case St::ssHalfClosedRemote: break;
  }
  responseComplete_ = true;
  return listener_ != nullptr ? listener_->CompleteResponse() : 0;
}

int Http2Connection::DeliverHeaders(const HeaderList& headers, bool endHeaders) {
  // A field carrying CR, LF or NUL makes the response malformed (RFC 9113
  // 8.2.1): passed on, it would be written into a later HTTP/1.1 request as
  // a stored cookie or a redirect target, splitting that request.
  for (const HeaderField& f : headers) {
    constexpr std::string_view kForbidden("\r\n\0", 3);
    if (f.name.find_first_of(kForbidden) != std::string::npos ||
        f.value.find_first_of(kForbidden) != std::string::npos) {
      std::string shown = f.name.substr(0, 64);
      for (char& c : shown) {
        if (c == '\r' || c == '\n' || c == '\0') c = '?';
      }
      return Fail(Http2Message::kMalformedField, {shown});
    }
  }
  // A promised request's block is decoded only to keep the table in step.
  if (!pushBlock_) {
    for (const HeaderField& f : headers) {
      if (auto v = fieldRules_.Check(f)) return Fail(v->message, {v->shown});
    }
    if (endHeaders) {
      if (auto v = fieldRules_.EndBlock()) return Fail(v->message, {v->shown});
    }
  }
  if (!pushBlock_ && listener_ != nullptr) {
    for (const HeaderField& f : headers) {
      if (int rc = listener_->ProcessHeader(f.name, f.value); rc != 0) return rc;
    }
  }
  if (!endHeaders) {
    inHeaderBlock_ = true;
    return 0;
  }
  inHeaderBlock_ = false;
  if (pushBlock_) {
    pushBlock_ = false;
    return 0;
  }
  if (listener_ != nullptr) {
    if (int rc = listener_->EndOfHeaders(); rc != 0) return rc;
  }
  if (endStreamPending_) {
    endStreamPending_ = false;
    return EndStreamReceived();
  }
  return 0;
}

int Http2Connection::OnHeaders(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (h.streamId == 0) return Fail(Http2Message::kRecvHeadersStreamZero);
  if (h.streamId != streamId_) {
    return Fail(Http2Message::kRecvUnknownStream, {"HEADERS", h.streamId});
  }
  if (StateIs({St::ssReservedLocal, St::ssHalfClosedRemote}) ||
      (state_ == St::ssClosed && closedByPeer_)) {
    return FailState(Http2Message::kRecvHeadersState);
  }
  if (int rc = ParseInto(headersFrame_, bytes, h); rc != 0) return rc;
  if (state_ == St::ssIdle) state_ = St::ssOpened;
  else if (state_ == St::ssReservedRemote) state_ = St::ssHalfClosedLocal;
  // END_STREAM takes effect once the header block is complete.
  endStreamPending_ = headersFrame_.HasFlag(kFlagEndStream);
  pushBlock_ = false;
  return DeliverHeaders(headersFrame_.Headers(), headersFrame_.HasFlag(kFlagEndHeaders));
}

int Http2Connection::OnContinuation(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (h.streamId == 0) return Fail(Http2Message::kRecvContinuationStreamZero);
  if (StateIs({St::ssIdle, St::ssReservedLocal, St::ssReservedRemote,
               St::ssHalfClosedRemote}) ||
      (state_ == St::ssClosed && closedByPeer_)) {
    return FailState(Http2Message::kRecvContinuationState);
  }
  if (!inHeaderBlock_) return Fail(Http2Message::kRecvOrphanContinuation);
  if (h.streamId != streamId_) {
    return Fail(Http2Message::kRecvUnknownStream, {"CONTINUATION", h.streamId});
  }
  if (int rc = ParseInto(continuationFrame_, bytes, h); rc != 0) return rc;
  return DeliverHeaders(continuationFrame_.Headers(),
                        continuationFrame_.HasFlag(kFlagEndHeaders));
}

int Http2Connection::OnRstStream(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (h.streamId == 0) return Fail(Http2Message::kRecvRstStreamStreamZero);
  if (h.streamId != streamId_) return 0;  // not ours
  if (state_ == St::ssIdle || (state_ == St::ssClosed && closedByPeer_)) {
    return FailState(Http2Message::kRecvRstStreamState);
  }
  if (int rc = ParseInto(rstStreamFrame_, bytes, h); rc != 0) return rc;
  if (state_ == St::ssClosed) closedByPeer_ = true;
  state_ = St::ssClosed;
  const uint32_t code = rstStreamFrame_.ErrorCode();
  // NO_ERROR is a server's way to stop a body it no longer needs after a
  // complete response (RFC 7540 section 8.1).
  if (code == 0) return 0;
  return Fail(Http2Message::kStreamReset,
              {Http2ErrorCodeDescription(code), Http2ErrorCodeName(code)});
}

int Http2Connection::OnSettings(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (RefusesControlFrames()) return FailState(Http2Message::kRecvSettingsState);
  if (h.flags & kFlagAck) {
    if (h.length != 0) return Fail(Http2Message::kRecvSettingsAckLength, {h.length});
    return 0;
  }
  if (int rc = ParseInto(settingsFrame_, bytes, h); rc != 0) return rc;
  for (uint16_t id = 1; id <= kHttp2SettingCount; ++id) {
    if (!settingsFrame_.Has(id)) continue;
    uint32_t value = settingsFrame_.Value(id);
    if (id == SETTINGS_INITIAL_WINDOW_SIZE) {
      // A new initial window moves the open stream's window by the
      // difference (RFC 7540 section 6.9.2).
      int64_t w = int64_t{streamSendWindow_} + value - settings_[id - 1];
      if (value > kMaxWindow || w > kMaxWindow) return Fail(Http2Message::kWindowOverflow);
      streamSendWindow_ = static_cast<int32_t>(w);
    }
    settings_[id - 1] = value;
  }
  Http2SettingsFrame ack;
  ack.SetFlags(kFlagAck);
  return Emit(ack);
}

int Http2Connection::OnPushPromise(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (settings_[SETTINGS_ENABLE_PUSH - 1] == 0) return Fail(Http2Message::kRecvPushPromiseDisabled);
  if (h.streamId == 0) return Fail(Http2Message::kRecvPushPromiseStreamZero);
  if (!StateIs({St::ssIdle, St::ssOpened, St::ssHalfClosedLocal})) {
    return FailState(Http2Message::kRecvPushPromiseState);
  }
  if (int rc = ParseInto(rawFrame_, bytes, h); rc != 0) return rc;
  // The promised request's header block still drives the decoding table,
  // so it is decoded, but it is not part of the response.
  ByteReader r(rawFrame_.Payload());
  uint8_t pad = 0;
  uint32_t promised = 0;
  if ((h.flags & kFlagPadded) && !r.U8(pad)) return Fail(Http2Message::kHeadersPadding);
  if (!r.U32Be(promised)) {
    return Fail(Http2Message::kFrameTruncated, {"PUSH_PROMISE", r.Position()});
  }
  if (pad > r.Remaining()) return Fail(Http2Message::kHeadersPadding);
  HeaderList promisedHeaders;
  const bool endHeaders = (h.flags & kFlagEndHeaders) != 0;
  if (int rc = decoder_.Decode(r.Current(), r.Remaining() - pad, promisedHeaders, endHeaders);
      rc != 0) {
    return SetError(rc, decoder_.ErrorText());
  }
  if (state_ == St::ssIdle) state_ = St::ssReservedRemote;
  if (endHeaders) {
    if (listener_ != nullptr) return listener_->EndOfHeaders();
    return 0;
  }
  pushBlock_ = true;
  inHeaderBlock_ = true;
  return 0;
}

int Http2Connection::OnPing(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (h.streamId != 0) return Fail(Http2Message::kRecvPingStream);
  if (RefusesControlFrames()) return FailState(Http2Message::kRecvPingState);
  if (h.length != 8) return Fail(Http2Message::kRecvPingLength, {h.length, 8});
  if (h.flags & kFlagAck) return 0;
  if (int rc = ParseInto(rawFrame_, bytes, h); rc != 0) return rc;
  rawFrame_.SetFlags(kFlagAck);
  return Emit(rawFrame_);
}

int Http2Connection::OnGoAway(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (h.streamId != 0) return Fail(Http2Message::kRecvGoAwayStream);
  if (RefusesControlFrames()) return FailState(Http2Message::kRecvGoAwayState);
  if (int rc = ParseInto(goAwayFrame_, bytes, h); rc != 0) return rc;
  goAwayReceived_ = true;
  return 0;
}

int Http2Connection::OnWindowUpdate(const uint8_t* bytes, const Http2FrameHeader& h) {
  if (state_ == St::ssIdle || (state_ == St::ssClosed && closedByPeer_)) {
    return FailState(Http2Message::kRecvWindowUpdateState);
  }
  if (h.length != 4) return Fail(Http2Message::kRecvWindowUpdateLength, {h.length, 4});
  if (int rc = ParseInto(windowUpdateFrame_, bytes, h); rc != 0) return rc;
  const uint32_t increment = windowUpdateFrame_.Increment();
  if (increment == 0) return Fail(Http2Message::kRecvWindowUpdateZero);
  if (h.streamId == streamId_) {
    int64_t w = int64_t{streamSendWindow_} + increment;
    if (w > kMaxWindow) return Fail(Http2Message::kWindowOverflow);
    streamSendWindow_ = static_cast<int32_t>(w);
  } else if (h.streamId == 0) {
    // The connection window limits the body as well (RFC 7540 section 6.9.1).
    int64_t w = connectionSendWindow_ + increment;
    if (w > kMaxWindow) return Fail(Http2Message::kWindowOverflow);
    connectionSendWindow_ = w;
  }
  return 0;
}

}  // namespace corvane
