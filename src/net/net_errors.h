#pragma once

#include <string>
#include <string_view>

namespace corvane {

class ComponentCore;

// The failures of the socket engine, generated from net_errors.def.
enum class NetError : int {
#define CORVANE_NET_ERROR(name, code, text) name,
#include "net/net_errors.def"
#undef CORVANE_NET_ERROR
};

int NetErrorCode(NetError error) noexcept;
std::string_view NetErrorText(NetError error) noexcept;
// Stores the message (when the table has one) and returns the code.
int SetNetError(ComponentCore& component, NetError error);

// "socket error in recv: <code>", the text OnError carries for a failed recv.
std::string RecvFailedText(int code);

}  // namespace corvane
