#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/component_core.h"
#include "core/document_navigator.h"
#include "core/event_handlers.h"
#include "json/json_document.h"
#include "json/json_errors.h"
#include "json/json_path.h"
#include "json/json_window.h"

namespace corvane {

// Parses one JSON answer. While scanning it fires StartElement, EndElement,
// Characters and IgnorableWhitespace to the event sink (an XML-like view of
// the document: the root element "json", one element per member named after
// it, one unnamed element per array item) and, with BuildDOM, builds the
// JsonDocument tree that the cursor operations navigate.
//
// Scanning is deliberately lenient where answers in the wild are: values are
// kept as written (no escape is decoded, numbers are not checked beyond their
// byte class), true/false/null compare case-insensitively, a leading 0xFF
// byte is skipped and a document wrapped in "(" ... ")" is accepted.
class JsonParser : public ComponentCore, public DocumentNavigator {
 public:
  JsonParser() = default;
  ~JsonParser() override;

  // Empties the tree, the stacks and the cursor.
  void Reset() noexcept;
  // Scans text (which ends at its first NUL, if any) completely; with
  // BuildDOM the tree keeps a copy of it, without it the text is read in
  // place and must stay unchanged until Parse returns. Starts from a reset.
  // 0, 10232 for bad markup, 200 when memory runs out, 10000 when the
  // container stack cannot grow. Event handlers may navigate the part of the
  // tree built so far; Parse from a handler fails with 143 and Reset from a
  // handler does nothing.
  int Parse(std::string_view text);

  bool BuildDOM() const noexcept { return buildDom_; }
  void SetBuildDOM(bool on) noexcept { buildDom_ = on; }
  // Without cached content XSubTree answers empty.
  bool CacheContent() const noexcept { return cacheContent_; }
  void SetCacheContent(bool on) noexcept { cacheContent_ = on; }

  const JsonDocument& Document() const noexcept { return doc_; }
  // Offset of the byte where the last parse failed.
  size_t ErrorOffset() const noexcept { return errorOffset_; }
  // The node under the cursor (0, the root, after a parse).
  uint32_t Cursor() const noexcept { return cursor_; }

  // "BuildDOM" and "CacheContent", then the base keys.
  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // DocumentNavigator: the cursor over the tree.
  int SetXPath(std::string_view path) override;
  std::string GetXPath() const override;
  bool HasXPath(std::string_view path) override;
  std::string XElement() const override;
  std::string XNamespace() const override { return {}; }
  std::string XPrefix() const override { return {}; }
  std::string XText() const override;
  std::string XTextDecoded() const override;
  std::string XParent() const override;
  std::string XSubTree() const override;
  int XChildCount() const override;
  int XChildName(int index, std::string& out) override;
  int XChildNamespace(int index, std::string& out) override;
  int XChildPrefix(int index, std::string& out) override;
  int XChildXText(int index, std::string& out) override;
  int AttrCount() const override { return 0; }
  int AttrName(int index, std::string& out) override { return NoAttribute(out); }
  int AttrNamespace(int index, std::string& out) override { return NoAttribute(out); }
  int AttrPrefix(int index, std::string& out) override { return NoAttribute(out); }
  int AttrValue(int index, std::string& out) override { return NoAttribute(out); }
  int Attr(std::string_view name, std::string& out) override;
  int NamespaceCount() const override { return 0; }
  int NamespacePrefix(int index, std::string& out) override { return NoNamespace(out); }
  int NamespaceURI(int index, std::string& out) override { return NoNamespace(out); }

 private:
  // Scanner states: where the next token may begin.
  enum class ScanState {
    ssStart,         // before the top-level container
    ssObjectOpen,    // after "{": a member name or "}"
    ssObjectNext,    // after "," in an object: a member name
    ssColon,         // after a member name
    ssArrayOpen,     // after "[": a value or "]"
    ssValue,         // after ":" or "," in an array
    ssAfterValue,    // after a value: "," or a closer
    ssDone,          // after the top-level container
  };

  int Fail(JsonError error) noexcept;
  [[gnu::noinline, gnu::cold]] int FailAt(JsonError error, size_t offset) noexcept;
  // Slides window_ to its byte `from` (see JsonWindow::Slide).
  [[gnu::noinline, gnu::cold]] bool SlideWindow(size_t from) noexcept;
  int Scan();
  // The scan for one combination of outputs, so the per-token work carries
  // no test for an output this parse does not produce, with the run finders
  // Runs. It is built twice: with the 16-byte finders, and on x86-64 once
  // more for AVX2 with the 32-byte ones, which Scan picks when the CPU has it.
  template <bool kTree, bool kEvents, typename Runs>
  int ScanFor();
  template <bool kTree, bool kEvents>
  int ScanNarrow();
#if defined(__x86_64__)
  template <bool kTree, bool kEvents>
  __attribute__((target("avx2"))) int ScanWide();
#endif
  // Child step of the cursor for the indexed readers (0 or 105/106).
  int ChildAt(int index, uint32_t& child);
  int NoAttribute(std::string& out);
  int NoNamespace(std::string& out);
  bool PushContainer(uint8_t kind) noexcept {
    if (depth_ == stackCapacity_ && !GrowStack()) return false;
    stack_[depth_++] = kind;
    return true;
  }
  bool GrowStack() noexcept;

  // Events. Only called with a sink; names of open elements are kept as
  // text offsets so EndElement can name what it closes.
  void SetEventElement(const unsigned char* name, uint32_t length);
  [[gnu::noinline, gnu::cold]] void SetEventElementFromText(uint32_t nameOffset,
                                                            uint32_t nameLength);
  void FireStartElement(uint32_t nameOffset, const unsigned char* name, uint32_t nameLength);
  void FireEndElement();
  void FireCharacters(const unsigned char* begin, const unsigned char* end);
  void FireIgnorableWhitespace(const unsigned char* begin, const unsigned char* end);

  JsonDocument doc_;
  // The text of a scan without a tree, a window at a time.
  JsonWindow window_;
  // Where the scan reads: the text offset scanBase_ stands for.
  const unsigned char* scanBase_ = nullptr;
  size_t scanOffset_ = 0;
  // The listener of the scan in progress (nullptr when none or not scanning):
  // a handler that changes the sink does not affect the scan it is called from.
  RESTEvents* scanSink_ = nullptr;
  // The events scanSink_ overrides; the others cost nothing.
  HandledEvents handled_ = HandledEvents::None();
  bool scanning_ = false;
  bool buildDom_ = true;
  bool cacheContent_ = true;
  bool wrapped_ = false;
  size_t errorOffset_ = 0;

  // Open containers, one byte each (kObject or kArray).
  static constexpr uint8_t kObject = 2;
  static constexpr uint8_t kArray = 3;
  uint8_t* stack_ = nullptr;
  size_t depth_ = 0;
  size_t stackCapacity_ = 0;

  // Names of the open elements (offset, length; the root is kRootName).
  static constexpr uint32_t kRootName = 0xFFFFFFFFu;
  std::vector<std::pair<uint32_t, uint32_t>> openNames_;
  std::string eventNamespace_;
  std::string eventElement_;
  std::string eventQName_;
  std::string eventText_;

  uint32_t cursor_ = 0;
  std::string pathText_;
  JsonPathForm pathForm_ = JsonPathForm::jpSlash;
};

}  // namespace corvane
