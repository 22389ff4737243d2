// The proxy choice of a request: the configured or system-detected HTTP
// proxy, the system's exception list, and the CONNECT tunnel that carries
// https (or psTunnel) through the proxy in the firewall filter.
#include "core/config_item.h"
#include "core/error_text.h"
#include "http/http_client.h"
#include "net/system_proxy.h"

namespace corvane {

using namespace http;

const std::string& HttpClient::ActiveProxy() const noexcept {
  return proxyAutoDetect_ && !detectedProxy_.empty() ? detectedProxy_ : proxyServer_;
}

int HttpClient::ActiveProxyPort() const noexcept {
  return proxyAutoDetect_ && !detectedProxy_.empty() ? detectedProxyPort_ : proxyPort_;
}

bool HttpClient::UsingProxy() const {
  return !ActiveProxy().empty() && !proxyBypassed_ && proxySSL_ != http::psTunnel &&
         !(proxySSL_ == http::psAutomatic && EqualsNoCase(target_.scheme, kSchemeSecure));
}

int HttpClient::SetProxyAutoDetect(bool on) {
  proxyAutoDetect_ = on;
  detectedProxy_.clear();
  detectedProxyPort_ = proxyPort_;
  Firewall().SetAutoDetect(on);
  if (on) LookUpSystemProxy();
  return 0;
}

void HttpClient::LookUpSystemProxy() {
  SystemProxySettings settings = ReadSystemProxySettings();
  if (!settings.enabled) return;
  std::string_view scheme = target_.scheme.empty() ? std::string_view(kSchemeDefault) : target_.scheme;
  std::string host;
  int port = 0;
  if (!FindSchemeProxy(settings.server, scheme, host, port) || host.empty()) return;
  detectedProxy_ = std::move(host);
  if (port != 0) detectedProxyPort_ = port;
  // https goes through a CONNECT tunnel, http to the proxy itself; either
  // way the HTTP proxy replaces a SOCKS firewall taken from the same settings.
  proxySSL_ = EqualsNoCase(scheme, kSchemeSecure) ? http::psTunnel : http::psAutomatic;
  if (Firewall().AutoDetect()) Firewall().SetType(fwNone);
}

int HttpClient::SetTunnel(int type) {
  FirewallFilter& fw = Firewall();
  if (type == fwNone) {
    fw.ClearProxyTunnel();
    return 0;
  }
  int rc = fw.SetProxyTunnel(type, ActiveProxy(), ActiveProxyPort(), auth_.proxyUser.view(),
                             auth_.proxyPassword.view());
  if (rc != 0) return SetError(rc, DescribeError(rc));
  fw.SetUserAgent(headers_.userAgent);
  fw.SetDigestUri(target_.path);
  return 0;
}

}  // namespace corvane
