#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane {

// Firewall kinds: the public FirewallTypes (fwNone 0, fwTunnel 1, fwSOCKS4 2,
// fwSOCKS5 3), plus the CONNECT tunnels that authenticate to the proxy.
inline constexpr int fwTunnelNTLM = 4;
inline constexpr int fwTunnelNegotiate = 5;
inline constexpr int fwTunnelDigest = 6;

// Authentication values for the CONNECT tunnels that answer a challenge. The
// network layer has no authentication code of its own; the layer that owns it
// (the HTTP engine) supplies this. Both return 0, or a code with the message
// in error.
class TunnelAuthenticator {
 public:
  virtual ~TunnelAuthenticator() = default;
  // The Digest credentials value ("Digest username=...") for the method
  // CONNECT and uri, answering challenge (the parameters after "Digest ").
  virtual int DigestValue(std::string_view user, std::string_view password, std::string_view challenge,
                          std::string_view uri, std::string& value, std::string& error) = 0;
  // "NTLM <base64>" or, with negotiate, "Negotiate <base64>": the first token
  // when challenge is empty, else the answer to challenge (base64 text).
  virtual int TokenValue(bool negotiate, std::string_view user, std::string_view password,
                         std::string_view challenge, std::string& value, std::string& error) = 0;
};

// What one negotiation needs to know.
struct TunnelRequest {
  int type = 0;               // 1-6 (see above)
  std::string_view host;      // RemoteHost as given; "*name" lets a SOCKS 5 firewall resolve name
  int port = 0;               // RemotePort
  uint32_t address = 0;       // RemoteHost resolved by the caller (network order), SOCKS only
  std::string_view user;      // FirewallUser (a longer text is cut to 255 bytes)
  std::string_view password;  // FirewallPassword (likewise)
  std::string_view userAgent; // sent in CONNECT requests when not empty
  std::string_view uri;       // Digest URI of the tunnelled request
};

// The SOCKS 4, SOCKS 5 (RFC 1928, RFC 1929) and HTTP CONNECT negotiations
// with a firewall, without I/O: Start builds the first request, Feed takes
// the firewall's bytes as they arrive (split anywhere) and may queue the
// next request. The caller sends Output() after each call, and once the
// result is up hands Rest() — the bytes that came behind the reply — to the
// layer above. Buffered input is bounded by kMaxPending.
class TunnelNegotiation {
 public:
  enum class State {
    idle,
    socks4Reply,
    socks5Method,
    socks5Auth,
    socks5Connect,
    connectReply,      // type 1: the whole reply head
    authStatus,        // types 4-6: status line of the first reply
    authHeaders,
    authBody,          // Content-Length bytes being skipped
    authChunkSize,
    authChunkData,
    authChunkTrailer,
    finalStatus,       // status line of the reply to the authenticated request
    finalHeaders,      // the 2xx reply head up to its blank line
    up,
    failed,
  };
  enum class Result { more, up, failed };

  // Longest reply piece held at once (a line, a reply head).
  static constexpr size_t kMaxPending = 65536;

  // Builds the first request. failed: FailureText() says why.
  Result Start(const TunnelRequest& request, TunnelAuthenticator* auth);
  // Takes received bytes (all of them are consumed).
  Result Feed(const char* data, size_t length);

  // Bytes to send now (requests queue up in order); the caller clears them
  // once sent.
  ByteBuffer& Output() noexcept { return output_; }
  std::string_view Rest() const noexcept { return rest_; }
  State state() const noexcept { return state_; }
  // The message of the failure (code 118).
  const std::string& FailureText() const noexcept { return failureText_; }
  // The firewall's own words behind a failure (its reply or status line),
  // reported before the failure itself; empty when there are none.
  const std::string& FailureDetail() const noexcept { return failureDetail_; }

  static std::string_view StateName(State s) noexcept;

 private:
  Result Run();
  bool NextLine(std::string_view& line);
  Result OnConnectReply();
  Result OnSocks4Reply();
  Result OnSocks5Method();
  Result OnSocks5Auth();
  Result OnSocks5Connect();
  Result OnStatusLine(std::string_view line, bool final);
  void OnHeaderLine(std::string_view line);
  Result EndOfHeaders();
  Result SendAuthenticated();
  Result Up(size_t consumed);
  Result Fail(std::string text, std::string detail = {});
  void AppendConnectLine();
  void AppendSocks5Connect();
  bool Digest() const noexcept { return request_.type == fwTunnelDigest; }

  TunnelRequest request_;
  TunnelAuthenticator* auth_ = nullptr;
  std::string user_;
  std::string password_;
  std::string host_;  // RemoteHost without a leading "*"
  bool hostByName_ = false;

  State state_ = State::idle;
  std::string pending_;  // received, not yet consumed
  std::string lineStore_;
  int64_t bodyLength_ = 0;
  int64_t left_ = 0;  // body or chunk bytes still to skip
  bool chunked_ = false;
  std::string challenge_;

  ByteBuffer output_;
  std::string rest_;
  std::string failureText_;
  std::string failureDetail_;
};

}  // namespace corvane
