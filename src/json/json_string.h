#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text of a JSON string token (quotes included) with its escapes
// resolved (RFC 8259 section 7), as UTF-8. A \u escape of an unpaired
// surrogate becomes U+FFFD. False, with out unchanged, when token is not a
// complete string or holds an escape the grammar does not allow.
bool DecodeJsonString(std::string_view token, std::string& out);

}  // namespace corvane
