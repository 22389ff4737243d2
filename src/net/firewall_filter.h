#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "corvane/enums.h"
#include "net/tunnel_negotiation.h"

namespace corvane {

class TcpClient;

// The stage between the socket and the layer above. Every connection event
// and every received piece passes through it; with a firewall type set the
// TCP connection goes to the firewall, and the SOCKS or CONNECT negotiation
// (TunnelNegotiation) runs here before the connection counts as complete.
// This class only moves bytes and events: it resolves the remote name for
// SOCKS, sends what the negotiation asks for, logs the exchange, and on
// success hands the bytes behind the reply to the socket's line buffer.
// Without a firewall type everything passes through unchanged.
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
  // The connection is being closed on our side (timeout, interrupt, the
  // caller): a running negotiation ends without a verdict of its own.
  void OnLocalClose();
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
  void SetUser(std::string_view user) { user_.assign(user.substr(0, 255)); }
  const std::string& Password() const noexcept { return password_; }
  void SetPassword(std::string_view pw) { password_.assign(pw.substr(0, 255)); }
  bool AutoDetect() const noexcept { return autoDetect_; }
  // Stores the flag and takes the SOCKS firewall from the system proxy
  // settings when on (cleared host and port otherwise). Always 0.
  int SetAutoDetect(bool on);
  const std::string& UserAgent() const noexcept { return userAgent_; }
  void SetUserAgent(std::string_view ua) { userAgent_.assign(ua); }
  // The Digest URI of the request that will run through a Digest tunnel.
  void SetDigestUri(std::string_view uri) { digestUri_.assign(uri); }
  // A CONNECT tunnel through an HTTP proxy that the HTTP engine sets up for
  // one connection. It takes the place of the caller's firewall settings
  // (which stay as they are, for the next connection) until cleared. 0 or a
  // socket error from resolving host.
  int SetProxyTunnel(int type, std::string_view host, int port, std::string_view user, std::string_view password);
  void ClearProxyTunnel() noexcept { tunnel_.on = false; }
  bool ProxyTunnelOn() const noexcept { return tunnel_.on; }
  const std::string& ProxyTunnelHost() const noexcept { return tunnel_.host; }
  // What the next connection uses: the proxy tunnel when set, else the
  // caller's settings.
  int ActiveType() const noexcept { return tunnel_.on ? tunnel_.type : type_; }
  int ActivePort() const noexcept { return tunnel_.on ? tunnel_.port : port_; }
  uint32_t ActiveAddress() const noexcept { return tunnel_.on ? tunnel_.address : address_; }
  // Supplies the tokens of the authenticating CONNECT tunnels (not owned).
  void SetAuthenticator(TunnelAuthenticator* authenticator) noexcept { authenticator_ = authenticator; }

 private:
  bool Authenticating() const noexcept {
    int t = ActiveType();
    return t == fwTunnelNTLM || t == fwTunnelNegotiate || t == fwTunnelDigest;
  }
  struct ProxyTunnel {
    bool on = false;
    int type = 0;
    int port = 0;
    std::string host;
    uint32_t address = 0;
    std::string user;
    std::string password;
  };
  void Handle(TunnelNegotiation::Result result);
  void SendOutput();
  void Fail(const std::string& text, const std::string& detail = {});
  void EndNegotiation();
  void LogExchange(std::string_view bytes, std::string_view type);

  TcpClient* owner_;
  int type_ = fwNone;
  int port_ = 0;
  std::string hostText_;
  uint32_t address_ = 0;
  std::string user_;
  std::string password_;
  std::string userAgent_;
  std::string digestUri_ = "/";
  bool autoDetect_ = false;
  bool negotiating_ = false;
  ProxyTunnel tunnel_;
  TunnelAuthenticator* authenticator_ = nullptr;
  TunnelNegotiation negotiation_;
  std::string savedTerminator_;
  bool terminatorSaved_ = false;
};

}  // namespace corvane
