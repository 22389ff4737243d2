#pragma once

// Fires the REST object's events to the connected automation sinks: each
// argument becomes a Variant (strings through the code page), every sink sees
// the same array in turn, and what they leave in it goes back to the engine.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/dispatch.h"
#include "corvane/events.h"

namespace corvane {

class EventBridge : public RESTEvents {
 public:
  // codePage answers the object's current code page at each event.
  explicit EventBridge(std::function<unsigned()> codePage) : codePage_(std::move(codePage)) {}

  uint32_t Add(EventSink* sink);
  // False when cookie named no sink.
  bool Remove(uint32_t cookie);
  bool empty() const noexcept { return sinks_.empty(); }

  void Characters(std::string& text) override { Fire(1, text); }
  void Comment(std::string& text) override { Fire(2, text); }
  void Connected(int& statusCode, std::string& description) override {
    Fire(3, statusCode, description);
  }
  void ConnectionStatus(std::string& connectionEvent, int& statusCode,
                        std::string& description) override {
    Fire(4, connectionEvent, statusCode, description);
  }
  void Disconnected(int& statusCode, std::string& description) override {
    Fire(5, statusCode, description);
  }
  void EndElement(std::string& ns, std::string& element, std::string& qName,
                  bool& isEmpty) override {
    Fire(6, ns, element, qName, isEmpty);
  }
  void EndPrefixMapping(std::string& prefix) override { Fire(7, prefix); }
  void EndTransfer(int& direction) override { Fire(8, direction); }
  void Error(int& errorCode, std::string& description) override { Fire(9, errorCode, description); }
  void EvalEntity(std::string& entity, std::string& value) override { Fire(10, entity, value); }
  void Header(std::string& field, std::string& value) override { Fire(11, field, value); }
  void IgnorableWhitespace(std::string& text) override { Fire(12, text); }
  void Log(int& logLevel, std::string& message, std::string& logType) override {
    Fire(13, logLevel, message, logType);
  }
  void Meta(std::string& text) override { Fire(14, text); }
  void PI(std::string& text) override { Fire(15, text); }
  void Redirect(std::string& location, bool& accept) override { Fire(16, location, accept); }
  void SetCookie(std::string& name, std::string& value, std::string& expires, std::string& domain,
                 std::string& path, bool& secure) override {
    Fire(17, name, value, expires, domain, path, secure);
  }
  void SpecialSection(std::string& sectionId, std::string& text) override {
    Fire(18, sectionId, text);
  }
  void SSLServerAuthentication(std::string& certEncoded, std::string& certSubject,
                               std::string& certIssuer, std::string& status,
                               bool& accept) override {
    Fire(19, certEncoded, certSubject, certIssuer, status, accept);
  }
  void SSLStatus(std::string& message) override { Fire(20, message); }
  void StartElement(std::string& ns, std::string& element, std::string& qName,
                    bool& isEmpty) override {
    Fire(21, ns, element, qName, isEmpty);
  }
  void StartPrefixMapping(std::string& prefix, std::string& uri) override { Fire(22, prefix, uri); }
  void StartTransfer(int& direction) override { Fire(23, direction); }
  void Status(std::string& httpVersion, int& statusCode, std::string& description) override {
    Fire(24, httpVersion, statusCode, description);
  }
  void Transfer(int& direction, int64_t& bytesTransferred, int& percentDone,
                std::string& text) override {
    Fire(25, direction, bytesTransferred, percentDone, text);
  }

 private:
  Variant In(const std::string& v) const;
  static Variant In(int v) { return Variant(static_cast<int16_t>(v)); }
  static Variant In(int64_t v) { return Variant(v); }
  static Variant In(bool v) { return Variant(v); }
  // A sink's value back into the engine's argument; one that does not
  // convert leaves the argument as it was.
  void Out(const Variant& v, std::string& arg) const;
  static void Out(const Variant& v, int& arg);
  static void Out(const Variant& v, int64_t& arg);
  static void Out(const Variant& v, bool& arg);

  template <typename... Args>
  void Fire(int32_t dispid, Args&... args) {
    // A sink may disconnect itself (or another) while it runs.
    std::vector<std::pair<uint32_t, EventSink*>> sinks;
    for (const auto& s : sinks_) {
      if (s.second->Wants(dispid)) sinks.push_back(s);
    }
    if (sinks.empty()) return;
    std::array<Variant, sizeof...(Args)> values{In(args)...};
    const std::array<Variant, sizeof...(Args)> fired = values;
    for (const auto& [cookie, sink] : sinks) sink->Invoke(dispid, values);
    // Only what a sink changed goes back: text that crossed by the byte
    // fallback would not survive the trip unchanged.
    size_t i = 0;
    ((values[i] == fired[i] ? void() : Out(values[i], args), ++i), ...);
  }

  std::function<unsigned()> codePage_;
  std::vector<std::pair<uint32_t, EventSink*>> sinks_;
  uint32_t nextCookie_ = 1;
};

// Text of the code page as UTF-16; bytes that do not convert arrive one code
// unit per byte, so an event never loses its text (the B properties carry
// such bytes exactly).
std::u16string WidenText(std::string_view text, unsigned codePage);
// UTF-16 to the code page: 0, or 434 when the text does not convert.
int NarrowText(std::u16string_view text, unsigned codePage, std::string& out);

}  // namespace corvane
