#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::http {

// Which bytes percent-encoding leaves alone in a path and in a query.
extern const uint8_t kPathSafe[256];
extern const uint8_t kQuerySafe[256];

// Appends in to out, writing every byte the table does not mark safe as "%"
// and two upper-case hex digits.
void PercentEncode(std::string_view in, const uint8_t* safe, std::string& out);

// Encodes a request target: the part before the first "?" with the path
// table, then "?" and the query — with the query table when encodeQuery is
// set, else unchanged.
void EncodeUrlPath(std::string_view pathAndQuery, bool encodeQuery, std::string& out);

}  // namespace corvane::http
