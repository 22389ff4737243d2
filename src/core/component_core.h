#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/config_item.h"
#include "core/error_codes.h"
#include "corvane/events.h"

namespace corvane {

// Log levels and types carried by the Log event.
inline constexpr int kLogSummary = 1;
inline constexpr int kLogProgress = 2;
inline constexpr int kLogVerbose = 3;

// The base of every protocol class and parser: the error state, the
// configuration chain, the event channel and the debug trace.
class ComponentCore {
 public:
  ComponentCore();
  virtual ~ComponentCore();
  ComponentCore(const ComponentCore&) = delete;
  ComponentCore& operator=(const ComponentCore&) = delete;

  // Parses "name=value" (set) or "name" (query) and runs it through the most
  // derived HandleConfig. The answer of a query is in ResultText().
  int Config(std::string_view text);
  const ByteBuffer& ResultText() const noexcept { return resultText_; }

  // The end of the configuration chain: the base keys, then -1.
  virtual int HandleConfig(const ConfigItem& item, ByteBuffer& result);

  // Stores the message and returns the code, so a failure is one statement.
  int SetError(int code, std::string_view text);
  void ClearError() noexcept;
  const ByteBuffer& LastErrorText() const noexcept { return lastErrorText_; }
  int LastErrorCode() const noexcept { return lastErrorCode_; }
  void SetLastErrorCode(int code) noexcept { lastErrorCode_ = code; }
  // The message for code: the last error text, or the one built from the code.
  std::string ErrorMessage(int code) const;

  RESTEvents* EventSink() const noexcept { return eventSink_; }
  void SetEventSink(RESTEvents* sink) noexcept { eventSink_ = sink; }

  unsigned CodePage() const noexcept { return codePage_; }
  void SetCodePage(unsigned cp) noexcept { codePage_ = cp; }
  int CharsetMode() const noexcept { return charsetMode_; }
  int LogLevel() const noexcept { return logLevel_; }
  void SetLogLevel(int level) noexcept { logLevel_ = level; }
  bool TraceEnabled() const noexcept { return traceEnabled_; }
  uint32_t LogDebugOption() const noexcept { return logDebugOption_; }

  // Fires the Log event when LogLevel() is at least level.
  void Log(int level, std::string_view message, std::string_view logType = "Info");
  bool LogsAt(int level) const noexcept { return eventSink_ != nullptr && logLevel_ >= level; }

  // Fires the Error event (code and description may be changed by the listener,
  // but nothing reads them back).
  void FireError(int code, std::string_view description);

  // Appends a block of socket traffic to the debug trace file ("SEND" or
  // "RECEIVE"). Returns 0, 5 or 7; a failure never stops the transfer.
  int WriteTrace(std::string_view label, const void* data, size_t length);

 protected:
  int lastErrorCode_ = 0;
  unsigned codePage_ = 0;
  ByteBuffer lastErrorText_;
  ByteBuffer resultText_;
  ByteBuffer21 logDebugFile_;
  bool traceEnabled_ = false;
  uint32_t logDebugOption_ = 0;
  int charsetMode_ = 0;
  int logLevel_ = 1;
  RESTEvents* eventSink_ = nullptr;
};

}  // namespace corvane
