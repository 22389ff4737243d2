#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/http_errors.h"

namespace corvane::http {

// What the reader reports while it takes a response apart. Every callback
// returns 0 to go on or a failure code that ends the response.
class ResponseHandler {
 public:
  virtual ~ResponseHandler() = default;
  // A status line; interim (1xx but 101) responses are reported with interim set.
  virtual int OnStatusLine(bool interim) = 0;
  // One header line (final CR dropped) with its field and value split out;
  // a continuation line has an empty field.
  virtual int OnHeaderLine(std::string_view line, std::string_view field, std::string_view value) = 0;
  // The blank line ended the head; hasBody is false for HEAD, 101, 204, 304.
  virtual int OnHeadComplete(bool hasBody) = 0;
  // Body bytes as framed on the wire (de-chunked, not yet content-decoded).
  virtual int OnBodyData(const char* data, size_t length) = 0;
  // The response is complete.
  virtual int OnResponseComplete() = 0;
};

// Splits a header line at the first ":" outside double quotes; the value
// starts after it with blanks and tabs skipped. A line starting with a byte
// below 33 is a continuation: empty field, value = the line without its
// first byte. A line without ":" has an empty value.
void SplitHeaderLine(std::string_view line, std::string_view& field, std::string_view& value);

// The HTTP/1.x response reader: a push parser with no I/O. Feed it bytes as
// they arrive; it finds the status line, the header lines and the body in its
// framing (Content-Length, chunked, or until the connection closes) and calls
// the handler. State survives any split of the input.
class ResponseReader {
 public:
  enum class State {
    awaitingStatus,   // start of every response
    skippingInterim,  // inside a 1xx response other than 101
    headers,
    body,             // identity body, length known or until close
    chunkSize,
    chunkData,
    chunkTrailer,
    pendingCR,        // chunk data done, its CR LF is being read
    complete,
  };

  static constexpr size_t kDefaultMaxLineLength = 4000;
  static constexpr size_t kDefaultMaxHeadBytes = 1 << 20;

  // Starts a new response. isHead: the request was HEAD (no body follows).
  void Reset(bool isHead = false);

  // Consumes bytes; stops early when the response completes (consumed then
  // tells how far it got) or a failure occurs. Returns 0 or the failure code.
  int Feed(const char* data, size_t length, ResponseHandler& handler, size_t* consumed = nullptr);

  // The connection closed. A body delimited by the close completes; a
  // response cut short fails with a "Connection closed" code. Returns 0 when
  // nothing had started (the driver decides).
  int OnConnectionClosed(ResponseHandler& handler);

  // A status that arrived outside a status line (HTTP/2 ":status").
  void SetStatus(std::string_view version, int code, std::string_view description);

  // Ends the response now (the handler gave up on the rest).
  void Stop() noexcept { state_ = State::complete; }

  State state() const noexcept { return state_; }
  bool complete() const noexcept { return state_ == State::complete; }
  bool statusLineSeen() const noexcept { return statusSeen_; }
  std::string_view statusLine() const noexcept { return statusLine_; }
  std::string_view responseVersion() const noexcept { return version_; }
  int statusCode() const noexcept { return statusCode_; }
  std::string_view statusDescription() const noexcept { return description_; }
  int64_t contentLength() const noexcept { return contentLength_; }
  bool chunked() const noexcept { return chunked_; }
  int32_t chunkRemaining() const noexcept { return chunkRemaining_; }

  // Bytes still to come of an identity body; -1 when the close ends it.
  int64_t bodyRemaining() const noexcept { return bodyRemaining_; }
  // n body bytes were taken outside Feed (received straight into the
  // handler's store). Completes the response when the length is reached.
  int BodyTaken(size_t n, ResponseHandler& handler);

  void SetMaxLineLength(size_t n) noexcept { maxLine_ = n < 16 ? 16 : n; }
  void SetMaxHeadBytes(size_t n) noexcept { maxHead_ = n; }
  // Strict framing: a header, chunk-size or trailer line longer than the
  // line limit fails (LineTooLong) instead of being taken as several lines,
  // and a second Content-Length with another value fails
  // (ConflictingContentLength) instead of replacing the first; both are
  // ways to make two parsers disagree about where a response ends.
  void SetStrict(bool on) noexcept { strict_ = on; }

  // The reader's own failure behind the last non-zero result of Feed or
  // OnConnectionClosed (false when the code came from the handler).
  bool hasFailure() const noexcept { return hasFailure_; }
  HttpError failure() const noexcept { return failure_; }

  static std::string_view StateName(State s) noexcept;

 private:
  int OnLine(std::string_view line, ResponseHandler& handler);
  int OnStatus(std::string_view line, ResponseHandler& handler);
  int EndOfHead(ResponseHandler& handler);
  int Complete(ResponseHandler& handler);
  int Fail(HttpError e);

  State state_ = State::awaitingStatus;
  bool isHead_ = false;
  bool statusSeen_ = false;
  bool chunked_ = false;
  bool hasFailure_ = false;
  bool pendingCRSeen_ = false;
  bool strict_ = false;
  HttpError failure_ = HttpError::ConnectionClosed;
  int statusCode_ = 0;
  int32_t chunkRemaining_ = 0;
  int64_t contentLength_ = -1;
  int64_t bodyRemaining_ = 0;
  size_t headBytes_ = 0;
  size_t maxLine_ = kDefaultMaxLineLength;
  size_t maxHead_ = kDefaultMaxHeadBytes;
  std::string line_;  // a line split across Feed calls
  std::string statusLine_;
  std::string version_;
  std::string description_;
};

}  // namespace corvane::http
