#include "net/net_errors.h"

#include "core/component_core.h"
#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_NET_ERROR(name, code, text) {code, text},
#include "net/net_errors.def"
#undef CORVANE_NET_ERROR
};

constexpr ErrorTable<NetError> kTable(kRows);

}  // namespace

int NetErrorCode(NetError error) noexcept { return kTable.Code(error); }

std::string_view NetErrorText(NetError error) noexcept { return kTable.Template(error); }

int SetNetError(ComponentCore& component, NetError error) {
  if (kTable.Template(error).empty()) {
    component.ClearError();
    return kTable.Code(error);
  }
  return component.SetError(kTable.Code(error), kTable.Template(error));
}

std::string RecvFailedText(int code) {
  return kTable.Text(NetError::RecvFailed, {code});
}

}  // namespace corvane
