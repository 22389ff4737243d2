#include "net/firewall_filter.h"

#include <string>

#include "net/name_resolver.h"
#include "net/tcp_client.h"

namespace corvane {

namespace {

constexpr int kFirewallError = 118;

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

std::string FirewallFilter::AddressText() const {
  return address_ != 0 ? FormatIPv4(address_) : std::string();
}

void FirewallFilter::OnSocketConnected(int code) {
  if (code != 0) {
    negotiating_ = false;
    if (type_ != fwNone) owner_->OnConnectionStatus("Firewall connection failed.", code);
    owner_->OnConnectComplete(code);
    return;
  }
  if (type_ == fwNone) {
    negotiating_ = false;
    owner_->OnConnectComplete(0);
    return;
  }
  owner_->OnConnectionStatus("Firewall connection complete.", 0);
  // SOCKS and CONNECT negotiation are not available yet; sending the upper
  // layer's bytes to the firewall itself would be wrong, so the connection
  // fails the way a failed negotiation does.
  std::string text = "Firewall negotiation for FirewallType " + std::to_string(type_) +
                     " is not available.";
  owner_->OnError(kFirewallError, text);
  negotiating_ = false;
  owner_->SetError(kFirewallError, text);
  owner_->OnConnectComplete(kFirewallError);
  owner_->Connect(false);
}

void FirewallFilter::OnSocketData(const char* data, int length, bool isLine) {
  owner_->OnDataIn(data, length, isLine);
}

void FirewallFilter::OnSocketDisconnected(int code) {
  negotiating_ = false;
  if (type_ != fwNone) owner_->OnConnectionStatus("Firewall host disconnected.", code);
  owner_->OnDisconnected(code);
}

void FirewallFilter::OnSocketError(int code, std::string_view text) { owner_->OnError(code, text); }

int FirewallFilter::Send(const char* data, int length) { return owner_->SendRaw(data, length); }

}  // namespace corvane
