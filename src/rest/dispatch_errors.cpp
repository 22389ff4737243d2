#include "rest/dispatch_errors.h"

#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_DISPATCH_ERROR(name, code, hresult, text) {code, text},
#include "rest/dispatch_errors.def"
#undef CORVANE_DISPATCH_ERROR
};

constexpr HResult kResults[] = {
#define CORVANE_DISPATCH_ERROR(name, code, hresult, text) hresult,
#include "rest/dispatch_errors.def"
#undef CORVANE_DISPATCH_ERROR
};

constexpr ErrorTable<DispatchError> kTable(kRows);

}  // namespace

int DispatchErrorCode(DispatchError e) noexcept { return kTable.Code(e); }

HResult DispatchErrorResult(DispatchError e) noexcept { return kResults[static_cast<size_t>(e)]; }

std::string_view DispatchErrorText(DispatchError e) noexcept { return kTable.Template(e); }

}  // namespace corvane
