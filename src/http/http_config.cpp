// The configuration keys of the HTTP client, in the order they are tested.
// Unknown keys go on to the transfer layer and from there down the chain.
#include "core/config_item.h"
#include "http/http_client.h"

namespace corvane {

using namespace http;

namespace {

int ConfigBool01(const ConfigItem& item, ByteBuffer& result, bool& field) {
  if (item.isQuery) return AnswerInt(result, field ? 1 : 0);
  field = item.Bool();
  return 0;
}

}  // namespace

int HttpClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.isQuery) {
    if (item.Is("TransferredData")) return AnswerText(result, memory_.Data().view());
    if (item.Is("TransferredHeaders")) return AnswerText(result, transferredHeaders_.view());
    if (item.Is("StatusLine")) return AnswerText(result, statusLine_);
  }
  if (item.Is("TransferredRequest")) {
    if (item.isQuery) return AnswerText(result, transferredRequest_);
    recordRequest_ = EqualsNoCase(item.Text(), "on");
    return 0;
  }
  if (item.Is("SentHeaders") && item.isQuery) return AnswerText(result, sentHeaders_);
  if (item.Is("HTTPVersion")) {
    if (item.isQuery) return AnswerText(result, httpVersion_);
    return SetHTTPVersion(item.Text());
  }
  if (item.Is("UserAgent")) {
    int rc = ConfigText(item, result, headers_.userAgent);
    if (!item.isQuery) Firewall().SetUserAgent(headers_.userAgent);
    return rc;
  }
  if (item.Is("MaxTransferredData") || item.Is("TransferredDataLimit")) {
    if (item.isQuery) return AnswerInt(result, static_cast<int32_t>(memory_.Limit() & 0xFFFFFFFF));
    memory_.Limit() = item.Int();
    return 0;
  }
  if (item.Is("KeepAlive")) return ConfigBool(item, result, headers_.keepAlive);
  if (item.Is("Authorization")) {
    if (item.isQuery) return AnswerText(result, auth_.authorization.view());
    SetAuthorization(item.Text());
    return 0;
  }
  if (item.Is("AcceptEncoding")) return ConfigText(item, result, headers_.acceptEncoding);
  if (item.Is("AllowHTTPCompression")) return ConfigBool01(item, result, headers_.allowHttpCompression);
  if (item.Is("ProxyAuthScheme")) {
    if (item.isQuery) return AnswerInt(result, auth_.proxyAuthScheme);
    SetProxyAuthScheme(static_cast<int>(item.Int()));
    return 0;
  }
  if (item.Is("ProxyServer")) return ConfigText(item, result, proxyServer_);
  if (item.Is("ProxyPort")) return ConfigInt(item, result, proxyPort_);
  if (item.Is("ProxyUser")) {
    if (item.isQuery) return AnswerText(result, auth_.proxyUser.view());
    return SetProxyUser(item.Text());
  }
  if (item.Is("ProxyPassword")) {
    if (item.isQuery) return AnswerText(result, auth_.proxyPassword.view());
    return SetProxyPassword(item.Text());
  }
  if (item.Is("ProxyAuthorization")) {
    if (item.isQuery) return AnswerText(result, auth_.proxyAuthorization.view());
    return SetProxyAuthorization(item.Text());
  }
  if (item.Is("IfModifiedSince")) return ConfigText(item, result, headers_.ifModifiedSince);
  if (item.Is("EncodeURL")) return ConfigBool(item, result, encodeURL_);
  if (item.Is("EncodeQueryString")) return ConfigBool(item, result, encodeQueryString_);
  if (item.Is("EncodeRedirectLocation")) return ConfigBool(item, result, encodeRedirectLocation_);
  if (item.Is("Append")) return ConfigBool(item, result, file_.Append());
  if (item.Is("CreateLocalFileAttributes")) return ConfigInt(item, result, file_.Attributes());
  if (item.Is("SingleLineMode")) return ConfigBool01(item, result, singleLineMode_);
  if (item.Is("LocalFile")) return ConfigText(item, result, file_.Path());
  if (item.Is("GetOn302Redirect")) return ConfigBool01(item, result, getOn302Redirect_);
  if (item.Is("AbsoluteURI")) return ConfigBool(item, result, headers_.absoluteURI);
  if (item.Is("DebugTrace")) return ConfigBool(item, result, debugTrace_);
  if (item.Is("DontClearCookiesOnUrlChange")) return ConfigBool(item, result, dontClearCookiesOnUrlChange_);
  if (item.Is("StrictMode")) {
    if (item.isQuery) return AnswerBool(result, strictMode_);
    SetStrictMode(item.Bool());
    return 0;
  }
  if (item.Is("UsePlatformHTTPClient")) return ConfigBool(item, result, usePlatformHttpClient_);
  if (item.Is("FollowRedirects")) return ConfigInt(item, result, followRedirects_);
  if (item.Is("HttpCookies")) return ConfigText(item, result, httpCookies_);
  if (item.Is("MaxRedirectAttempts")) {
    if (item.isQuery) return AnswerInt(result, maxRedirects_);
    SetMaxRedirectAttempts(static_cast<int>(item.Int()));
    return 0;
  }
  if (item.Is("BytesTransferred") && item.isQuery) return AnswerInt(result, bytesTransferred_);
  if (item.Is("UseChunkedEncoding")) return ConfigBool(item, result, headers_.useChunkedEncoding);
  if (item.Is("ChunkSize")) return ConfigInt(item, result, chunkSize_);
  if (item.Is("PostDataAfterNegotiate")) return ConfigBool(item, result, postDataAfterNegotiate_);
  if (item.Is("AllowIdenticalRedirectURL")) return ConfigBool(item, result, allowIdenticalRedirectURL_);
  if (item.Is("OtherHeaders")) return ConfigText(item, result, headers_.otherHeaders);
  if (item.Is("KerberosToken") && !item.isQuery) {
    SetKerberosToken(item.Text());
    return 0;
  }
  if (item.Is("UseWinInet")) return ConfigBool(item, result, useWinInet_);
  if (item.Is("UseWinInetCookies")) return ConfigBool(item, result, useWinInetCookies_);
  if (item.Is("ReadContentLength")) return ConfigBool(item, result, readContentLength_);
  if (item.Is("Loglevel")) {
    if (item.isQuery) return AnswerInt(result, LogLevel());
    SetLogLevel(static_cast<int>(item.Int()));
    return 0;
  }
  if (item.Is("NegotiatedHTTPVersion") && item.isQuery) return AnswerText(result, negotiatedVersion_);
  if (item.Is("AllowHTTPFallback")) return ConfigBool(item, result, allowHttpFallback_);

  int rc = TransferClient::HandleConfig(item, result);
  if (rc == 0 && !item.isQuery && item.Is("MaxLineLength")) {
    reader_.SetMaxLineLength(static_cast<size_t>(GetMaxLineLength()));
  }
  return rc;
}

}  // namespace corvane
