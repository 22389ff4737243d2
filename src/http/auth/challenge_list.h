#pragma once

#include <functional>
#include <string_view>

namespace corvane::auth {

// Splits one WWW-Authenticate or Proxy-Authenticate value into its
// challenges (RFC 7235 section 4.1 allows several, separated by commas) and
// calls onChallenge(scheme word, parameters) for each in order. A header with
// a single challenge gives the word before the first blank and the rest
// after it, unchanged. A new challenge starts after a comma at a token that is
// followed by a blank or the end, not by "="; quoted strings are skipped.
void SplitChallenges(std::string_view value,
                     const std::function<void(std::string_view scheme, std::string_view rest)>& onChallenge);

}  // namespace corvane::auth
