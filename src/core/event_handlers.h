#pragma once

#include <corvane/events.h>

namespace corvane {

// The frequent parser events a listener actually overrides. A parser fills an
// event's string arguments (a copy out of the input per event) only for the
// events the listener handles: the defaults do nothing and nothing is read
// back from them, so a skipped event is one no listener could have seen.
// Where the compiler cannot say, every event counts as handled.
struct HandledEvents {
  bool characters = true;
  bool ignorableWhitespace = true;
  bool startElement = true;
  bool endElement = true;
  bool evalEntity = true;

  static HandledEvents Of(RESTEvents* sink) noexcept {
    HandledEvents h;
    if (sink == nullptr) return None();
#if defined(__GNUC__) && !defined(__clang__)
    h.characters = Overrides(sink, &RESTEvents::Characters);
    h.ignorableWhitespace = Overrides(sink, &RESTEvents::IgnorableWhitespace);
    h.startElement = Overrides(sink, &RESTEvents::StartElement);
    h.endElement = Overrides(sink, &RESTEvents::EndElement);
    h.evalEntity = Overrides(sink, &RESTEvents::EvalEntity);
#endif
    return h;
  }

  static HandledEvents None() noexcept {
    HandledEvents h;
    h.characters = h.ignorableWhitespace = h.startElement = h.endElement = h.evalEntity = false;
    return h;
  }

 private:
#if defined(__GNUC__) && !defined(__clang__)
  // GCC resolves a pointer to a virtual member bound to an object to the
  // function that call would run; the listener overrides the event when that
  // is not the base class's empty default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
  template <typename Member>
  static bool Overrides(RESTEvents* sink, Member member) noexcept {
    static RESTEvents defaults;
    using Raw = void (*)();
    return reinterpret_cast<Raw>(sink->*member) != reinterpret_cast<Raw>(defaults.*member);
  }
#pragma GCC diagnostic pop
#endif
};

}  // namespace corvane
