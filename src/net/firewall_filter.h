#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "corvane/enums.h"

namespace corvane {

class TcpClient;

// Firewall kinds: the public FirewallTypes, plus the CONNECT tunnels that
// authenticate to the proxy.
inline constexpr int fwTunnelNTLM = 4;
inline constexpr int fwTunnelNegotiate = 5;
inline constexpr int fwTunnelDigest = 6;

// The stage between the socket and the layer above. Every connection event
// and every received piece passes through it; with a firewall type set it
// is where the SOCKS or CONNECT negotiation runs before the connection counts
// as complete. No negotiation is implemented yet: without a firewall type
// everything passes through unchanged; with one, the TCP connection goes to
// the firewall and then fails with 118 (talking to the firewall as if it
// were the remote host would be wrong).
//
// Stage shape (the same toward both neighbours): connect (OnSocketConnected),
// send (Send: negotiation bytes straight to the socket), data arrived
// (OnSocketData), closed (OnSocketDisconnected), error (OnSocketError).
class FirewallFilter {
 public:
  explicit FirewallFilter(TcpClient* owner) noexcept : owner_(owner) {}

  // From the socket.
  void OnSocketConnected(int code);
  void OnSocketData(const char* data, int length, bool isLine);
  void OnSocketDisconnected(int code);
  void OnSocketError(int code, std::string_view text);
  // Toward the socket (bypasses the upper layers' 10057 while negotiating).
  int Send(const char* data, int length);

  // True from the TCP connect until the negotiation ends: the socket hands
  // raw chunks, reads go on while AcceptData is off, and sends of the upper
  // layers get 10057.
  bool NegotiationRunning() const noexcept { return negotiating_; }

  // Settings.
  int Type() const noexcept { return type_; }
  // Port 0 becomes 80 (tunnel types) or 1080 (SOCKS); type 0 sets port 0.
  void SetType(int type) noexcept;
  int Port() const noexcept { return port_; }
  void SetPort(int port) noexcept { port_ = port; }
  // Resolves a dotted address or a name (IPv4). 0 or a socket error code.
  int SetHost(std::string_view host);
  const std::string& HostText() const noexcept { return hostText_; }
  uint32_t Address() const noexcept { return address_; }  // network order, 0 = none
  std::string AddressText() const;
  void ClearHost() noexcept {
    hostText_.clear();
    address_ = 0;
  }
  const std::string& User() const noexcept { return user_; }
  void SetUser(std::string_view user) { user_ = std::string(user.substr(0, 255)); }
  const std::string& Password() const noexcept { return password_; }
  void SetPassword(std::string_view pw) { password_ = std::string(pw.substr(0, 255)); }
  bool AutoDetect() const noexcept { return autoDetect_; }
  void SetAutoDetect(bool on) noexcept { autoDetect_ = on; }
  const std::string& UserAgent() const noexcept { return userAgent_; }
  void SetUserAgent(std::string_view ua) { userAgent_ = std::string(ua); }

 private:
  TcpClient* owner_;
  int type_ = fwNone;
  int port_ = 0;
  std::string hostText_;
  uint32_t address_ = 0;
  std::string user_;
  std::string password_;
  std::string userAgent_;
  bool autoDetect_ = false;
  bool negotiating_ = false;
};

}  // namespace corvane
