#include "http/auth/challenge_list.h"

#include "core/ascii.h"

namespace corvane::auth {

namespace {

// RFC 7230 tchar, as data: 1 for the bytes a token may hold.
constexpr bool IsTchar(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return true;
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
      return true;
    default:
      return false;
  }
}

// Does a new challenge (a scheme word) begin at pos?
bool ChallengeStartsAt(std::string_view v, size_t pos) noexcept {
  size_t end = pos;
  while (end < v.size() && IsTchar(static_cast<unsigned char>(v[end]))) ++end;
  if (end == pos) return false;
  if (end == v.size() || v[end] == ',') return true;
  if (!IsBlank(v[end])) return false;
  while (end < v.size() && IsBlank(v[end])) ++end;
  return end == v.size() || v[end] != '=';
}

std::string_view TrimEnd(std::string_view s) noexcept {
  while (!s.empty() && (IsBlank(s.back()) || s.back() == ',')) s.remove_suffix(1);
  return s;
}

void Emit(std::string_view challenge,
          const std::function<void(std::string_view, std::string_view)>& onChallenge) {
  size_t blank = challenge.find(' ');
  if (blank == std::string_view::npos) {
    onChallenge(challenge, {});
  } else {
    onChallenge(challenge.substr(0, blank), challenge.substr(blank + 1));
  }
}

}  // namespace

void SplitChallenges(std::string_view value,
                     const std::function<void(std::string_view, std::string_view)>& onChallenge) {
  size_t start = 0;
  while (start < value.size() && IsBlank(value[start])) ++start;
  size_t pos = start;
  bool quoted = false;
  while (pos < value.size()) {
    char c = value[pos];
    if (quoted) {
      if (c == '"') quoted = false;
      ++pos;
      continue;
    }
    if (c == '"') {
      quoted = true;
      ++pos;
      continue;
    }
    if (c != ',') {
      ++pos;
      continue;
    }
    size_t next = pos + 1;
    while (next < value.size() && (IsBlank(value[next]) || value[next] == ',')) ++next;
    if (next < value.size() && ChallengeStartsAt(value, next)) {
      Emit(TrimEnd(value.substr(start, pos - start)), onChallenge);
      start = next;
    }
    pos = next;
  }
  if (start < value.size() || start == 0) Emit(value.substr(start), onChallenge);
}

}  // namespace corvane::auth
