#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::http {

// The reason phrase for a status code ("Unknown" for codes not in the table);
// used where a status arrives without one (HTTP/2 ":status").
std::string_view ReasonPhrase(int statusCode) noexcept;

// Download progress: bytes × 100 ÷ length, at most 100; −1 when the length
// is unknown (not above 0).
int PercentDone(int64_t bytes, int64_t contentLength) noexcept;

// Upload progress: sent × 100 ÷ (max(length, sent) + 100), at most 99, so an
// upload reaches 100 only through EndTransfer.
int UploadPercent(int64_t sent, int64_t contentLength) noexcept;

}  // namespace corvane::http
