#include "http/auth/digest_challenge.h"

#include <cstdio>
#include <cstring>

#include "core/ascii.h"
#include "crypto/md5.h"
#include "http/auth/auth_errors.h"
#include "http/auth/text_builder.h"

namespace corvane::auth {

namespace {

// MD5 of the pieces, as 32 lower-case hex digits.
class HexMd5 {
 public:
  HexMd5& operator<<(std::string_view piece) noexcept {
    if (!piece.empty()) md5_.Update(piece.data(), piece.size());
    return *this;
  }
  // Finishes into text (33 bytes with the NUL).
  const char* Hex() noexcept {
    static constexpr char kDigits[] = "0123456789abcdef";
    const uint8_t* d = md5_.Final();
    for (int i = 0; i < Md5::kDigestSize; ++i) {
      hex_[2 * i] = kDigits[d[i] >> 4];
      hex_[2 * i + 1] = kDigits[d[i] & 15];
    }
    hex_[32] = '\0';
    md5_.Init();
    return hex_;
  }
  std::string_view View() noexcept { return {Hex(), 32}; }

 private:
  Md5 md5_;
  char hex_[33];
};

// RFC 2617 3.2.1: an offered list that starts with "auth," is answered with
// plain auth; otherwise auth-int wins over auth when offered. Anything else is
// kept as offered and refused when the response is formatted.
std::string_view ChooseQop(std::string_view offered) noexcept {
  if (offered.empty()) return {};
  if (offered.substr(0, 5) == "auth,") return "auth";
  if (offered.find("auth-int") != std::string_view::npos) return "auth-int";
  if (offered.find("auth") != std::string_view::npos) return "auth";
  return offered;
}

}  // namespace

int ParseDigestChallenge(DigestChallenge& record, std::string_view text, uint32_t cnonceValue) {
  record.realm.Clear();
  record.qop.Clear();
  record.nonce.Clear();
  record.cnonce.Clear();
  record.opaque.Clear();
  record.nonceCount = 0;
  int rc = AssignText(record.algorithm, "md5");
  std::string_view offeredQop;

  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n && rc == 0) {
    // Blanks, tabs and stray commas between parameters.
    while (pos < n && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) ++pos;
    if (pos >= n) break;
    size_t eq = text.find('=', pos);
    if (eq == std::string_view::npos) break;
    std::string_view name = text.substr(pos, eq - pos);
    pos = eq + 1;
    std::string_view value;
    if (pos < n && text[pos] == '"') {
      // No escapes inside quotes: the value ends at the next quote.
      size_t close = text.find('"', pos + 1);
      if (close == std::string_view::npos) close = n;
      value = text.substr(pos + 1, close - pos - 1);
      pos = close + 1;
      if (pos < n && text[pos] == ',') ++pos;
    } else {
      size_t comma = text.find(',', pos);
      if (comma == std::string_view::npos) comma = n;
      value = text.substr(pos, comma - pos);
      pos = comma + 1;
    }
    if (EqualsNoCase(name, "REALM")) {
      rc = AssignText(record.realm, value);
    } else if (EqualsNoCase(name, "QOP")) {
      offeredQop = value;
    } else if (EqualsNoCase(name, "ALGORITHM")) {
      rc = AssignText(record.algorithm, value);
    } else if (EqualsNoCase(name, "NONCE")) {
      rc = AssignText(record.nonce, value);
    } else if (EqualsNoCase(name, "OPAQUE")) {
      rc = AssignText(record.opaque, value);
    }
  }
  if (rc != 0) return rc;

  if (int r = AssignText(record.qop, ChooseQop(offeredQop)); r != 0) return r;
  if (!record.qop.empty()) {
    // The four bytes of the value, least significant first.
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", cnonceValue & 0xFF, (cnonceValue >> 8) & 0xFF,
                  (cnonceValue >> 16) & 0xFF, cnonceValue >> 24);
    return AssignText(record.cnonce, std::string_view(hex, 8));
  }
  return 0;
}

int SetDigestRequest(DigestChallenge& record, std::string_view method, std::string_view uri,
                     std::string_view body) {
  record.entityBody = body;
  if (int rc = AssignText(record.method, method); rc != 0) return rc;
  return AssignText(record.uri, uri);
}

int ComputeDigestResponse(const DigestChallenge& record, ByteBuffer& out) {
  HexMd5 h;
  // A1 (RFC 2617 3.2.2.2). An algorithm other than MD5 or MD5-sess leaves
  // A1 empty: the server then refuses the answer and the driver reports it.
  ByteBuffer67 ha1;
  const bool sess = EqualsNoCase(record.algorithm.view(), "MD5-sess");
  if (sess || EqualsNoCase(record.algorithm.view(), "MD5")) {
    h << record.user.view() << ":" << record.realm.view() << ":" << record.password.view();
    if (sess) {
      char inner[33];
      std::memcpy(inner, h.Hex(), sizeof inner);
      h << std::string_view(inner, 32) << ":" << record.nonce.view() << ":" << record.cnonce.view();
    }
  }
  if (int rc = AssignText(ha1, h.View()); rc != 0) return rc;

  // A2 (RFC 2617 3.2.2.3).
  h << record.method.view() << ":" << record.uri.view();
  if (record.qop.view() == "auth-int") {
    HexMd5 body;
    body << record.entityBody;
    h << ":" << body.View();
  }
  char ha2[33];
  std::memcpy(ha2, h.Hex(), sizeof ha2);

  h << ha1.view() << ":" << record.nonce.view() << ":";
  if (!record.qop.empty()) {
    char nc[9];
    std::snprintf(nc, sizeof nc, "%08x", record.nonceCount);
    h << std::string_view(nc, 8) << ":" << record.cnonce.view() << ":" << record.qop.view() << ":";
  }
  h << std::string_view(ha2, 32);
  return AssignText(out, h.View());
}

int FormatDigestAuthorization(DigestChallenge& record, ByteBuffer& out, bool includeAlgorithm) {
  if (record.nonce.empty() || record.user.empty()) return 0;
  TextBuilder b(out);
  b << "Digest username=\"";
  // The user name is the caller's text inside a quoted-string: a quote or
  // backslash in it is escaped (RFC 9110 5.6.4), so it cannot end the string
  // early and add parameters of its own. The hash takes the name unescaped.
  for (char c : record.user.view()) {
    if (c == '"' || c == '\\') b << '\\';
    b << c;
  }
  b << "\", realm=\"" << record.realm.view()
    << "\", nonce=\"" << record.nonce.view() << "\", uri=\"" << record.uri.view() << '"';
  if (includeAlgorithm) b << ", algorithm=\"" << record.algorithm.view() << '"';
  if (b.Result() != 0) return b.Result();

  if (!record.qop.empty()) {
    if (record.qop.view() != "auth-int" && record.qop.view() != "auth") {
      AssignText(record.errorText, AuthErrorText(AuthError::DigestUnknownQop));
      return AuthErrorCode(AuthError::DigestUnknownQop);
    }
    ++record.nonceCount;
    char nc[9];
    std::snprintf(nc, sizeof nc, "%08x", record.nonceCount);
    b << ", qop=\"" << record.qop.view() << "\", nc=" << std::string_view(nc, 8) << ", cnonce=\""
      << record.cnonce.view() << '"';
  }
  ByteBuffer response;
  if (int rc = ComputeDigestResponse(record, response); rc != 0) return rc;
  b << ", response=\"" << response.view() << '"';
  if (!record.opaque.empty()) b << ", opaque=\"" << record.opaque.view() << '"';
  return b.Result();
}

}  // namespace corvane::auth
