#include "http2/response_field_rules.h"

#include <array>
#include <string_view>

#include "core/ascii.h"

namespace corvane {

namespace {

// RFC 9110 tchar without the upper-case letters, which HTTP/2 field names
// never carry (RFC 9113 section 8.2.1), as a table over every byte.
constexpr std::array<bool, 256> kNameByte = [] {
  std::array<bool, 256> t{};
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (unsigned char c : std::string_view("!#$%&'*+-.^_`|~")) t[c] = true;
  return t;
}();

// Fields that describe the HTTP/1.1 connection, not the message; in HTTP/2
// they could only be smuggled through an intermediary (RFC 9113 8.2.2).
constexpr std::string_view kConnectionSpecific[] = {"connection", "keep-alive", "proxy-connection",
                                                    "transfer-encoding", "upgrade"};

std::string Shown(std::string_view name) {
  std::string s(name.substr(0, 64));
  for (char& c : s) {
    if (c < 0x21 || c > 0x7E) c = '?';
  }
  return s;
}

FieldViolation Violation(Http2Message message, std::string_view name) {
  return {message, Shown(name)};
}

bool IsStatusCode(std::string_view v) noexcept {
  return v.size() == 3 && v[0] >= '1' && v[0] <= '9' && v[1] >= '0' && v[1] <= '9' && v[2] >= '0' &&
         v[2] <= '9';
}

}  // namespace

std::optional<FieldViolation> ResponseFieldRules::Check(const HeaderField& field) {
  const std::string_view name = field.name;
  const std::string_view value = field.value;
  if (!name.empty() && name.front() == ':') {
    // Request pseudo-headers and unknown ones are as malformed in a
    // response as any pseudo-header in trailers (RFC 9113 8.3).
    if (trailers_ || name != ":status") return Violation(Http2Message::kMalformedPseudoHeader, name);
    if (regularSeen_) return Violation(Http2Message::kMalformedPseudoAfterField, name);
    if (statusSeen_) return Violation(Http2Message::kMalformedDuplicateStatus, name);
    if (!IsStatusCode(value)) return Violation(Http2Message::kMalformedStatus, value);
    statusSeen_ = true;
    informational_ = value[0] == '1';
    return std::nullopt;
  }
  regularSeen_ = true;
  bool token = !name.empty();
  for (unsigned char c : name) token = token && kNameByte[c];
  if (!token) return Violation(Http2Message::kMalformedFieldName, name);
  for (std::string_view c : kConnectionSpecific) {
    if (name == c) return Violation(Http2Message::kMalformedConnectionField, name);
  }
  if (name == "te" && !EqualsNoCase(value, "trailers")) {
    return Violation(Http2Message::kMalformedConnectionField, name);
  }
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) {
    return Violation(Http2Message::kMalformedFieldWhitespace, name);
  }
  return std::nullopt;
}

std::optional<FieldViolation> ResponseFieldRules::EndBlock() {
  const bool missing = !trailers_ && !statusSeen_;
  if (statusSeen_ && !informational_) trailers_ = true;
  statusSeen_ = regularSeen_ = informational_ = false;
  if (missing) return FieldViolation{Http2Message::kMalformedMissingStatus, {}};
  return std::nullopt;
}

}  // namespace corvane
