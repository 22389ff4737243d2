#pragma once

namespace corvane {

// Codes shared by every layer. Each subsystem keeps its own codes and
// messages in its own table; these are the ones the core itself raises.
inline constexpr int kOk = 0;
inline constexpr int kErrUnknownConfig = -1;      // "Unknown config setting."
inline constexpr int kErrFileOpen = 4;            // file cannot be opened
inline constexpr int kErrTraceOpen = 5;           // debug trace file cannot be opened
inline constexpr int kErrTraceWrite = 7;          // debug trace write failed
inline constexpr int kErrFileSeek = 8;            // end of file cannot be reached
inline constexpr int kErrOutOfMemory = 200;       // "Out of memory."
inline constexpr int kErrInterrupted = 301;       // "Interrupted." (also timeouts)
inline constexpr int kErrCodePage = 434;          // code-page conversion produced nothing

}  // namespace corvane
