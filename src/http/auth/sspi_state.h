#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/byte_buffer.h"
#include "http/auth/auth_state.h"

namespace corvane::auth {

// Largest token a security package may hand out for one header.
inline constexpr size_t kMaxSspiToken = 4096;

// What one context-initialisation call yields, from its status and the
// length of its output token.
enum class InitResult {
  failed,    // the status is a failure
  token,     // complete or continue-needed with 1-4096 bytes: send them
  noToken,   // success without anything to send
  tooLarge,  // more than kMaxSspiToken bytes (883)
};
InitResult ClassifyInitResult(bool failed, bool completeOrContinue, size_t length) noexcept;

// The client side of the system's security packages, through GSSAPI (MIT
// krb5): "Negotiate" is the SPNEGO mechanism, "Kerberos" the Kerberos 5
// mechanism, "NTLM" the NTLMSSP mechanism when one is installed. One per
// exchange direction of an HTTP client; the CONNECT tunnel holds its own.
//
// Credentials come from the user name (DOMAIN\user or user@REALM) and the
// password, acquired with the password, or, when both are empty, from the
// default credential cache. Negotiate and Kerberos ask for mutual
// authentication, so the server's final token is checked by SspiNextToken.
//
// Every call returns 0 or a code with the message in ErrorText(): 270 the
// package is not available; 880 credentials; 881 a server token or the
// channel bindings; 882 the first token; 883 a token above 4096 bytes.
class SspiState final : public SystemTokenProvider {
 public:
  SspiState();
  ~SspiState() override;
  SspiState(const SspiState&) = delete;
  SspiState& operator=(const SspiState&) = delete;

  // Stores the package, splits the user name, drops the held context and
  // credentials, and acquires new credentials for outbound use.
  int StartSspi(std::string_view package, std::string_view userName, std::string_view password);
  // The first token for the target: a service principal ("HTTP/host", or a
  // full principal name) for Negotiate and Kerberos, the host for NTLM.
  // Appended to token; nothing is appended when the package has nothing to
  // send.
  int SspiFirstToken(std::string_view target, ByteBuffer& token);
  // The answer to a server token (binary). With bindChannel the exchange is
  // bound to the TLS channel through channelBindings.
  int SspiNextToken(std::string_view target, std::string_view serverToken, bool bindChannel,
                    std::string_view channelBindings, ByteBuffer& token);
  // True once the package reported the context complete.
  bool ContextComplete() const noexcept { return complete_; }

  // SystemTokenProvider
  bool HasPackage(std::string_view package) const override;
  int Start(std::string_view package, std::string_view userName, std::string_view password) override {
    return StartSspi(package, userName, password);
  }
  int FirstToken(std::string_view target, ByteBuffer& token) override { return SspiFirstToken(target, token); }
  int NextToken(std::string_view target, std::string_view serverToken, bool bindChannel,
                std::string_view channelBindings, ByteBuffer& token) override {
    return SspiNextToken(target, serverToken, bindChannel, channelBindings, token);
  }
  bool ExchangeOpen() const override;
  void Reset() override;
  std::string_view ErrorText() const override { return errorText_.view(); }

 private:
  struct Handles;
  int Initialize(std::string_view target, std::string_view input, bool bindChannel,
                 std::string_view channelBindings, bool first, ByteBuffer& token);

  std::unique_ptr<Handles> handles_;
  ByteBuffer21 package_;
  ByteBuffer user_;
  ByteBuffer domain_;
  bool complete_ = false;
  ByteBuffer errorText_;
};

// True when the system's GSSAPI offers the package's mechanism.
bool SystemHasPackage(std::string_view package);

}  // namespace corvane::auth
