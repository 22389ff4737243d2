#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// The text of a platform library error code, or "[code] (no description
// available)" for a code the table does not know.
std::string LibraryErrorText(int code);

// The library error a libcurl result stands for; detail is libcurl's error
// message, which tells certificate problems apart (a name mismatch, an
// expired or revoked certificate, an unknown authority). 0 for CURLE_OK.
int LibraryErrorForCurl(int curlResult, std::string_view detail);

}  // namespace corvane::platform
