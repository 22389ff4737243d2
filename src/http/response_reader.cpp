#include "http/response_reader.h"

#include <cstdint>
#include <cstring>

#include "core/ascii.h"
#include "core/number_text.h"

namespace corvane::http {

namespace {

bool IsLineState(ResponseReader::State s) {
  switch (s) {
    case ResponseReader::State::awaitingStatus:
    case ResponseReader::State::skippingInterim:
    case ResponseReader::State::headers:
    case ResponseReader::State::chunkSize:
    case ResponseReader::State::chunkTrailer:
      return true;
    case ResponseReader::State::body:
    case ResponseReader::State::chunkData:
    case ResponseReader::State::pendingCR:
    case ResponseReader::State::complete:
      return false;
  }
  return false;
}

bool CountsAsHead(ResponseReader::State s) {
  return s == ResponseReader::State::awaitingStatus ||
         s == ResponseReader::State::skippingInterim || s == ResponseReader::State::headers ||
         s == ResponseReader::State::chunkTrailer;
}

}  // namespace

void SplitHeaderLine(std::string_view line, std::string_view& field, std::string_view& value) {
  if (!line.empty() && static_cast<unsigned char>(line.front()) < 33) {
    field = {};
    value = line.substr(1);
    return;
  }
  bool quoted = false;
  size_t colon = std::string_view::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon == std::string_view::npos) {
    field = line;
    value = {};
    return;
  }
  field = line.substr(0, colon);
  size_t v = colon + 1;
  while (v < line.size() && IsBlank(line[v])) ++v;
  value = line.substr(v);
}

std::string_view ResponseReader::StateName(State s) noexcept {
  switch (s) {
    case State::awaitingStatus: return "awaitingStatus";
    case State::skippingInterim: return "skippingInterim";
    case State::headers: return "headers";
    case State::body: return "body";
    case State::chunkSize: return "chunkSize";
    case State::chunkData: return "chunkData";
    case State::chunkTrailer: return "chunkTrailer";
    case State::pendingCR: return "pendingCR";
    case State::complete: return "complete";
  }
  return "";
}

void ResponseReader::Reset(bool isHead) {
  state_ = State::awaitingStatus;
  isHead_ = isHead;
  statusSeen_ = false;
  chunked_ = false;
  hasFailure_ = false;
  pendingCRSeen_ = false;
  statusCode_ = 0;
  chunkRemaining_ = 0;
  contentLength_ = -1;
  bodyRemaining_ = 0;
  headBytes_ = 0;
  line_.clear();
  statusLine_.clear();
  version_.clear();
  description_.clear();
}

int ResponseReader::Fail(HttpError e) {
  hasFailure_ = true;
  failure_ = e;
  state_ = State::complete;
  return HttpErrorCode(e);
}

int ResponseReader::Feed(const char* data, size_t length, ResponseHandler& handler,
                         size_t* consumed) {
  size_t pos = 0;
  int rc = 0;
  while (pos < length && state_ != State::complete && rc == 0) {
    const char* p = data + pos;
    size_t avail = length - pos;
    if (state_ == State::awaitingStatus && line_.empty() && *p != 'H') {
      // No status line: the response has no head and everything is body,
      // delimited by the close of the connection.
      state_ = State::body;
      contentLength_ = -1;
      bodyRemaining_ = -1;
      continue;
    }
    if (IsLineState(state_)) {
      size_t room = maxLine_ - line_.size();
      size_t scan = avail < room + 1 ? avail : room + 1;
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', scan));
      size_t take;
      std::string_view line;
      bool whole = nl != nullptr;
      if (whole) {
        take = static_cast<size_t>(nl - p) + 1;
      } else if (scan == room + 1) {
        if (strict_) return Fail(HttpError::LineTooLong);
        take = room;  // the line fills the buffer: handled as a line of its own
      } else {
        take = avail;
      }
      if (CountsAsHead(state_)) {
        headBytes_ += take;
        if (headBytes_ > maxHead_) return Fail(HttpError::HeadTooLarge);
      }
      pos += take;
      if (!whole && take == avail && scan != room + 1) {
        line_.append(p, take);
        break;
      }
      size_t lineLength = whole ? take - 1 : take;
      if (line_.empty()) {
        line = std::string_view(p, lineLength);
      } else {
        line_.append(p, lineLength);
        line = line_;
      }
      if (whole && !line.empty() && line.back() == '\r') line.remove_suffix(1);
      rc = OnLine(line, handler);
      line_.clear();
      continue;
    }
    switch (state_) {
      case State::body: {
        size_t n = avail;
        if (bodyRemaining_ >= 0 && static_cast<uint64_t>(bodyRemaining_) < n) {
          n = static_cast<size_t>(bodyRemaining_);
        }
        pos += n;
        if (bodyRemaining_ >= 0) bodyRemaining_ -= static_cast<int64_t>(n);
        rc = handler.OnBodyData(p, n);
        if (rc == 0 && bodyRemaining_ == 0 && state_ == State::body) rc = Complete(handler);
        break;
      }
      case State::chunkData: {
        size_t n = avail < static_cast<size_t>(chunkRemaining_) ? avail
                                                                : static_cast<size_t>(chunkRemaining_);
        pos += n;
        chunkRemaining_ -= static_cast<int32_t>(n);
        if (chunkRemaining_ == 0) state_ = State::pendingCR;
        rc = handler.OnBodyData(p, n);
        break;
      }
      case State::pendingCR:
        // The CR LF that ends chunk data (RFC 7230 4.1); a bare LF is tolerated.
        if (*p == '\r' && !pendingCRSeen_) {
          pendingCRSeen_ = true;
          ++pos;
        } else if (*p == '\n') {
          pendingCRSeen_ = false;
          ++pos;
          state_ = State::chunkSize;
        } else {
          return Fail(HttpError::BadChunkEnd);
        }
        break;
      case State::awaitingStatus:
      case State::skippingInterim:
      case State::headers:
      case State::chunkSize:
      case State::chunkTrailer:
      case State::complete:
        break;
    }
  }
  if (consumed != nullptr) *consumed = pos;
  return rc;
}

int ResponseReader::OnLine(std::string_view line, ResponseHandler& handler) {
  switch (state_) {
    case State::awaitingStatus:
      return OnStatus(line, handler);
    case State::skippingInterim:
      if (line.empty()) {
        state_ = State::awaitingStatus;
        statusSeen_ = false;
        return 0;
      }
      if (line.substr(0, 5) == "HTTP/") return OnStatus(line, handler);
      return 0;
    case State::headers: {
      if (line.empty()) return EndOfHead(handler);
      std::string_view field;
      std::string_view value;
      SplitHeaderLine(line, field, value);
      if (EqualsNoCase(field, "Content-Length")) {
        int64_t previous = contentLength_;
        if (!ParseDecimal(value, contentLength_)) return Fail(HttpError::BadContentLength);
        if (strict_ && previous >= 0 && previous != contentLength_) {
          return Fail(HttpError::ConflictingContentLength);
        }
      } else if (EqualsNoCase(field, "Transfer-Encoding")) {
        if (EqualsNoCase(value, "chunked")) chunked_ = true;
      }
      return handler.OnHeaderLine(line, field, value);
    }
    case State::chunkSize:
      if (!ParseChunkSize(line, chunkRemaining_)) return Fail(HttpError::BadChunkSize);
      state_ = chunkRemaining_ > 0 ? State::chunkData : State::chunkTrailer;
      return 0;
    case State::chunkTrailer:
      // Trailer fields are read to keep the connection in step, not processed.
      if (line.empty()) return Complete(handler);
      return 0;
    case State::body:
    case State::chunkData:
    case State::pendingCR:
    case State::complete:
      return 0;
  }
  return 0;
}

int ResponseReader::OnStatus(std::string_view line, ResponseHandler& handler) {
  statusSeen_ = true;
  statusLine_.assign(line);
  size_t blank = line.find(' ');
  version_.assign(line.substr(0, blank));
  std::string_view rest = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
  size_t blank2 = rest.find(' ');
  std::string_view code = rest.substr(0, blank2);
  description_.assign(blank2 == std::string_view::npos ? std::string_view{} : rest.substr(blank2 + 1));
  statusCode_ = 0;
  for (size_t i = 0; i < code.size() && i < 9 && code[i] >= '0' && code[i] <= '9'; ++i) {
    statusCode_ = statusCode_ * 10 + (code[i] - '0');
  }
  bool interim = statusCode_ >= 100 && statusCode_ <= 199 && statusCode_ != 101;
  state_ = interim ? State::skippingInterim : State::headers;
  contentLength_ = -1;
  chunked_ = false;
  return handler.OnStatusLine(interim);
}

void ResponseReader::SetStatus(std::string_view version, int code, std::string_view description) {
  statusSeen_ = true;
  version_.assign(version);
  statusCode_ = code;
  description_.assign(description);
  statusLine_ = version_ + " " + std::to_string(code) + (description.empty() ? "" : " ") + description_;
  state_ = State::headers;
}

int ResponseReader::EndOfHead(ResponseHandler& handler) {
  bool hasBody = !(isHead_ || statusCode_ == 204 || statusCode_ == 304 || statusCode_ == 101);
  if (int rc = handler.OnHeadComplete(hasBody); rc != 0) return rc;
  if (state_ == State::complete) return 0;
  if (!hasBody) return Complete(handler);
  if (chunked_) {
    state_ = State::chunkSize;
    return 0;
  }
  state_ = State::body;
  bodyRemaining_ = contentLength_;
  if (contentLength_ == 0) return Complete(handler);
  return 0;
}

int ResponseReader::Complete(ResponseHandler& handler) {
  state_ = State::complete;
  return handler.OnResponseComplete();
}

int ResponseReader::BodyTaken(size_t n, ResponseHandler& handler) {
  if (state_ != State::body) return 0;
  if (bodyRemaining_ >= 0) {
    bodyRemaining_ -= static_cast<int64_t>(n) < bodyRemaining_ ? static_cast<int64_t>(n) : bodyRemaining_;
    if (bodyRemaining_ == 0) return Complete(handler);
  }
  return 0;
}

int ResponseReader::OnConnectionClosed(ResponseHandler& handler) {
  switch (state_) {
    case State::complete:
      return 0;
    case State::awaitingStatus:
      if (!statusSeen_ && line_.empty()) return 0;
      return Fail(HttpError::ConnectionClosed);
    case State::skippingInterim:
    case State::headers:
      return Fail(HttpError::ConnectionClosed);
    case State::body:
      if (bodyRemaining_ < 0) return Complete(handler);
      return Fail(HttpError::ClosedMidBody);
    case State::chunkSize:
    case State::chunkData:
    case State::chunkTrailer:
    case State::pendingCR:
      return Fail(HttpError::ClosedMidBody);
  }
  return 0;
}

}  // namespace corvane::http
