#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "http2/http2_connection.h"

namespace corvane {

// What one HTTP/2 request needs from the request that carries it.
struct Http2Request {
  std::string scheme;
  std::string host;
  int port = 443;
  std::string pathAndQuery;
  // The HTTP/1.1 header block the request would carry (request line and
  // header lines, CR LF separated); Host and hop-by-hop fields are dropped.
  std::string headerBlock;
  // The body: postData first, then the file's bytes; contentLength is both.
  std::string_view postData;
  std::string attachedFile;
  int64_t contentLength = 0;
  // Bytes per DATA piece (16384, or ChunkSize with chunked uploads).
  size_t pieceSize = 16384;
};

// The connection and the HTTP engine under an exchange: the HTTP client
// implements it. Received bytes come back to the exchange through
// Http2Exchange::OnReceived from inside WaitOnce.
class Http2ExchangeHost : public Http2ResponseListener {
 public:
  // Opens (or reuses) the connection for the request, TLS handshake
  // included. 0 or the failure's code (with its message set).
  virtual int OpenConnection(std::string_view verb) = 0;
  // The protocol the server chose through ALPN (empty: none).
  virtual std::string AlpnSelection() = 0;
  // Fills the request from the engine's settings; 0 or a code.
  virtual int ComposeRequest(std::string_view verb, bool hasBody, Http2Request& request) = 0;
  // Starts a response as a new request does (status, headers and body
  // state cleared).
  virtual void BeginResponse(std::string_view verb) = 0;
  // Writes every byte, waiting while the connection is full. 0 or a code.
  virtual int SendBytes(const char* data, size_t length) = 0;
  // Writes what the connection takes now without waiting; returns how many
  // bytes it took. The rest, and any failure, is for the next SendBytes.
  virtual size_t SendAvailable(const char* data, size_t length) { return 0; }
  // One pass of the event loop: 0, or 301 on interruption or time-out.
  virtual int WaitOnce() = 0;
  virtual bool ConnectionOpen() = 0;
  virtual void CloseConnection() = 0;
  // The connection may stay open after the request for the next one
  // (KeepAlive). Without it each request has its own connection.
  virtual bool KeepConnection() { return false; }
  // OpenConnection found the connection of the last request still open
  // instead of making a new one.
  virtual bool SameConnection() { return false; }
  // Upload progress of the body, as for an HTTP/1.x body.
  virtual void UploadStarted() {}
  virtual void UploadProgress(int64_t sent, int64_t total, std::string_view piece) {}
  virtual void UploadEnded() {}
  // Makes code and text the request's last error; returns code.
  virtual int Fail(int code, std::string_view text) = 0;
  // The exchange's result once the stream ended (or the connection could
  // not be opened); what this returns is Run's result.
  virtual int FinishRequest(int waitResult) = 0;
};

// One request over HTTP/2 on the connection the host opens: the protocol
// choice after ALPN, the stream (preface, SETTINGS, WINDOW_UPDATE, HEADERS,
// DATA within the send window), the wait for the response, and the status
// evaluation. Without KeepConnection the connection is closed when the
// request ends; with it the next request takes the next stream on it.
class Http2Exchange {
 public:
  explicit Http2Exchange(Http2ExchangeHost& host);

  // false (nothing else done) when the server did not select "h2": the
  // caller falls back or fails. Otherwise true with *result the request's.
  bool Run(std::string_view verb, bool hasBody, int* result);

  // True while received bytes belong to the exchange: during a request, and
  // between requests while a kept connection is open.
  bool Active() const noexcept { return active_ || kept_; }
  // The connection under a kept stream went away (closed by either side).
  void ConnectionGone() noexcept;
  // Bytes the connection delivered while Active().
  void OnReceived(const char* data, size_t length);

  const Http2Connection& Connection() const noexcept { return connection_; }

 private:
  int RunStream(std::string_view verb, bool hasBody, bool reuse);
  // Back to a connection that has not started, its unsent output dropped.
  void DropConnectionState();
  int SendBody(const Http2Request& request);
  int SendPiece(const char* data, size_t length, bool last);
  int AwaitResponse();
  // One pass of the loop, then the frames it answered are written out.
  int Step();
  int Flush();
  // Hands the credit of the DATA frames handled so far to the connection
  // while the pass that read them is still running.
  void SendCredit();
  int ConnectionFailure(int rc);

  Http2ExchangeHost& host_;
  Http2Connection connection_;
  bool active_ = false;
  bool kept_ = false;       // the connection stays open for the next stream
  bool streaming_ = false;  // HEADERS sent: received bytes go to the connection
  bool uploadStopped_ = false;
  int failure_ = 0;
  int64_t sent_ = 0;
  int64_t total_ = 0;
  ByteBuffer held_;  // bytes that arrived before HEADERS went out (or between streams)
};

}  // namespace corvane
