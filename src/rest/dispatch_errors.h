#pragma once

#include <string_view>

#include "corvane/dispatch.h"

namespace corvane {

// One entry per failure the automation surface raises itself; codes, results
// and texts live in dispatch_errors.def.
enum class DispatchError {
#define CORVANE_DISPATCH_ERROR(name, code, hresult, text) name,
#include "rest/dispatch_errors.def"
#undef CORVANE_DISPATCH_ERROR
};

int DispatchErrorCode(DispatchError e) noexcept;
HResult DispatchErrorResult(DispatchError e) noexcept;
std::string_view DispatchErrorText(DispatchError e) noexcept;

}  // namespace corvane
