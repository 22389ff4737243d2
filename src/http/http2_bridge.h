#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "http2/http2_exchange.h"

namespace corvane {

class HttpClient;

// The HTTP/2 exchange on the client's connection: the request is composed
// from the client's settings, and the response goes through the client's
// header handling and body delivery exactly as an HTTP/1.x response does.
// The client owns one from its first HTTP/2 request on.
class Http2Bridge final : public Http2ExchangeHost {
 public:
  explicit Http2Bridge(HttpClient& client);

  // false (nothing else done) when the server did not select "h2";
  // otherwise true with *result the request's.
  bool Run(std::string_view verb, bool hasBody, int* result) { return exchange_.Run(verb, hasBody, result); }
  // True while received bytes are HTTP/2 frames.
  bool Active() const noexcept { return exchange_.Active(); }
  void OnReceived(const char* data, size_t length) { exchange_.OnReceived(data, length); }
  // The connection closed: a kept HTTP/2 connection is gone with it.
  void ConnectionGone() noexcept { exchange_.ConnectionGone(); }

  // Http2ExchangeHost
  int OpenConnection(std::string_view verb) override;
  std::string AlpnSelection() override;
  int ComposeRequest(std::string_view verb, bool hasBody, Http2Request& request) override;
  void BeginResponse(std::string_view verb) override;
  int SendBytes(const char* data, size_t length) override;
  size_t SendAvailable(const char* data, size_t length) override;
  int WaitOnce() override;
  bool ConnectionOpen() override;
  void CloseConnection() override;
  bool KeepConnection() override;
  bool SameConnection() override;
  void UploadStarted() override;
  void UploadProgress(int64_t sent, int64_t total, std::string_view piece) override;
  void UploadEnded() override;
  int Fail(int code, std::string_view text) override;
  int FinishRequest(int waitResult) override;
  int ProcessHeader(std::string_view name, std::string_view value) override;
  int EndOfHeaders() override;
  int DeliverBody(const char* data, size_t length) override;
  int CompleteResponse() override;
  bool LogsAt(int level) const override;
  void Log(int level, std::string_view message, std::string_view logType) override;

 private:
  HttpClient& c_;
  Http2Exchange exchange_;
  uint64_t keptSerial_ = 0;  // the client's connection that was kept
};

}  // namespace corvane
