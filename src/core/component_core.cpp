#include "core/component_core.h"

#include <cstdio>
#include <ctime>

#include "core/debug_trace.h"
#include "core/error_text.h"

namespace corvane {

namespace {

// The system ANSI code page stands for the locale's charset here; 932 is the
// only one that turns on double-byte recognition in the XML parser.
int InitialCharsetMode() { return 0; }

}  // namespace

ComponentCore::ComponentCore() : charsetMode_(InitialCharsetMode()) {}

ComponentCore::~ComponentCore() = default;

int ComponentCore::Config(std::string_view text) {
  ConfigItem item = ConfigItem::Parse(text);
  resultText_.Clear();
  return HandleConfig(item, resultText_);
}

int ComponentCore::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("CodePage")) return ConfigInt(item, result, codePage_);
  if (item.Is("CharsetMode")) return ConfigInt(item, result, charsetMode_);
  if (item.Is("LogDebugFile")) {
    if (item.isQuery) return AnswerText(result, logDebugFile_.view());
    int rc = logDebugFile_.Assign(item.Text());
    traceEnabled_ = !logDebugFile_.empty();
    return rc;
  }
  if (item.Is("LogDebugOption")) return ConfigInt(item, result, logDebugOption_);
  if (item.Is("LastError")) {
    if (item.isQuery) return AnswerText(result, lastErrorText_.view());
    return 0;
  }
  if (item.Is("ZeroMemory")) {
    if (item.isQuery) return AnswerBool(result, ZeroMemoryEnabled());
    SetZeroMemory(item.Bool());
    return 0;
  }
  result.Clear();
  return SetError(kErrUnknownConfig, "Unknown config setting.");
}

int ComponentCore::SetError(int code, std::string_view text) {
  lastErrorText_.Assign(text);
  return code;
}

void ComponentCore::ClearError() noexcept {
  lastErrorText_.Clear();
  lastErrorCode_ = 0;
}

std::string ComponentCore::ErrorMessage(int code) const {
  if (!lastErrorText_.empty()) return lastErrorText_.str();
  return DescribeError(code);
}

void ComponentCore::Log(int level, std::string_view message, std::string_view logType) {
  if (!LogsAt(level)) return;
  int lvl = level;
  std::string msg(message);
  std::string type(logType);
  eventSink_->Log(lvl, msg, type);
}

void ComponentCore::FireError(int code, std::string_view description) {
  if (eventSink_ == nullptr) return;
  int c = code;
  std::string d(description);
  eventSink_->Error(c, d);
}

int ComponentCore::WriteTrace(std::string_view label, const void* data, size_t length) {
  if (!traceEnabled_) return 0;
  return AppendTraceBlock(logDebugFile_.c_str(), reinterpret_cast<uintptr_t>(this), label,
                          data, length, (logDebugOption_ & 1u) != 0);
}

}  // namespace corvane
