#include "corvane/rest.h"

#include "core/error_codes.h"
#include "core/error_text.h"
#include "http/http_enums.h"
#include "http/cookie_list.h"
#include "rest/rest_client.h"

namespace corvane {

namespace {

constexpr int kErrEnumRange = 0x17C;  // values of 256 or more are refused at the surface

}  // namespace

REST::REST() : client_(std::make_unique<RestClient>()) {
  // The object's own defaults, over those its engine layers start with; in
  // particular a Timeout, without which a silent server is waited on forever.
  SetAccept("");
  SetAuthorization("");
  SetAuthScheme(authBasic);
  SetUser("");
  SetPassword("");
  SetFirewallAutoDetect(false);
  SetFirewallType(fwNone);
  SetFirewallHost("");
  SetFirewallUser("");
  SetFirewallPassword("");
  SetFirewallPort(0);
  SetFollowRedirects(frNever);
  SetLocalFile("");
  SetLocalHost("");
  SetProxyAuthScheme(authBasic);
  client_->SetProxyAuthorization("");
  SetProxyAutoDetect(false);
  SetProxyServer("");
  SetProxyUser("");
  SetProxyPassword("");
  SetProxyPort(80);
  SetProxySSL(psAutomatic);
  SetSSLCertStore("MY");
  SetSSLCertStoreType(cstUser);
  SetSSLCertStorePassword("");
  SetSSLCertSubject("");
  SetTimeout(60);
  SetTransferredDataLimit(0);
  SetURL("");
  SetXErrorPath("");
  SetBuildDOM(true);  // also turns Validate on
  SetContentType("text/xml");
  // TLS 1.3 on top of the 1.0-1.2 bits: a client that never offers it is
  // slower and weaker against every current server.
  client_->Tls().sslEnabledProtocols = 0x3FC0;
  client_->ClearError();
}
REST::~REST() = default;

RestClient& REST::Engine() { return *client_; }

void REST::SetListener(RESTEvents* listener) { client_->SetListener(listener); }

const std::string& REST::LastError() const {
  lastError_ = client_->LastErrorText().str();
  return lastError_;
}

int REST::LastGetCode() const { return lastGetCode_; }

// Records the outcome of a call: the message stays readable via LastError().
#define CORVANE_RESULT(expr)                                                   \
  [&]() -> int {                                                              \
    int rc_ = (expr);                                                         \
    if (rc_ != 0 && client_->LastErrorText().empty()) {                       \
      client_->SetError(rc_, DescribeError(rc_));                             \
    }                                                                         \
    return rc_;                                                               \
  }()

// --- methods -------------------------------------------------------------

int REST::AddCookie(std::string_view name, std::string_view value) {
  client_->AddCookie(name, value);
  return 0;
}

std::string REST::Attr(std::string_view attrName) const {
  std::string out;
  lastGetCode_ = client_->Document().Attr(attrName, out);
  if (lastGetCode_ != 0) client_->SetError(lastGetCode_, client_->DocumentErrors().LastErrorText().view());
  return out;
}

int REST::Config(std::string_view text, std::string* answer) {
  client_->ClearError();
  int rc = client_->Config(text);
  if (answer) *answer = client_->ResultText().str();
  return rc;
}

int REST::Delete(std::string_view url) {
  client_->ClearError();
  return CORVANE_RESULT(client_->RunDelete(url));
}

int REST::DoEvents() {
  client_->DoEvents();
  return 0;
}

int REST::Get(std::string_view url) {
  client_->ClearError();
  return CORVANE_RESULT(client_->RunRestRequest(url, http::actGet));
}

bool REST::HasXPath(std::string_view xpath) {
  if (xpath.empty()) return false;
  return client_->Document().HasXPath(xpath);
}

int REST::Interrupt() {
  // Another thread only raises the request; the owning thread's wait loop
  // closes the connection, so no state is shared beyond one atomic flag.
  if (!client_->OnOwningThread()) {
    client_->RequestInterrupt();
    return 0;
  }
  return client_->Action(http::actInterrupt);
}

int REST::Post(std::string_view url) {
  client_->ClearError();
  return CORVANE_RESULT(client_->RunRestRequest(url, http::actPost));
}

int REST::Put(std::string_view url) {
  client_->ClearError();
  return CORVANE_RESULT(client_->RunRestRequest(url, http::actPut));
}

int REST::Reset() {
  client_->ClearError();
  return CORVANE_RESULT(client_->ResetRest());
}

// --- request properties --------------------------------------------------

std::string REST::Accept() const { return client_->Headers().accept; }
int REST::SetAccept(std::string_view v) { client_->Headers().accept = v; return 0; }
std::string REST::Authorization() const { return std::string(client_->Authorization()); }
int REST::SetAuthorization(std::string_view v) { client_->SetAuthorization(v); return 0; }
AuthSchemes REST::AuthScheme() const { return static_cast<AuthSchemes>(client_->AuthScheme()); }
int REST::SetAuthScheme(AuthSchemes v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->SetAuthScheme(v);
  return 0;
}
bool REST::BuildDOM() const { return client_->BuildDOM(); }
int REST::SetBuildDOM(bool v) { client_->SetBuildDOM(v); return 0; }
bool REST::Connected() const { return client_->IsConnectionReady(); }
int REST::SetConnected(bool v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->Connect(v));
}
std::string REST::ContentType() const { return client_->Headers().contentType; }
int REST::SetContentType(std::string_view v) { client_->Headers().contentType = v; return 0; }
std::string REST::From() const { return client_->Headers().from; }
int REST::SetFrom(std::string_view v) { client_->Headers().from = v; return 0; }
std::string REST::HTTPMethod() const { return client_->Headers().httpMethod; }
int REST::SetHTTPMethod(std::string_view v) { client_->Headers().httpMethod = v; return 0; }
bool REST::Idle() const { return !client_->Busy(); }
std::string REST::IfModifiedSince() const { return client_->Headers().ifModifiedSince; }
int REST::SetIfModifiedSince(std::string_view v) { client_->Headers().ifModifiedSince = v; return 0; }
std::string REST::LocalFile() const { return client_->LocalFile(); }
int REST::SetLocalFile(std::string_view v) { client_->LocalFile() = v; return 0; }
std::string REST::LocalHost() const { return client_->GetLocalHost(); }
int REST::SetLocalHost(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetLocalHost(v));
}
std::string REST::OtherHeaders() const { return client_->Headers().otherHeaders; }
int REST::SetOtherHeaders(std::string_view v) { client_->Headers().otherHeaders = v; return 0; }
std::string REST::Password() const { return std::string(client_->Password()); }
int REST::SetPassword(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetPassword(v));
}
std::string REST::PostData() const { return client_->PostData(); }
int REST::SetPostData(std::string_view v) { client_->PostData() = v; return 0; }
std::string REST::Referer() const { return client_->Headers().referer; }
int REST::SetReferer(std::string_view v) { client_->Headers().referer = v; return 0; }
int REST::Timeout() const { return client_->Timeout(); }
int REST::SetTimeout(int v) { client_->SetTimeout(v); return 0; }
// The configuration query answers 32 bits; the property carries all 64.
int64_t REST::TransferredDataLimit() const { return client_->TransferredDataLimit(); }
int REST::SetTransferredDataLimit(int64_t v) { client_->SetTransferredDataLimit(v); return 0; }
std::string REST::URL() const { return client_->URL(); }
int REST::SetURL(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetURL(v));
}
std::string REST::User() const { return std::string(client_->User()); }
int REST::SetUser(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetUser(v));
}
bool REST::Validate() const { return client_->Xml().Validate(); }
int REST::SetValidate(bool v) { client_->Xml().SetValidate(v); return 0; }
TFollowRedirects REST::FollowRedirects() const {
  return static_cast<TFollowRedirects>(client_->FollowRedirects());
}
int REST::SetFollowRedirects(TFollowRedirects v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->SetFollowRedirects(v);
  return 0;
}

// --- proxy and firewall --------------------------------------------------

AuthSchemes REST::ProxyAuthScheme() const { return static_cast<AuthSchemes>(client_->ProxyAuthScheme()); }
int REST::SetProxyAuthScheme(AuthSchemes v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->SetProxyAuthScheme(v);
  return 0;
}
bool REST::ProxyAutoDetect() const { return client_->ProxyAutoDetect(); }
int REST::SetProxyAutoDetect(bool v) { client_->SetProxyAutoDetect(v); return 0; }
std::string REST::ProxyPassword() const { return std::string(client_->ProxyPassword()); }
int REST::SetProxyPassword(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetProxyPassword(v));
}
int REST::ProxyPort() const { return client_->ProxyPort(); }
int REST::SetProxyPort(int v) { client_->ProxyPort() = v; return 0; }
std::string REST::ProxyServer() const { return client_->ProxyServer(); }
int REST::SetProxyServer(std::string_view v) { client_->ProxyServer() = v; return 0; }
ProxySSLTypes REST::ProxySSL() const { return static_cast<ProxySSLTypes>(client_->ProxySSL()); }
int REST::SetProxySSL(ProxySSLTypes v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->ProxySSL() = v;
  return 0;
}
std::string REST::ProxyUser() const { return std::string(client_->ProxyUser()); }
int REST::SetProxyUser(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->SetProxyUser(v));
}

bool REST::FirewallAutoDetect() const { return client_->Firewall().AutoDetect(); }
int REST::SetFirewallAutoDetect(bool v) { client_->Firewall().SetAutoDetect(v); return 0; }
FirewallTypes REST::FirewallType() const { return static_cast<FirewallTypes>(client_->Firewall().Type()); }
int REST::SetFirewallType(FirewallTypes v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->Firewall().SetType(v);
  return 0;
}
std::string REST::FirewallHost() const { return client_->Firewall().HostText(); }
int REST::SetFirewallHost(std::string_view v) {
  client_->ClearError();
  return CORVANE_RESULT(client_->Firewall().SetHost(v));
}
std::string REST::FirewallPassword() const { return client_->Firewall().Password(); }
int REST::SetFirewallPassword(std::string_view v) { client_->Firewall().SetPassword(v); return 0; }
int REST::FirewallPort() const { return client_->Firewall().Port(); }
int REST::SetFirewallPort(int v) { client_->Firewall().SetPort(v); return 0; }
std::string REST::FirewallUser() const { return client_->Firewall().User(); }
int REST::SetFirewallUser(std::string_view v) { client_->Firewall().SetUser(v); return 0; }

// --- certificates --------------------------------------------------------

namespace {
// A store, subject or certificate that did not load fails the setter with
// the selection's own message.
int CertResult(RestClient& client, int rc) {
  if (rc != 0) client.SetError(rc, client.ClientCertificates().FailureMessage());
  return rc;
}
}  // namespace


std::string REST::SSLAcceptServerCertEncoded() const { return client_->Certificates().acceptServerCertEncoded; }
int REST::SetSSLAcceptServerCertEncoded(std::string_view v) {
  client_->ClearError();
  int rc = CORVANE_RESULT(client_->SetSSLAcceptServerCertEncoded(v));
  if (rc == 0) client_->Certificates().acceptServerCertEncoded = v;
  return rc;
}
std::string REST::SSLCertEncoded() const { return client_->ClientCertificates().Encoded(); }
int REST::SetSSLCertEncoded(std::string_view v) { return CertResult(*client_, client_->ClientCertificates().SetEncoded(v)); }
std::string REST::SSLCertEncodedB() const { return client_->ClientCertificates().EncodedBytes(); }
std::string REST::SSLCertStore() const { return client_->ClientCertificates().Store(); }
int REST::SetSSLCertStore(std::string_view v) { return CertResult(*client_, client_->ClientCertificates().SetStore(v)); }
std::string REST::SSLCertStorePassword() const { return client_->ClientCertificates().Password(); }
int REST::SetSSLCertStorePassword(std::string_view v) { client_->ClientCertificates().SetPassword(v); return 0; }
CertStoreTypes REST::SSLCertStoreType() const {
  return static_cast<CertStoreTypes>(client_->ClientCertificates().StoreType());
}
int REST::SetSSLCertStoreType(CertStoreTypes v) {
  if (static_cast<unsigned>(v) >= 256) return client_->SetError(kErrEnumRange, "Value is out of range.");
  client_->ClientCertificates().SetStoreType(v);
  return 0;
}
std::string REST::SSLCertSubject() const { return client_->ClientCertificates().Subject(); }
int REST::SetSSLCertSubject(std::string_view v) { return CertResult(*client_, client_->ClientCertificates().SetSubject(v)); }
std::string REST::SSLServerCertEncoded() const { return client_->ServerCertificate().encoded; }
std::string REST::SSLServerAuthenticationCertEncodedB() const {
  return client_->ServerCertificate().encoded;
}
std::string REST::TransferTextB() const { return std::string(client_->TransferText()); }

// --- response ------------------------------------------------------------

std::string REST::StatusLine() const { return std::string(client_->StatusLine()); }
int REST::StatusCode() const {
  // "HTTP/x.y NNN reason": the three digits after the first space.
  std::string_view line = client_->StatusLine();
  size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 4 > line.size()) return 0;
  int code = 0;
  for (char c : line.substr(space + 1, 3)) {
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}
std::string REST::TransferredData() const { return std::string(client_->TransferredData()); }
std::string_view REST::TransferredDataView() const { return client_->TransferredData(); }
std::string REST::TransferredHeaders() const { return std::string(client_->TransferredHeaders()); }
int REST::ParsedHeaderCount() const { return client_->ParsedHeaderCount(); }

namespace {

// Index failures of the response and cookie lists.
constexpr int kErrHeaderIndex = 158;

}  // namespace

std::string REST::ParsedHeaderField(int i) const {
  lastGetCode_ = 0;
  if (i < 0 || i >= client_->ParsedHeaderCount()) {
    lastGetCode_ = client_->SetError(kErrHeaderIndex, "Invalid header index (out of range).");
    return {};
  }
  return client_->ParsedHeaders()[static_cast<size_t>(2 * i)];
}
std::string REST::ParsedHeaderValue(int i) const {
  lastGetCode_ = 0;
  if (i < 0 || i >= client_->ParsedHeaderCount()) {
    lastGetCode_ = client_->SetError(kErrHeaderIndex, "Invalid header index (out of range).");
    return {};
  }
  return client_->ParsedHeaders()[static_cast<size_t>(2 * i + 1)];
}

// --- cookies -------------------------------------------------------------

int REST::CookieCount() const { return client_->Cookies().Count(); }
int REST::SetCookieCount(int v) { client_->Cookies().SetCount(v); return 0; }

namespace {

// Runs read on cookie i, or records the index failure.
template <typename Read>
auto ReadCookie(RestClient& c, int i, int& code, Read read) -> decltype(read(c.Cookies().at(0))) {
  code = 0;
  if (!c.Cookies().ValidIndex(i)) {
    code = c.SetError(kErrCookieIndex, kCookieIndexMessage);
    return {};
  }
  return read(c.Cookies().at(i));
}

}  // namespace

std::string REST::CookieDomain(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.domain; });
}
std::string REST::CookieExpiration(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.expires; });
}
std::string REST::CookieName(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.name; });
}
std::string REST::CookiePath(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.path; });
}
bool REST::CookieSecure(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.secure; });
}
std::string REST::CookieValue(int i) const {
  return ReadCookie(*client_, i, lastGetCode_, [](const Cookie& c) { return c.value; });
}
int REST::SetCookieName(int i, std::string_view v) {
  if (!client_->Cookies().ValidIndex(i)) return client_->SetError(kErrCookieIndex, kCookieIndexMessage);
  client_->Cookies().SetName(i, v);
  return 0;
}
int REST::SetCookieValue(int i, std::string_view v) {
  if (!client_->Cookies().ValidIndex(i)) return client_->SetError(kErrCookieIndex, kCookieIndexMessage);
  client_->Cookies().SetValue(i, v);
  return 0;
}

// --- document cursor -----------------------------------------------------

namespace {

// Runs an indexed document read, keeping the document's message as the
// engine's last error when the index is refused.
template <typename Read>
std::string ReadIndexed(RestClient& c, int& code, Read read) {
  std::string out;
  code = read(c.Document(), out);
  if (code != 0) c.SetError(code, c.DocumentErrors().LastErrorText().view());
  return out;
}

}  // namespace

int REST::NamespaceCount() const { return client_->Document().NamespaceCount(); }
std::string REST::NamespacePrefix(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.NamespacePrefix(i, o); });
}
std::string REST::NamespaceURI(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.NamespaceURI(i, o); });
}
int REST::AttrCount() const { return client_->Document().AttrCount(); }
std::string REST::AttrName(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.AttrName(i, o); });
}
std::string REST::AttrNamespace(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.AttrNamespace(i, o); });
}
std::string REST::AttrPrefix(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.AttrPrefix(i, o); });
}
std::string REST::AttrValue(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.AttrValue(i, o); });
}
int REST::XChildCount() const { return client_->Document().XChildCount(); }
std::string REST::XChildName(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.XChildName(i, o); });
}
std::string REST::XChildNamespace(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.XChildNamespace(i, o); });
}
std::string REST::XChildPrefix(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.XChildPrefix(i, o); });
}
std::string REST::XChildXText(int i) const {
  return ReadIndexed(*client_, lastGetCode_, [i](DocumentNavigator& d, std::string& o) { return d.XChildXText(i, o); });
}
std::string REST::XElement() const { return client_->Document().XElement(); }
std::string REST::XErrorPath() const { return client_->XErrorPath(); }
int REST::SetXErrorPath(std::string_view v) { client_->XErrorPath() = v; return 0; }
std::string REST::XNamespace() const { return client_->Document().XNamespace(); }
std::string REST::XParent() const { return client_->Document().XParent(); }
std::string REST::XPath() const { return client_->Document().GetXPath(); }
int REST::SetXPath(std::string_view v) {
  client_->ClearError();
  int rc = client_->Document().SetXPath(v);
  if (rc != 0) client_->SetError(rc, client_->DocumentErrors().LastErrorText().view());
  return rc;
}
std::string REST::XPrefix() const { return client_->Document().XPrefix(); }
std::string REST::XSubTree() const { return client_->Document().XSubTree(); }
std::string REST::XText() const { return client_->Document().XText(); }
std::string REST::XTextDecoded() const { return client_->Document().XTextDecoded(); }

}  // namespace corvane
