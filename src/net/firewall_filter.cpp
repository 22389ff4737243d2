#include "net/firewall_filter.h"

#include <cstdio>
#include <string>

#include "core/error_text.h"
#include "net/name_resolver.h"
#include "net/system_proxy.h"
#include "net/tcp_client.h"

namespace corvane {

namespace {

constexpr int kFirewallError = 118;

// Control bytes other than CR and LF, and bytes from 128 on, are shown as
// "0x%x" so that a binary SOCKS exchange reads as text in the log.
std::string LogText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if ((b < 32 && b != '\r' && b != '\n') || b >= 128) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%x", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void FirewallFilter::SetType(int type) noexcept {
  type_ = type;
  if (type == fwNone) {
    port_ = 0;
  } else if (port_ == 0) {
    port_ = (type == fwSOCKS4 || type == fwSOCKS5) ? 1080 : 80;
  }
}

int FirewallFilter::SetHost(std::string_view host) {
  hostText_.assign(host);
  address_ = 0;
  if (host.empty()) return 0;
  int rc = ResolveIPv4(host, false, address_);
  return rc == 10093 ? 0 : rc;
}

int FirewallFilter::SetProxyTunnel(int type, std::string_view host, int port, std::string_view user,
                                   std::string_view password) {
  tunnel_.on = true;
  tunnel_.type = type;
  tunnel_.port = port;
  tunnel_.user.assign(user.substr(0, 255));
  tunnel_.password.assign(password.substr(0, 255));
  if (tunnel_.host != host || tunnel_.address == 0) {
    tunnel_.host.assign(host);
    tunnel_.address = 0;
    int rc = ResolveIPv4(host, false, tunnel_.address);
    if (rc != 0 && rc != 10093) return rc;
  }
  return 0;
}

std::string FirewallFilter::AddressText() const {
  return address_ != 0 ? FormatIPv4(address_) : std::string();
}

int FirewallFilter::SetAutoDetect(bool on) {
  autoDetect_ = on;
  ClearHost();
  port_ = 0;
  if (!on) return 0;
  SystemProxySettings settings = ReadSystemProxySettings();
  std::string host;
  int port = 0;
  // Nothing is reported: without a usable entry the settings stay cleared.
  if (!settings.enabled || !FindSocksProxy(settings.server, host, port)) return 0;
  SetType(fwSOCKS5);
  SetHost(host);
  if (port != 0) port_ = port;
  return 0;
}

void FirewallFilter::LogExchange(std::string_view bytes, std::string_view type) {
  if (owner_->LogLevel() >= 2 && !bytes.empty()) owner_->Log(kLogSummary, LogText(bytes), type);
}

void FirewallFilter::OnSocketConnected(int code) {
  const int type = ActiveType();
  if (code != 0) {
    negotiating_ = false;
    if (type != fwNone) owner_->OnConnectionStatus("Firewall connection failed.", code);
    owner_->OnConnectComplete(code);
    return;
  }
  if (type == fwNone) {
    negotiating_ = false;
    owner_->OnConnectComplete(0);
    return;
  }
  negotiating_ = true;
  owner_->OnConnectionStatus("Firewall connection complete.", 0);
  if (Authenticating()) {
    // The tunnel's replies are read line by line; the layer above gets its
    // own terminator back when the tunnel is up.
    savedTerminator_.assign(owner_->Lines().Terminator());
    terminatorSaved_ = true;
    owner_->SetTerminator("\r\n");
  }

  TunnelRequest request;
  request.type = type;
  request.host = owner_->RemoteHost();
  request.port = owner_->RemotePort();
  request.user = tunnel_.on ? tunnel_.user : user_;
  request.password = tunnel_.on ? tunnel_.password : password_;
  request.userAgent = userAgent_;
  request.uri = digestUri_;
  bool byName = !request.host.empty() && request.host.front() == '*';
  if (type == fwSOCKS4 || (type == fwSOCKS5 && !byName)) {
    // SOCKS 4 and SOCKS 5 without "*" carry the address, so the name is
    // resolved here rather than by the firewall.
    std::string_view name = byName ? request.host.substr(1) : request.host;
    if (int rc = ResolveIPv4(name, true, request.address); rc != 0) {
      Fail("Could not resolve the RemoteHost '" + std::string(name) + "' for the firewall: " + DescribeError(rc));
      return;
    }
  }
  Handle(negotiation_.Start(request, authenticator_));
}

void FirewallFilter::Handle(TunnelNegotiation::Result result) {
  switch (result) {
    case TunnelNegotiation::Result::more:
      SendOutput();
      return;
    case TunnelNegotiation::Result::up: {
      EndNegotiation();
      std::string_view rest = negotiation_.Rest();
      // Bytes behind the reply belong to the layer above: they go back into
      // the line buffer and are delivered as ordinary data.
      if (!rest.empty() && owner_->Lines().Append(rest.data(), static_cast<int>(rest.size())) != 0) {
        Fail("Out of memory.");
        return;
      }
      owner_->OnConnectComplete(0);
      return;
    }
    case TunnelNegotiation::Result::failed:
      Fail(negotiation_.FailureText(), negotiation_.FailureDetail());
      return;
  }
}

void FirewallFilter::SendOutput() {
  ByteBuffer& out = negotiation_.Output();
  if (out.empty()) return;
  LogExchange(out.view(), "FirewallRequest");
  int rc = owner_->SendRaw(out.data(), out.size());
  bool whole = rc == 0;
  out.Clear();
  if (!whole) {
    // The requests are small; a socket that cannot take one at once is broken.
    Fail("Could not send the request to the firewall: " + DescribeError(rc == 10035 ? 10055 : rc));
  }
}

void FirewallFilter::OnSocketData(const char* data, int length, bool isLine) {
  if (!negotiating_) {
    owner_->OnDataIn(data, length, isLine);
    return;
  }
  std::string_view bytes(data, static_cast<size_t>(length));
  LogExchange(bytes, "FirewallResponse");
  TunnelNegotiation::Result r = negotiation_.Feed(data, static_cast<size_t>(length));
  if (r == TunnelNegotiation::Result::more && isLine) {
    std::string_view terminator = owner_->Lines().Terminator();
    r = negotiation_.Feed(terminator.data(), terminator.size());
  }
  Handle(r);
}

void FirewallFilter::EndNegotiation() {
  negotiating_ = false;
  if (terminatorSaved_) {
    terminatorSaved_ = false;
    owner_->SetTerminator(savedTerminator_);
  }
}

void FirewallFilter::Fail(const std::string& text, const std::string& detail) {
  if (!detail.empty()) owner_->OnError(kFirewallError, detail);
  owner_->OnError(kFirewallError, text);
  EndNegotiation();
  owner_->SetError(kFirewallError, text);
  owner_->OnConnectComplete(kFirewallError);
  owner_->Connect(false);
}

void FirewallFilter::OnSocketDisconnected(int code) {
  if (negotiating_) {
    // Without this the caller would wait for a connection that cannot come.
    std::string text = "Firewall error. The firewall closed the connection during the negotiation.";
    owner_->OnError(kFirewallError, text);
    EndNegotiation();
    owner_->SetError(kFirewallError, text);
    owner_->OnConnectComplete(kFirewallError);
  }
  if (ActiveType() != fwNone) owner_->OnConnectionStatus("Firewall host disconnected.", code);
  owner_->OnDisconnected(code);
}

void FirewallFilter::OnLocalClose() {
  if (negotiating_) EndNegotiation();
}

void FirewallFilter::OnSocketError(int code, std::string_view text) { owner_->OnError(code, text); }

int FirewallFilter::Send(const char* data, int length) { return owner_->SendRaw(data, length); }

}  // namespace corvane
