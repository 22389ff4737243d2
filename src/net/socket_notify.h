#pragma once

#include <cstdint>

namespace corvane {

// Notification kinds, numbered as the WSAAsyncSelect event mask bits so that
// a notification can travel in the low 16 bits of a message's lParam and a
// socket error code in the high 16 bits.
inline constexpr uint32_t kFdRead = 1;
inline constexpr uint32_t kFdWrite = 2;
inline constexpr uint32_t kFdAccept = 8;
inline constexpr uint32_t kFdConnect = 16;
inline constexpr uint32_t kFdClose = 32;
inline constexpr uint32_t kFdAllClient = kFdRead | kFdWrite | kFdConnect | kFdClose;  // 51

// The message a socket notification arrives as (WM_USER + 101).
inline constexpr uint32_t kSocketNotifyMessage = 0x0465;
// Messages of the thread queue that mean something to the wait loop itself.
inline constexpr uint32_t kQuitMessage = 0x0012;   // WM_QUIT: ends the wait, posted again
inline constexpr uint32_t kCloseMessage = 0x0010;  // WM_CLOSE: ends the wait

inline constexpr intptr_t MakeNotifyParam(uint32_t event, int error) noexcept {
  return static_cast<intptr_t>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFFu));
}
inline constexpr uint32_t NotifyEvent(intptr_t lParam) noexcept {
  return static_cast<uint32_t>(lParam) & 0xFFFFu;
}
inline constexpr int NotifyError(intptr_t lParam) noexcept {
  return static_cast<int>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFFu);
}

}  // namespace corvane
