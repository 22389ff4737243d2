#include "net/net_errors.h"

#include "core/component_core.h"

namespace corvane {

namespace {

struct NetErrorRow {
  int code;
  std::string_view text;
};

constexpr NetErrorRow kRows[] = {
#define CORVANE_NET_ERROR(name, code, text) {code, text},
#include "net/net_errors.def"
#undef CORVANE_NET_ERROR
};

}  // namespace

int NetErrorCode(NetError error) noexcept { return kRows[static_cast<int>(error)].code; }

std::string_view NetErrorText(NetError error) noexcept {
  return kRows[static_cast<int>(error)].text;
}

int SetNetError(ComponentCore& component, NetError error) {
  const NetErrorRow& row = kRows[static_cast<int>(error)];
  if (row.text.empty()) {
    component.ClearError();
    return row.code;
  }
  return component.SetError(row.code, row.text);
}

std::string RecvFailedText(int code) {
  std::string_view format = NetErrorText(NetError::RecvFailed);
  std::string text(format.substr(0, format.find("%d")));
  return text + std::to_string(code);
}

}  // namespace corvane
