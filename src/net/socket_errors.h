#pragma once

namespace corvane {

// errno values of the socket calls as the socket error numbers the messages
// use (ECONNREFUSED -> 10061, ...). Unknown values map to 10000 + errno only
// when nothing closer exists, so a message still names the failure.
int SocketErrorFromErrno(int err) noexcept;
// getaddrinfo results (EAI_*) as resolution error numbers (EAI_NONAME ->
// 11001, ...); EAI_SYSTEM takes errno.
int SocketErrorFromEai(int eai, int err) noexcept;

}  // namespace corvane
