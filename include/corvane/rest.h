#pragma once

// The REST object: one HTTP request per Get/Post/Put/Delete call, the answer
// parsed into a document navigated with XPath.
//
//   corvane::REST rest;
//   if (rest.Get("http://127.0.0.1:8080/items.json") != 0) {
//     std::cerr << rest.LastError() << "\n";
//   }
//   rest.SetXPath("/json/items/[1]/name");
//   std::cout << rest.XText() << "\n";
//
// Every method and property setter returns 0 or an error code; the message of
// the last failure is LastError(). Getters never fail loudly: an indexed getter
// whose index is refused returns an empty value and leaves its code in
// LastGetCode() and its message in LastError(). Strings are 8-bit (UTF-8 unless
// CodePage says otherwise) and binary-safe.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "corvane/enums.h"
#include "corvane/export.h"
#include "corvane/events.h"

namespace corvane {

class RestClient;

class CORVANE_API REST {
 public:
  REST();
  ~REST();
  REST(const REST&) = delete;
  REST& operator=(const REST&) = delete;

  // Events go to listener (null: none); it must outlive the calls it serves.
  void SetListener(RESTEvents* listener);

  // Error reporting.
  const std::string& LastError() const;
  int LastGetCode() const;

  // Methods.
  int AddCookie(std::string_view cookieName, std::string_view cookieValue);
  std::string Attr(std::string_view attrName) const;
  int Config(std::string_view configurationString, std::string* answer = nullptr);
  int Delete(std::string_view url);
  int DoEvents();
  int Get(std::string_view url);
  bool HasXPath(std::string_view xpath);
  // Thread model: a REST object belongs to the thread that created it; every
  // method and property is called on that thread, and events fire on it.
  // Interrupt is the one exception: from any other thread it raises a flag
  // and wakes the running Get/Post/Put/Delete, which then ends at once with
  // 301 "Interrupted." on its own thread (returns 0 there; does nothing when
  // no request is running). On the owning thread (from an event) it acts
  // immediately.
  int Interrupt();
  int Post(std::string_view url);
  int Put(std::string_view url);
  int Reset();

  // Properties.
  std::string Accept() const;
  int SetAccept(std::string_view value);
  std::string Authorization() const;
  int SetAuthorization(std::string_view value);
  AuthSchemes AuthScheme() const;
  int SetAuthScheme(AuthSchemes value);
  bool BuildDOM() const;
  int SetBuildDOM(bool value);
  bool Connected() const;
  int SetConnected(bool value);
  std::string ContentType() const;
  int SetContentType(std::string_view value);
  int CookieCount() const;
  int SetCookieCount(int value);
  std::string CookieDomain(int cookieIndex) const;
  std::string CookieExpiration(int cookieIndex) const;
  std::string CookieName(int cookieIndex) const;
  int SetCookieName(int cookieIndex, std::string_view value);
  std::string CookiePath(int cookieIndex) const;
  bool CookieSecure(int cookieIndex) const;
  std::string CookieValue(int cookieIndex) const;
  int SetCookieValue(int cookieIndex, std::string_view value);
  bool FirewallAutoDetect() const;
  int SetFirewallAutoDetect(bool value);
  FirewallTypes FirewallType() const;
  int SetFirewallType(FirewallTypes value);
  std::string FirewallHost() const;
  int SetFirewallHost(std::string_view value);
  std::string FirewallPassword() const;
  int SetFirewallPassword(std::string_view value);
  int FirewallPort() const;
  int SetFirewallPort(int value);
  std::string FirewallUser() const;
  int SetFirewallUser(std::string_view value);
  TFollowRedirects FollowRedirects() const;
  int SetFollowRedirects(TFollowRedirects value);
  std::string From() const;
  int SetFrom(std::string_view value);
  std::string HTTPMethod() const;
  int SetHTTPMethod(std::string_view value);
  bool Idle() const;
  std::string IfModifiedSince() const;
  int SetIfModifiedSince(std::string_view value);
  std::string LocalFile() const;
  int SetLocalFile(std::string_view value);
  std::string LocalHost() const;
  int SetLocalHost(std::string_view value);
  int NamespaceCount() const;
  std::string NamespacePrefix(int namespaceIndex) const;
  std::string NamespaceURI(int namespaceIndex) const;
  std::string OtherHeaders() const;
  int SetOtherHeaders(std::string_view value);
  int ParsedHeaderCount() const;
  std::string ParsedHeaderField(int parsedHeaderIndex) const;
  std::string ParsedHeaderValue(int parsedHeaderIndex) const;
  std::string Password() const;
  int SetPassword(std::string_view value);
  std::string PostData() const;
  int SetPostData(std::string_view value);
  AuthSchemes ProxyAuthScheme() const;
  int SetProxyAuthScheme(AuthSchemes value);
  bool ProxyAutoDetect() const;
  int SetProxyAutoDetect(bool value);
  std::string ProxyPassword() const;
  int SetProxyPassword(std::string_view value);
  int ProxyPort() const;
  int SetProxyPort(int value);
  std::string ProxyServer() const;
  int SetProxyServer(std::string_view value);
  ProxySSLTypes ProxySSL() const;
  int SetProxySSL(ProxySSLTypes value);
  std::string ProxyUser() const;
  int SetProxyUser(std::string_view value);
  std::string Referer() const;
  int SetReferer(std::string_view value);
  std::string SSLAcceptServerCertEncoded() const;
  int SetSSLAcceptServerCertEncoded(std::string_view value);
  std::string SSLCertEncoded() const;
  int SetSSLCertEncoded(std::string_view value);
  std::string SSLCertStore() const;
  int SetSSLCertStore(std::string_view value);
  std::string SSLCertStorePassword() const;
  int SetSSLCertStorePassword(std::string_view value);
  CertStoreTypes SSLCertStoreType() const;
  int SetSSLCertStoreType(CertStoreTypes value);
  std::string SSLCertSubject() const;
  int SetSSLCertSubject(std::string_view value);
  std::string SSLServerCertEncoded() const;
  std::string StatusLine() const;
  // The status code of the last response (404 for "HTTP/1.1 404 Not Found"),
  // 0 when there was none.
  int StatusCode() const;
  int Timeout() const;
  int SetTimeout(int value);
  std::string TransferredData() const;
  // The same bytes without a copy, valid until the next request or Reset.
  std::string_view TransferredDataView() const;
  int64_t TransferredDataLimit() const;
  int SetTransferredDataLimit(int64_t value);
  std::string TransferredHeaders() const;
  std::string URL() const;
  int SetURL(std::string_view value);
  std::string User() const;
  int SetUser(std::string_view value);
  bool Validate() const;
  int SetValidate(bool value);
  int AttrCount() const;
  std::string AttrName(int attrIndex) const;
  std::string AttrNamespace(int attrIndex) const;
  std::string AttrPrefix(int attrIndex) const;
  std::string AttrValue(int attrIndex) const;
  int XChildCount() const;
  std::string XChildName(int xChildIndex) const;
  std::string XChildNamespace(int xChildIndex) const;
  std::string XChildPrefix(int xChildIndex) const;
  std::string XChildXText(int xChildIndex) const;
  std::string XElement() const;
  std::string XErrorPath() const;
  int SetXErrorPath(std::string_view value);
  std::string XNamespace() const;
  std::string XParent() const;
  std::string XPath() const;
  int SetXPath(std::string_view value);
  std::string XPrefix() const;
  std::string XSubTree() const;
  std::string XText() const;
  // XText as plain text: for a JSON string its value without the quotes,
  // escapes resolved (UTF-8); anything else as XText gives it.
  std::string XTextDecoded() const;
  // Binary forms (the same bytes; kept for callers that name them).
  std::string PostDataB() const { return PostData(); }
  int SetPostDataB(std::string_view value) { return SetPostData(value); }
  std::string SSLServerCertEncodedB() const { return SSLServerCertEncoded(); }
  std::string TransferredDataB() const { return TransferredData(); }
  std::string SSLAcceptServerCertEncodedB() const { return SSLAcceptServerCertEncoded(); }
  int SetSSLAcceptServerCertEncodedB(std::string_view v) { return SetSSLAcceptServerCertEncoded(v); }
  std::string SSLCertEncodedB() const;
  int SetSSLCertEncodedB(std::string_view value) { return SetSSLCertEncoded(value); }
  std::string SSLCertStoreB() const { return SSLCertStore(); }
  int SetSSLCertStoreB(std::string_view value) { return SetSSLCertStore(value); }
  // Readable while SSLServerAuthentication and Transfer events run.
  std::string SSLServerAuthenticationCertEncodedB() const;
  std::string TransferTextB() const;

  // The engine object, for layers that extend the component.
  RestClient& Engine();

 private:
  std::unique_ptr<RestClient> client_;
  mutable std::string lastError_;
  mutable int lastGetCode_ = 0;
};

}  // namespace corvane
