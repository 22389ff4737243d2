#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/file_ops.h"
#include "http/auth/auth_state.h"
#include "http/auth/sspi_state.h"
#include "http/body_writers.h"
#include "http/content_decoder.h"
#include "http/cookie_list.h"
#include "http/http_enums.h"
#include "http/http_errors.h"
#include "http/platform_hand_over.h"
#include "http/platform_transport.h"
#include "http/request_writer.h"
#include "http/response_reader.h"
#include "http/transfer_client.h"
#include "http/tunnel_authenticator.h"
#include "http/url.h"

namespace corvane {

class Http2Bridge;

// The HTTP/1.x client: request composition, the response reader, body
// decoding and delivery, and the transaction driver with redirects and
// authentication retries. RestClient derives from it and overrides the
// event operations (Fire*) to forward them to its listener; without an
// override they go to the EventSink, and cost nothing when there is none.
//
// Authentication (Basic, Digest, NTLM, Negotiate) lives in the one
// auth::AuthState the client owns: credentials, schemes, both header values,
// the stored challenges and the retry counters. The setters below go through
// the auth layer's setters so that a value is rebuilt as soon as it changes.
//
// The client also owns the cookie list (Set-Cookie answers are stored and
// every stored cookie goes out with each request) and, from its first
// request with HTTPVersion "2.0", the Http2Bridge that runs such requests on
// its connection.
class HttpClient : public TransferClient,
                   private http::ResponseHandler,
                   private http::BodyOutput {
 public:
  HttpClient();
  ~HttpClient() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // --- requests -----------------------------------------------------------
  // Sets the request target; isRedirect for a Location value. 0 or a code.
  int SetURL(std::string_view url, bool isRedirect = false);
  const std::string& URL() const noexcept { return target_.url; }
  const http::RequestTarget& Target() const noexcept { return target_; }
  // "1.0", "1.1" or "2.0"; 202 otherwise.
  int SetHTTPVersion(std::string_view version);
  const std::string& HTTPVersion() const noexcept { return httpVersion_; }
  const std::string& NegotiatedHTTPVersion() const noexcept { return negotiatedVersion_; }
  // The one entry for running (1 GET, 2 POST, 3 HEAD, 5 PUT, 6 DELETE),
  // resetting (4) and interrupting (0) requests.
  int Action(int code);
  bool Busy() const noexcept { return currentAction_ != 0; }
  // A request runs, its answer is being parsed, or the platform backend's
  // worker has not ended: Action refuses all but Interrupt (143).
  bool RefusesActions() const noexcept {
    return currentAction_ != 0 || answerInUse_ || platformWorker_.joinable();
  }
  void Interrupt() override;

  // Request settings read and written by the properties and Config.
  http::RequestHeaders& Headers() noexcept { return headers_; }
  const http::RequestHeaders& Headers() const noexcept { return headers_; }
  std::string& PostData() noexcept { return postData_; }
  std::string& AttachedFile() noexcept { return attachedFile_; }
  std::string& LocalFile() noexcept { return file_.Path(); }
  // Credentials and header values are read from the AuthState; the setters
  // rebuild Authorization / ProxyAuthorization at once (0 or a code).
  std::string_view User() const noexcept { return auth_.user.view(); }
  std::string_view Password() const noexcept { return auth_.password.view(); }
  int SetUser(std::string_view user);
  int SetPassword(std::string_view password);
  // Takes the HTTP proxy (and the SOCKS firewall) from the system proxy
  // settings for the URL's scheme; off clears what was detected. Always 0.
  int SetProxyAutoDetect(bool on);
  bool ProxyAutoDetect() const noexcept { return proxyAutoDetect_; }
  // The proxy the next request uses: the detected one under ProxyAutoDetect,
  // else ProxyServer (empty = none).
  const std::string& ActiveProxy() const noexcept;
  int ActiveProxyPort() const noexcept;
  std::string& ProxyServer() noexcept { return proxyServer_; }
  int& ProxyPort() noexcept { return proxyPort_; }
  int& ProxySSL() noexcept { return proxySSL_; }
  std::string_view ProxyUser() const noexcept { return auth_.proxyUser.view(); }
  std::string_view ProxyPassword() const noexcept { return auth_.proxyPassword.view(); }
  int SetProxyUser(std::string_view user);
  int SetProxyPassword(std::string_view password);
  int AuthScheme() const noexcept { return auth_.authScheme; }
  int ProxyAuthScheme() const noexcept { return auth_.proxyAuthScheme; }
  void SetAuthScheme(int scheme);
  void SetProxyAuthScheme(int scheme);
  std::string_view Authorization() const noexcept { return auth_.authorization.view(); }
  void SetAuthorization(std::string_view value);
  int SetProxyAuthorization(std::string_view value);
  // A ready Negotiate token from the caller (the KerberosToken setting).
  void SetKerberosToken(std::string_view token);
  int FollowRedirects() const noexcept { return followRedirects_; }
  void SetFollowRedirects(int policy) noexcept { followRedirects_ = policy; }
  void SetMaxRedirectAttempts(int n) noexcept { maxRedirects_ = redirectsLeft_ = n; }
  void SetKeepAlive(bool on) noexcept { headers_.keepAlive = on; }
  int64_t TransferredDataLimit() const noexcept { return memory_.Limit(); }
  void SetTransferredDataLimit(int64_t limit) noexcept { memory_.Limit() = limit; }

  // The platform HTTP library that UseWinInet hands requests to; without one
  // such requests fail (12004).
  void SetPlatformTransportFactory(http::PlatformTransportFactory factory) noexcept;
  bool UseWinInet() const noexcept { return useWinInet_; }

  // --- cookies ------------------------------------------------------------
  CookieList& Cookies() noexcept { return cookies_; }
  bool StrictMode() const noexcept { return strictMode_; }
  void SetStrictMode(bool on) noexcept;
  // In strict mode, the largest response body taken, on the wire and after
  // content decoding (a decompression bomb ends here too).
  static constexpr int64_t kStrictBodyLimit = int64_t{100} << 20;
  // A cookie of the caller's, kept across host changes.
  void AddCookie(std::string_view name, std::string_view value);

  // --- response -----------------------------------------------------------
  int StatusCode() const noexcept { return reader_.statusCode(); }
  std::string_view StatusLine() const noexcept { return statusLine_; }
  std::string_view TransferredData() const noexcept { return memory_.Data().view(); }
  ByteBuffer& TransferredDataBuffer() noexcept { return memory_.Data(); }
  std::string_view TransferredHeaders() const noexcept { return transferredHeaders_.view(); }
  std::string_view ResponseContentType() const noexcept { return responseContentType_; }
  int64_t BytesTransferred() const noexcept { return bytesTransferred_; }
  // Field name and value alternately.
  const std::vector<std::string>& ParsedHeaders() const noexcept { return parsedHeaders_; }
  int ParsedHeaderCount() const noexcept { return static_cast<int>(parsedHeaders_.size() / 2); }
  const std::string& SentHeaders() const noexcept { return sentHeaders_; }
  const std::string& TransferredRequest() const noexcept { return transferredRequest_; }

  // --- event operations ----------------------------------------------------
  virtual void FireHeader(std::string_view field, std::string_view value);
  virtual void FireStatus(std::string_view version, int code, std::string_view description);
  // Returns the listener's answer.
  virtual bool FireRedirect(std::string_view location, bool accept);
  virtual void FireStartTransfer(int direction);
  virtual void FireTransfer(int direction, int64_t bytes, int percent, std::string_view text);
  virtual void FireEndTransfer(int direction);
  virtual void FireSetCookie(const Cookie& cookie);
  // True when FireTransfer's text is looked at; false lets the engine skip
  // preparing it. RestClient answers true when it has a listener.
  virtual bool WantsTransferEvents() const { return EventSink() != nullptr; }

 protected:
  // --- authentication hooks -------------------------------------------------
  // Recompute Authorization / ProxyAuthorization; answer = reply to a 401/407
  // (and log the value). 0, or a code with the component's error set.
  virtual int BuildAuthorization(bool answer);
  virtual int BuildProxyAuthorization(bool answer);
  // A new URL: the stored NTLM / Negotiate tokens of the last exchange no
  // longer apply (Digest records stay, so their nonce counts go on).
  virtual void ResetAuthState();
  // True while a handshake leg is pending for which PostDataAfterNegotiate
  // sends an empty body.
  virtual bool HandshakeFirstLeg() const;
  // What the builders need to know about the request being prepared.
  auth::AuthRequest AuthRequestNow() const;
  // Sends the builders' lines to Log at progress level, type "Info".
  auth::AuthLogFn AuthLogger();
  bool DigestValueStale(const auth::DigestChallenge& record, std::string_view method) const;
  int RefreshDigestForRequest(std::string_view verb);

  // The Cookie header value for this request: the one-shot HttpCookies text
  // (consumed) when there is one, else every stored cookie.
  void CookieHeader(std::string& out);
  // The current target as a cookie origin; hostLower holds the host text.
  CookieOrigin CurrentCookieOrigin(std::string& hostLower) const;
  int OnSetCookieHeader(std::string_view value);

  // Entry points of the HTTP/2 bridge: start a response (as
  // ConnectForRequest does), then one Http2HeaderPair per field (":status"
  // included), Http2EndOfHeaders, DeliverBody per DATA payload, and
  // Http2EndOfStream.
  void BeginHttp2Response(std::string_view verb);
  int Http2HeaderPair(std::string_view name, std::string_view value);
  int Http2EndOfHeaders(bool endStream);
  void Http2EndOfStream();
  int ProcessHeader(std::string_view field, std::string_view value);
  int DeliverBody(const char* data, size_t length);
  void CompleteResponse();
  bool ResponseDone() const noexcept { return responseDone_; }
  // While set, a request (one started from a handler of the answer's parse)
  // fails with 143 as during the transfer: a parser is reading
  // TransferredData.
  void SetAnswerInUse(bool on) noexcept { answerInUse_ = on; }
  bool AnswerInUse() const noexcept { return answerInUse_; }

  // The platform backend's reports arrive as a posted message.
  intptr_t HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  // Channel events.
  void DataIn(const char* data, int length, bool isLine) override;
  void OnDisconnected(int code) override;
  int OnSendProgress(int64_t bytesSent) override;
  // Receives a plain identity body straight into TransferredData.
  int DoRead(int mode) override;

 private:
  friend class Http2Bridge;

  // --- the platform backend (UseWinInet) ---------------------------------
  bool IsPlatformAction(int code) const noexcept;
  int RunPlatformTransaction();
  int BuildPlatformRequest(std::string_view verb, http::PlatformRequest& request);
  // Cancels a worker that still runs and waits for its end.
  void EndPlatformWorker();
  // Each answers false when the transaction has to end (its error is set).
  bool ApplyPlatformEvent(const http::PlatformEvent& event);
  bool ApplyPlatformHeaderLine(std::string_view line);
  bool ApplyPlatformBody(std::string_view data);

  // Runs the request over HTTP/2; returns false (with *result untouched)
  // when the server did not select "h2".
  bool RunHttp2(std::string_view verb, bool hasBody, int* result);

  // ResponseHandler
  int OnStatusLine(bool interim) override;
  int OnHeaderLine(std::string_view line, std::string_view field, std::string_view value) override;
  int OnHeadComplete(bool hasBody) override;
  // Reserves the memory store for a body of the announced length (-1: none).
  void SizeBodyStore(int64_t length);
  int OnBodyData(const char* data, size_t length) override;
  int OnResponseComplete() override;
  // BodyOutput: decoded body bytes.
  int Write(const char* data, size_t length) override;
  // Logs and reports body bytes that were stored (Transfer, direction 1).
  void ReportBody(const char* data, size_t length);
  bool DirectBodyPossible();
  bool DirectBodyAllowed();
  int DirectBodyRead();
  // HTTP/2 over TLS: records decrypted straight into one reused block and
  // handed to the exchange, past the line buffers.
  bool Http2DirectPossible();
  int Http2DirectRead();

  // --- the transaction driver -------------------------------------------
  // The states of one round of a request; RunTransaction moves between them
  // and the Do methods each run one and name the next.
  enum class TxState {
    start,          // a round begins: deadline, response state, reuse check
    prepare,        // version and Digest checks; HTTP/2 or HTTP/1.x
    http2,          // the whole exchange over HTTP/2 (or the fallback)
    sendHeaders,    // connect, then the request head
    sendBody,       // PostData, then AttachedFile
    awaitResponse,  // the event loop until the response is complete
    resendCheck,    // a kept connection closed under the request: once more
    evaluate,       // the status: success, failure or a follow-up round
    authRetry,      // a challenge was answered: the same request again
    redirect,       // Location is followed
    reset,          // actReset
    done,
  };
  struct Transaction {
    TxState state = TxState::done;
    int action = 0;       // the action code of the current round
    int rounds = 0;       // rounds begun (each opened a socket operation)
    int attempt = 0;      // sends of this round (a stale connection: 2)
    std::string_view verb;
    bool hasBody = false;
    std::string statusMessage;  // the status failure text of the last round
  };
  int RunTransaction();
  int DoStart();
  int DoPrepare();
  int DoHttp2();
  int DoSendHeaders();
  int DoSendBody();
  int DoAwaitResponse();
  int DoResendCheck(int rc);
  int DoEvaluate(int waitResult);
  int DoAuthRetry();
  int DoRedirect();
  // Schedules a round with action code (0: an interruption left none).
  int NextRound(int code);

  // Refuses (155) a request any of whose values would break its framing,
  // before a connection or tunnel is opened for it; 0 when all are safe.
  int CheckRequestValues(std::string_view verb, bool withBody);
  int ConnectForRequest(std::string_view verb);
  int SendRequest(std::string_view verb, bool withBody);
  int SendBody();
  int SendBlock(const char* data, size_t length, bool chunked);
  int WaitForResponse();
  int EvaluateStatusEarly();
  void ResetAll();
  void ResetResponse();
  void CloseConnection();
  void DrainPending(int rounds);
  void LogRequestSummary(std::string_view verb);
  int FailWith(http::HttpError e, std::string_view argument = {});
  bool UsingProxy() const;
  void LookUpSystemProxy();
  // Sets the CONNECT tunnel of type toward the active proxy for the next
  // connection, or (fwNone) lets the caller's own firewall settings apply.
  int SetTunnel(int type);

  // Request state.
  http::RequestTarget target_;
  http::RequestHeaders headers_;
  std::string httpVersion_ = "1.1";
  std::string negotiatedVersion_ = "1.1";
  std::string postData_;
  std::string attachedFile_;
  std::string httpCookies_;
  CookieList cookies_;
  std::string verb_;
  int64_t contentLength_ = 0;
  bool emptyBodyForHandshake_ = false;
  bool encodeURL_ = false;
  bool encodeQueryString_ = true;
  bool encodeRedirectLocation_ = false;
  int chunkSize_ = 16384;
  bool postDataAfterNegotiate_ = true;
  bool recordRequest_ = false;
  bool debugTrace_ = false;
  std::string sentHeaders_;
  std::string transferredRequest_;
  std::string requestHead_;

  // Proxy.
  std::string proxyServer_;
  int proxyPort_ = 80;
  int proxySSL_ = http::psAutomatic;
  bool proxyAutoDetect_ = false;
  std::string detectedProxy_;
  int detectedProxyPort_ = 0;
  bool proxyBypassed_ = false;  // this request goes direct (system exception list)
  http::HttpTunnelAuthenticator tunnelAuth_;

  // The system security package's exchanges (Negotiate, and NTLM under
  // UseSystemSSPI), one towards the server and one towards the proxy.
  auth::SspiState sspi_;
  auth::SspiState proxySspi_;
  // Authentication: the single owner of credentials, schemes and values.
  auth::AuthState auth_;

  // Driver.
  Transaction tx_;
  int currentAction_ = 0;
  bool answerInUse_ = false;
  bool interruptRequested_ = false;
  int followRedirects_ = http::frNever;
  int maxRedirects_ = 20;
  int redirectsLeft_ = 20;
  bool getOn302Redirect_ = false;
  bool allowIdenticalRedirectURL_ = false;
  bool allowHttpFallback_ = true;
  bool useWinInet_ = false;
  bool useWinInetCookies_ = true;
  bool readContentLength_ = false;
  bool usePlatformHttpClient_ = false;
  bool dontClearCookiesOnUrlChange_ = false;
  // StrictMode (docs/strict-mode.md): RFC 6265 cookies, no credentials
  // after a redirect leaves the origin, strict response framing, a body limit.
  bool strictMode_ = false;
  // Set when a redirect of the running chain changed scheme, host or port;
  // cleared by the caller's next URL.
  bool crossOriginRedirect_ = false;
  int64_t decodedBytes_ = 0;
  bool singleLineMode_ = true;
  bool sendingBody_ = false;
  bool reusedConnection_ = false;
  uint64_t connectionSerial_ = 0;  // counts the connections made for requests
  bool closingOnPurpose_ = false;
  bool directBodyPaused_ = false;
  std::unique_ptr<Http2Bridge> http2_;
  std::unique_ptr<char[]> http2Block_;  // Http2DirectRead's plaintext

  // Response.
  http::ResponseReader reader_;
  http::ContentDecoder decoder_;
  std::string statusLine_;
  ByteBuffer transferredHeaders_;
  std::vector<std::string> parsedHeaders_;
  std::string lastHeaderField_;
  std::string responseContentType_;
  std::string redirectLocation_;
  int64_t http2Announced_ = -1;    // content-length of an HTTP/2 response, or -1
  http::MemoryBodyWriter memory_;  // TransferredData
  int64_t bytesTransferred_ = 0;
  bool responseDone_ = false;
  bool endTransferFired_ = false;
  bool serverClosesConnection_ = false;
  int responseError_ = 0;
  bool allowHttpCompression_ = false;

  http::FileBodyWriter file_;  // LocalFile

  // Platform backend: the library's worker and what it reported.
  http::PlatformTransportFactory platformFactory_ = nullptr;
  std::unique_ptr<http::PlatformTransport> platform_;
  http::PlatformHandOver handOver_;
  std::thread platformWorker_;
  int64_t platformLength_ = -1;  // Content-Length of the response, -1 unknown
  int platformFailure_ = 0;      // the caller's own failure that ended it
};

}  // namespace corvane
