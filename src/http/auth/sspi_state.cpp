#include "http/auth/sspi_state.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/zero_memory.h"
#include "http/auth/auth_errors.h"
#include "http/auth/gss_handles.h"
#include "http/auth/ntlm_message.h"
#include "http/auth/text_builder.h"

namespace corvane::auth {

namespace {

// Mechanism identifiers in DER content form.
unsigned char kSpnegoOidBytes[] = {0x2b, 0x06, 0x01, 0x05, 0x05, 0x02};  // 1.3.6.1.5.5.2
unsigned char kKerberosOidBytes[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x12, 0x01, 0x02, 0x02};  // 1.2.840.113554.1.2.2
unsigned char kNtlmOidBytes[] = {0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x02, 0x0a};  // 1.3.6.1.4.1.311.2.2.10
gss_OID_desc kSpnegoOid = {sizeof kSpnegoOidBytes, kSpnegoOidBytes};
gss_OID_desc kKerberosOid = {sizeof kKerberosOidBytes, kKerberosOidBytes};
gss_OID_desc kNtlmOid = {sizeof kNtlmOidBytes, kNtlmOidBytes};

enum class Package { negotiate, kerberos, ntlm, unknown };

Package PackageOf(std::string_view name) noexcept {
  if (name == "Negotiate") return Package::negotiate;
  if (name == "Kerberos") return Package::kerberos;
  if (name == "NTLM") return Package::ntlm;
  return Package::unknown;
}

gss_OID MechanismOf(Package package) noexcept {
  switch (package) {
    case Package::negotiate: return &kSpnegoOid;
    case Package::kerberos: return &kKerberosOid;
    case Package::ntlm: return &kNtlmOid;
    case Package::unknown: return GSS_C_NO_OID;
  }
  return GSS_C_NO_OID;
}

bool SameOid(const gss_OID_desc& a, const gss_OID_desc& b) noexcept {
  return a.length == b.length && std::memcmp(a.elements, b.elements, a.length) == 0;
}

// The mechanisms the system offers, asked once: the list only changes when
// packages are installed.
struct SystemMechanisms {
  bool spnego = false;
  bool kerberos = false;
  bool ntlm = false;
};

const SystemMechanisms& Mechanisms() {
  static const SystemMechanisms mechs = [] {
    SystemMechanisms m;
    OM_uint32 minor = 0;
    gss::OidSet set;
    if (GSS_ERROR(gss_indicate_mechs(&minor, set.out()))) return m;
    for (size_t i = 0; set.get() != GSS_C_NO_OID_SET && i < set.get()->count; ++i) {
      const gss_OID_desc& oid = set.get()->elements[i];
      m.spnego = m.spnego || SameOid(oid, kSpnegoOid);
      m.kerberos = m.kerberos || SameOid(oid, kKerberosOid);
      m.ntlm = m.ntlm || SameOid(oid, kNtlmOid);
    }
    return m;
  }();
  return mechs;
}

// The package's description of a status: the routine error, then the
// mechanism's own detail; at most 1024 characters without trailing white
// space, "Unknown error." when there is none.
std::string StatusText(OM_uint32 major, OM_uint32 minor) {
  std::string text;
  auto append = [&text](OM_uint32 code, int type) {
    OM_uint32 context = 0;
    do {
      OM_uint32 displayMinor = 0;
      gss::Buffer message;
      if (GSS_ERROR(gss_display_status(&displayMinor, code, type, GSS_C_NO_OID, &context, message.out()))) break;
      // Some mechanisms count a terminating NUL in the length.
      size_t length = strnlen(message.data(), message.size());
      if (length == 0) continue;
      if (!text.empty()) text += ": ";
      text.append(message.data(), length);
    } while (context != 0);
  };
  if (GSS_ROUTINE_ERROR(major) != 0 || GSS_CALLING_ERROR(major) != 0) append(major, GSS_C_GSS_CODE);
  if (minor != 0) append(minor, GSS_C_MECH_CODE);
  if (text.size() > 1024) text.resize(1024);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.pop_back();
  }
  if (text.empty()) text = "Unknown error.";
  return text;
}

}  // namespace

struct SspiState::Handles {
  gss::Credential credentials;
  gss::Context context;
  gss_OID mechanism = GSS_C_NO_OID;
};

InitResult ClassifyInitResult(bool failed, bool completeOrContinue, size_t length) noexcept {
  if (failed) return InitResult::failed;
  if (!completeOrContinue || length == 0) return InitResult::noToken;
  return length > kMaxSspiToken ? InitResult::tooLarge : InitResult::token;
}

bool SystemHasPackage(std::string_view package) {
  switch (PackageOf(package)) {
    case Package::negotiate: return Mechanisms().spnego;
    case Package::kerberos: return Mechanisms().kerberos;
    case Package::ntlm: return Mechanisms().ntlm;
    case Package::unknown: return false;
  }
  return false;
}

SspiState::SspiState() : handles_(std::make_unique<Handles>()) {}

SspiState::~SspiState() { Reset(); }

bool SspiState::HasPackage(std::string_view package) const { return SystemHasPackage(package); }

bool SspiState::ExchangeOpen() const { return handles_->context.get() != GSS_C_NO_CONTEXT && !complete_; }

void SspiState::Reset() {
  handles_->context.Release();
  handles_->credentials.Release();
  complete_ = false;
}

namespace {

int Fail(ByteBuffer& errorText, AuthError error, OM_uint32 major, OM_uint32 minor) {
  char status[16];
  std::snprintf(status, sizeof status, "0x%x", static_cast<unsigned>(major));
  errorText.Clear();
  TextBuilder(errorText) << AuthErrorText(error) << " (" << status << "): " << StatusText(major, minor);
  return AuthErrorCode(error);
}

}  // namespace

int SspiState::StartSspi(std::string_view package, std::string_view userName, std::string_view password) {
  AssignText(package_, package);
  UserNameParts parts = SplitUserName(userName);
  AssignText(user_, parts.user);
  AssignText(domain_, parts.domain);
  Reset();
  errorText_.Clear();

  Package which = PackageOf(package);
  if (!SystemHasPackage(package)) {
    AssignText(errorText_, AuthErrorText(AuthError::SspiLibrary));
    return AuthErrorCode(AuthError::SspiLibrary);
  }
  handles_->mechanism = MechanismOf(which);
  gss_OID_set_desc mechs = {1, handles_->mechanism};
  OM_uint32 minor = 0;
  OM_uint32 major = 0;
  if (userName.empty() && password.empty()) {
    // No identity: the package uses the default credential cache.
    major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs, GSS_C_INITIATE,
                             handles_->credentials.out(), nullptr, nullptr);
    if (GSS_ERROR(major)) return Fail(errorText_, AuthError::SspiCredentials, major, minor);
    return 0;
  }
  // NTLM names a user as DOMAIN\user, Kerberos as user@REALM.
  std::string principal(parts.user);
  if (!parts.domain.empty()) {
    principal = which == Package::ntlm ? std::string(parts.domain) + "\\" + principal
                                       : principal + "@" + std::string(parts.domain);
  }
  gss::Name name;
  if (!principal.empty()) {
    gss_buffer_desc text = {principal.size(), principal.data()};
    major = gss_import_name(&minor, &text, GSS_C_NT_USER_NAME, name.out());
    if (GSS_ERROR(major)) return Fail(errorText_, AuthError::SspiCredentials, major, minor);
  }
  std::string secret(password);
  gss_buffer_desc secretBuffer = {secret.size(), secret.data()};
  major = gss_acquire_cred_with_password(&minor, name.get(), &secretBuffer, GSS_C_INDEFINITE, &mechs,
                                         GSS_C_INITIATE, handles_->credentials.out(), nullptr, nullptr);
  SecureWipe(secret.data(), secret.size());
  if (GSS_ERROR(major)) return Fail(errorText_, AuthError::SspiCredentials, major, minor);
  return 0;
}

int SspiState::SspiFirstToken(std::string_view target, ByteBuffer& token) {
  handles_->context.Release();
  complete_ = false;
  return Initialize(target, {}, false, {}, true, token);
}

int SspiState::SspiNextToken(std::string_view target, std::string_view serverToken, bool bindChannel,
                             std::string_view channelBindings, ByteBuffer& token) {
  // The bindings are had before the package is asked: without them a bound
  // exchange cannot go on.
  if (bindChannel && channelBindings.empty()) {
    return Fail(errorText_, AuthError::SspiChannelBindings, GSS_S_BAD_BINDINGS, 0);
  }
  if (handles_->context.get() == GSS_C_NO_CONTEXT) {
    return Fail(errorText_, AuthError::SspiConsume, GSS_S_NO_CONTEXT, 0);
  }
  return Initialize(target, serverToken, bindChannel, channelBindings, false, token);
}

int SspiState::Initialize(std::string_view target, std::string_view input, bool bindChannel,
                          std::string_view channelBindings, bool first, ByteBuffer& token) {
  const AuthError failure = first ? AuthError::SspiInitialize : AuthError::SspiConsume;
  if (handles_->credentials.get() == GSS_C_NO_CREDENTIAL) {
    return Fail(errorText_, failure, GSS_S_NO_CRED, 0);
  }
  Package which = PackageOf(package_.view());
  OM_uint32 minor = 0;
  OM_uint32 major = 0;

  // A service on a host ("HTTP/host") is named as a host-based service, which
  // every mechanism under SPNEGO understands (Kerberos maps the host to its
  // realm, NTLM takes the host); a principal with a realm or another form is
  // a Kerberos name, used exactly as given. NTLM alone is given the host.
  gss::Name name;
  std::string targetText(target);
  gss_OID nameType = GSS_KRB5_NT_PRINCIPAL_NAME;
  size_t slash = targetText.find('/');
  if (which == Package::ntlm) {
    targetText = "HTTP@" + targetText;
    nameType = GSS_C_NT_HOSTBASED_SERVICE;
  } else if (slash != std::string::npos && slash > 0 && slash + 1 < targetText.size() &&
             targetText.find_first_of("/@", slash + 1) == std::string::npos) {
    targetText[slash] = '@';
    nameType = GSS_C_NT_HOSTBASED_SERVICE;
  }
  gss_buffer_desc targetBuffer = {targetText.size(), targetText.data()};
  major = gss_import_name(&minor, &targetBuffer, nameType, name.out());
  if (GSS_ERROR(major)) return Fail(errorText_, failure, major, minor);

  // Mutual authentication: the server proves its identity in its final
  // token, which the next call checks.
  OM_uint32 flags = which == Package::ntlm ? 0 : GSS_C_MUTUAL_FLAG;
  gss_channel_bindings_struct bindings{};
  if (bindChannel) {
    bindings.application_data.length = channelBindings.size();
    bindings.application_data.value = const_cast<char*>(channelBindings.data());
  }
  gss_buffer_desc inputBuffer = {input.size(), const_cast<char*>(input.data())};
  gss::Buffer output;
  major = gss_init_sec_context(&minor, handles_->credentials.get(), handles_->context.inout(), name.get(),
                               handles_->mechanism, flags, GSS_C_INDEFINITE,
                               bindChannel ? &bindings : GSS_C_NO_CHANNEL_BINDINGS,
                               first ? GSS_C_NO_BUFFER : &inputBuffer, nullptr, output.out(), nullptr, nullptr);
  const bool failed = GSS_ERROR(major) != 0;
  if (failed) {
    // A failed context is of no further use; the next exchange starts anew.
    handles_->context.Release();
    complete_ = false;
  } else {
    complete_ = major == GSS_S_COMPLETE;
  }
  switch (ClassifyInitResult(failed, major == GSS_S_COMPLETE || major == GSS_S_CONTINUE_NEEDED, output.size())) {
    case InitResult::failed: return Fail(errorText_, failure, major, minor);
    case InitResult::noToken: return 0;
    case InitResult::tooLarge:
      AssignText(errorText_, AuthErrorText(AuthError::SspiTokenTooLarge));
      return AuthErrorCode(AuthError::SspiTokenTooLarge);
    case InitResult::token: break;
  }
  if (int rc = token.Append(std::string_view(output.data(), output.size())); rc != 0) {
    AssignText(errorText_, AuthErrorText(AuthError::OutOfMemory));
    return rc;
  }
  return 0;
}

}  // namespace corvane::auth
