#pragma once

// The REST object as script hosts drive it: members found by name or DISPID,
// arguments and results as Variants, failures as HRESULTs with a description
// and a help context, events fired to sinks with arguments by reference.
//
//   auto rest = corvane::CreateObject("Corvane.REST");
//   corvane::Variant url(u"http://127.0.0.1:8080/data.json"), text;
//   if (rest->Invoke("Get", corvane::InvokeKind::kMethod, {&url, 1}) != 0)
//     std::cerr << rest->Narrow(rest->LastError().description) << "\n";

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "corvane/rest.h"
#include "corvane/variant.h"

namespace corvane {

// Results of the surface itself (besides those of engine codes, see
// AutomationResult).
inline constexpr HResult kDispMemberNotFound = 0x80020003u;
inline constexpr HResult kDispTypeMismatch = Variant::kTypeMismatch;
inline constexpr HResult kDispUnknownName = 0x80020006u;
inline constexpr HResult kDispOverflow = Variant::kOverflow;
inline constexpr HResult kDispBadParamCount = 0x8002000Eu;
inline constexpr HResult kClassString = 0x800401F3u;      // no such ProgID
inline constexpr HResult kOutOfMemory = 0x800A0007u;      // "Out of memory."
inline constexpr HResult kValueOutOfRange = 0x800A017Cu;  // also: not a 1-D byte array
inline constexpr HResult kInvalidArrayIndex = 0x800A017Du;
inline constexpr HResult kPropertyReadOnly = 0x800A017Fu;
inline constexpr HResult kRuntimeOnly = 0x800A018Au;

inline constexpr char kHelpFile[] = "corvane.chm";

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

// What a property, argument or result holds. kEnum values are 32-bit
// integers restricted to an enumeration; kVariant takes anything.
enum class ValueType { kEmpty, kBool, kInt16, kInt32, kInt64, kString, kBytes, kEnum, kVariant };

struct PropertyDesc {
  int32_t dispid;
  const char* name;
  ValueType type;
  const char* enumName;   // kEnum only, else nullptr
  const char* indexName;  // the index argument of an indexed property, else nullptr
  const char* countName;  // the property counting the indexed values, else nullptr
  bool readOnly;
  bool runtimeOnly;
  bool runtimeCheckOnPut;  // a put at design time fails as runtime-only, not read-only
  uint32_t helpContext;
};

struct ParamDesc {
  const char* name;
  ValueType type;
};

struct MethodDesc {
  int32_t dispid;
  const char* name;
  std::span<const ParamDesc> params;
  ValueType result;  // kEmpty: none
  uint32_t helpContext;
};

struct EventDesc {
  int32_t dispid;
  const char* name;
  std::span<const ParamDesc> params;
};

struct EnumeratorDesc {
  const char* name;
  int32_t value;
};

struct EnumDesc {
  const char* name;
  std::span<const EnumeratorDesc> values;
};

// The type library: every member in DISPID order.
CORVANE_API std::span<const PropertyDesc> PropertyTable();
CORVANE_API std::span<const MethodDesc> MethodTable();
CORVANE_API std::span<const EventDesc> EventTable();
CORVANE_API std::span<const EnumDesc> EnumTable();
// Case-insensitive lookups; nullptr when missing.
CORVANE_API const PropertyDesc* FindPropertyDesc(std::string_view name);
CORVANE_API const MethodDesc* FindMethodDesc(std::string_view name);
CORVANE_API const EventDesc* FindEventDesc(int32_t dispid);
CORVANE_API const EnumDesc* FindEnumDesc(std::string_view name);

// The automation result of an engine code: 0 for 0, kOutOfMemory for 200,
// 0x800A0000 | (code + 20001) up to 10000 and | (code + 15001) above.
CORVANE_API HResult AutomationResult(int code) noexcept;

// What a failed Invoke leaves for the host. code is the engine's code for an
// engine failure, the low word for a surface check, 0 otherwise.
struct ErrorInfo {
  HResult hresult = 0;
  int code = 0;
  std::u16string description;
  std::string source;
  uint32_t helpContext = 0;
  std::string helpFile;  // kHelpFile when helpContext is not 0
};

// A connected event listener. args are the event's arguments in table order,
// by reference: what the sink leaves in them goes back to the component (the
// accept flags of Redirect and SSLServerAuthentication, EvalEntity's value).
class CORVANE_API EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Invoke(int32_t dispid, std::span<Variant> args) = 0;
  // False for events the sink ignores: when no sink wants an event its
  // arguments are not converted at all (Transfer carries every block).
  virtual bool Wants(int32_t dispid) const { return true; }
};

class CORVANE_API Dispatch {
 public:
  Dispatch();                       // with a REST object of its own
  explicit Dispatch(REST& object);  // driving one the caller owns and outlives
  ~Dispatch();
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

  REST& Object() noexcept;

  // Properties and methods by name (case-insensitive): 0 or kDispUnknownName.
  HResult GetIDOfName(std::string_view name, int32_t& dispid) const;

  // Calls one member. Arguments in declaration order; an indexed property
  // takes its index first, a put its value last. result may be null. An
  // integer result the engine holds past its declared type (a Timeout in
  // milliseconds above 32767) comes in a wider integer type, never wrapped.
  HResult Invoke(int32_t dispid, InvokeKind kind, std::span<const Variant> args,
                 Variant* result = nullptr);
  HResult Invoke(std::string_view name, InvokeKind kind, std::span<const Variant> args,
                 Variant* result = nullptr);

  // The failure of the last Invoke that failed (cleared when one starts).
  const ErrorInfo& LastError() const noexcept;

  // The host's ambient user mode: at design time runtime-only properties
  // refuse to be read.
  void SetDesignTime(bool on) noexcept;
  bool DesignTime() const noexcept;
  // Set by OnStartPage: the object lives on a server page.
  bool ServerPage() const noexcept;

  // Connection points. While a sink is connected the object's listener is
  // this layer; removing the last one restores the listener it had.
  uint32_t Advise(EventSink* sink);
  void Unadvise(uint32_t cookie);

  // Text to and from the object's CodePage: 0, or the result of engine code
  // 434 when the text does not convert.
  HResult Widen(std::string_view text, std::u16string& out) const;
  HResult Narrow(std::u16string_view text, std::string& out) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The class factory: "Corvane.REST", "Corvane.REST.1" and "Corvane16.REST"
// (case-insensitive). nullptr with kClassString in *result for anything else.
CORVANE_API std::unique_ptr<Dispatch> CreateObject(std::string_view progId, HResult* result = nullptr);

}  // namespace corvane
