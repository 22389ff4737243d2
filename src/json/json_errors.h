#pragma once

#include <string_view>

namespace corvane {

// Every failure the JSON layer reports. Two entries may share a code (200)
// with different texts, so the table is looked up by enumerator, not by code.
enum class JsonError {
#define CORVANE_JSON_ERROR(name, code, text) name,
#include "json/json_errors.def"
#undef CORVANE_JSON_ERROR
};

int JsonErrorCode(JsonError error) noexcept;
std::string_view JsonErrorText(JsonError error) noexcept;

}  // namespace corvane
