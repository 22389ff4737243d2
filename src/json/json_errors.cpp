#include "json/json_errors.h"

#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_JSON_ERROR(name, code, text) {code, text},
#include "json/json_errors.def"
#undef CORVANE_JSON_ERROR
};

constexpr ErrorTable<JsonError> kTable(kRows);

}  // namespace

int JsonErrorCode(JsonError error) noexcept { return kTable.Code(error); }

std::string_view JsonErrorText(JsonError error) noexcept { return kTable.Template(error); }

}  // namespace corvane
