#include "corvane/dispatch.h"

#include <limits>
#include <new>
#include <utility>

#include "core/code_page.h"
#include "core/config_item.h"
#include "core/error_codes.h"
#include "core/error_text.h"
#include "rest/dispatch_errors.h"
#include "rest/event_bridge.h"
#include "rest/property_table.h"
#include "rest/rest_client.h"

namespace corvane {

namespace {

constexpr char kSource[] = "Corvane.REST";

const PropertyDesc* PropertyByDispid(int32_t dispid) {
  auto table = PropertyTable();
  if (dispid < 1 || dispid > static_cast<int32_t>(table.size())) return nullptr;
  return &table[dispid - 1];
}

const MethodDesc* MethodByDispid(int32_t dispid) {
  for (const MethodDesc& m : MethodTable()) {
    if (m.dispid == dispid) return &m;
  }
  return nullptr;
}

// The values an integer argument of a declared type may take.
std::pair<int64_t, int64_t> IntegerRange(ValueType type) {
  if (type == ValueType::kInt16)
    return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
  if (type == ValueType::kInt32)
    return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
}

// An integer result in its declared type, or in the next wider one when the
// engine holds more than that type can (a Timeout in milliseconds, a child
// count past 32767): a host gets the engine's value, never a wrapped one.
Variant IntegerVariant(ValueType type, int64_t value) {
  auto fits = [value](ValueType t) {
    auto [min, max] = IntegerRange(t);
    return value >= min && value <= max;
  };
  if (type == ValueType::kInt16 && fits(ValueType::kInt16))
    return Variant(static_cast<int16_t>(value));
  if (type != ValueType::kInt64 && fits(ValueType::kInt32))
    return Variant(static_cast<int32_t>(value));
  return Variant(value);
}

std::u16string Ascii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

struct Dispatch::Impl {
  explicit Impl(REST& object) : rest(object), events([this] { return CodePage(); }) {}

  unsigned CodePage() const { return rest.Engine().CodePage(); }

  // Records a failure and returns its result.
  HResult Fail(HResult hr, int code, std::u16string description, uint32_t helpContext) {
    error.hresult = hr;
    error.code = code;
    error.description = std::move(description);
    error.source = kSource;
    error.helpContext = helpContext;
    error.helpFile = helpContext != 0 ? kHelpFile : "";
    return hr;
  }
  HResult Fail(DispatchError e, uint32_t helpContext) {
    return Fail(DispatchErrorResult(e), DispatchErrorCode(e), Ascii(DispatchErrorText(e)),
                helpContext);
  }
  // An engine code turned into the automation error of a member.
  HResult EngineResult(int code, uint32_t helpContext) {
    if (code == 0) return 0;
    if (code == kErrOutOfMemory) return Fail(DispatchError::OutOfMemory, 0);
    std::string message = AutomationMessage(code, rest.LastError());
    return Fail(AutomationResult(code), code, WidenText(message, CodePage()), helpContext);
  }
  HResult ArgumentFailure(HResult hr) {
    return Fail(hr == kDispOverflow ? DispatchError::Overflow : DispatchError::TypeMismatch, 0);
  }

  HResult ToInteger(const Variant& v, ValueType type, PropertyValue& out) {
    auto [min, max] = IntegerRange(type);
    HResult hr = v.ToInteger(min, max, out.integer);
    return hr != 0 ? ArgumentFailure(hr) : 0;
  }

  // Checks the argument count of a property call (its index, if it has one,
  // then valueArgs more) and converts the index.
  HResult TakeIndex(const PropertyDesc& p, std::span<const Variant> args, size_t valueArgs,
                    PropertyValue& index) {
    bool indexed = p.indexName != nullptr;
    if (args.size() != (indexed ? 1u : 0u) + valueArgs)
      return Fail(DispatchError::BadParamCount, 0);
    return indexed ? Convert(args[0], ValueType::kInt32, nullptr, p.helpContext, index) : 0;
  }

  // Converts an argument to the engine's form of type. Strings go through
  // the code page; an enumeration also takes its enumerators' names.
  HResult Convert(const Variant& v, ValueType type, const char* enumName, uint32_t helpContext,
                  PropertyValue& out) {
    HResult hr = 0;
    switch (type) {
      case ValueType::kEmpty:
      case ValueType::kVariant:
        return 0;
      case ValueType::kString: {
        std::u16string text;
        if ((hr = v.ToString(text)) != 0) return ArgumentFailure(hr);
        if (NarrowText(text, CodePage(), out.text) != 0)
          return EngineResult(kErrCodePage, helpContext);
        return 0;
      }
      case ValueType::kBytes: {
        std::vector<uint8_t> bytes;
        if (!v.ToByteVector(bytes)) return Fail(DispatchError::ByteArray, helpContext);
        out.text.assign(bytes.begin(), bytes.end());
        return 0;
      }
      case ValueType::kBool: {
        bool b = false;
        if ((hr = v.ToBool(b)) != 0) return ArgumentFailure(hr);
        out.integer = b ? 1 : 0;
        return 0;
      }
      case ValueType::kInt16:
      case ValueType::kInt32:
      case ValueType::kInt64:
        return ToInteger(v, type, out);
      case ValueType::kEnum: {
        if (const EnumDesc* e = FindEnumDesc(enumName); e && v.type() == VariantType::kString) {
          std::string name;
          FromUtf16(v.string(), 65001, name);
          for (const EnumeratorDesc& d : e->values) {
            if (EqualsNoCase(d.name, name)) {
              out.integer = d.value;
              return 0;
            }
          }
        }
        if ((hr = ToInteger(v, ValueType::kInt32, out)) != 0) return hr;
        // Finer checks are the engine's; the surface only refuses what cannot
        // be an enumerator at all.
        if (static_cast<uint32_t>(out.integer) >= 256)
          return Fail(DispatchError::OutOfRange, helpContext);
        return 0;
      }
    }
    return 0;
  }

  Variant ToVariant(ValueType type, const PropertyValue& v) const {
    switch (type) {
      case ValueType::kEmpty:
      case ValueType::kVariant:
        return {};
      case ValueType::kString:
        return Variant(WidenText(v.text, CodePage()));
      case ValueType::kBytes:
        return Variant::Bytes(std::vector<uint8_t>(v.text.begin(), v.text.end()));
      case ValueType::kBool:
        return Variant(v.integer != 0);
      case ValueType::kInt16:
      case ValueType::kInt32:
      case ValueType::kInt64:
        return IntegerVariant(type, v.integer);
      case ValueType::kEnum:
        return IntegerVariant(ValueType::kInt32, v.integer);
    }
    return {};
  }

  HResult GetProperty(const PropertyDesc& p, std::span<const Variant> args, Variant* result);
  HResult PutProperty(const PropertyDesc& p, std::span<const Variant> args);
  HResult CallMethod(const MethodDesc& m, std::span<const Variant> args, Variant* result);

  std::unique_ptr<REST> owned;
  REST& rest;
  EventBridge events;
  RESTEvents* listenerBefore = nullptr;
  ErrorInfo error;
  bool designTime = false;
  bool serverPage = false;
};

HResult Dispatch::Impl::GetProperty(const PropertyDesc& p, std::span<const Variant> args,
                                    Variant* result) {
  if (p.runtimeOnly && designTime) return Fail(DispatchError::RuntimeOnly, p.helpContext);
  PropertyValue index;
  if (HResult hr = TakeIndex(p, args, 0, index)) return hr;
  PropertyValue value;
  int rc = FindProperty(p.dispid)->get(rest, static_cast<int>(index.integer), value);
  // Only the indexed getters leave a code; the engine's message stays its
  // last error text.
  if (p.indexName && rc != 0) return Fail(DispatchError::ArrayIndex, p.helpContext);
  if (result) *result = ToVariant(p.type, value);
  return 0;
}

HResult Dispatch::Impl::PutProperty(const PropertyDesc& p, std::span<const Variant> args) {
  if (p.runtimeCheckOnPut && designTime) return Fail(DispatchError::RuntimeOnly, p.helpContext);
  if (p.readOnly) return Fail(DispatchError::ReadOnly, p.helpContext);
  PropertyValue index;
  if (HResult hr = TakeIndex(p, args, 1, index)) return hr;
  PropertyValue value;
  if (HResult hr = Convert(args.back(), p.type, p.enumName, p.helpContext, value)) return hr;
  int rc = FindProperty(p.dispid)->set(rest, static_cast<int>(index.integer), value);
  return EngineResult(rc, p.helpContext);
}

HResult Dispatch::Impl::CallMethod(const MethodDesc& m, std::span<const Variant> args,
                                   Variant* result) {
  // An argument of kVariant (the page context) may be left out.
  size_t required = 0;
  for (const ParamDesc& param : m.params) required += param.type == ValueType::kVariant ? 0 : 1;
  if (args.size() < required || args.size() > m.params.size()) {
    return Fail(DispatchError::BadParamCount, 0);
  }
  PropertyValue a[2];
  for (size_t i = 0; i < args.size(); ++i) {
    if (HResult hr = Convert(args[i], m.params[i].type, nullptr, m.helpContext, a[i])) return hr;
  }
  PropertyValue out;
  int rc = 0;
  // clang-format off
  switch (m.dispid) {
    case 502: rc = rest.AddCookie(a[0].text, a[1].text); break;
    case 503: out.text = rest.Attr(a[0].text); rc = rest.LastGetCode(); break;
    case 504: rc = rest.Config(a[0].text, &out.text); break;
    case 505: rc = rest.Delete(a[0].text); break;
    case 506: rc = rest.DoEvents(); break;
    case 507: rc = rest.Get(a[0].text); break;
    case 508: out.integer = rest.HasXPath(a[0].text) ? 1 : 0; break;
    case 509: rc = rest.Interrupt(); break;
    case 510: rc = rest.Post(a[0].text); break;
    case 511: rc = rest.Put(a[0].text); break;
    case 512: rc = rest.Reset(); break;
    case 0x600200B6: serverPage = true; break;  // OnStartPage
    case 0x600200B7: break;                     // OnEndPage
  }
  // clang-format on
  if (rc != 0) return EngineResult(rc, m.helpContext);
  if (result) *result = ToVariant(m.result, out);
  return 0;
}

Dispatch::Dispatch() {
  auto object = std::make_unique<REST>();
  impl_ = std::make_unique<Impl>(*object);
  impl_->owned = std::move(object);
}

Dispatch::Dispatch(REST& object) : impl_(std::make_unique<Impl>(object)) {}

Dispatch::~Dispatch() {
  if (!impl_->events.empty()) impl_->rest.SetListener(impl_->listenerBefore);
}

REST& Dispatch::Object() noexcept {
  return impl_->rest;
}

HResult Dispatch::GetIDOfName(std::string_view name, int32_t& dispid) const {
  if (const PropertyDesc* p = FindPropertyDesc(name)) {
    dispid = p->dispid;
    return 0;
  }
  if (const MethodDesc* m = FindMethodDesc(name)) {
    dispid = m->dispid;
    return 0;
  }
  return kDispUnknownName;
}

HResult Dispatch::Invoke(int32_t dispid, InvokeKind kind, std::span<const Variant> args,
                         Variant* result) {
  impl_->error = ErrorInfo{};
  try {
    // Hosts call a property as a method and a method as a property get when
    // a statement leaves the difference open.
    if (const PropertyDesc* p = PropertyByDispid(dispid)) {
      if (kind == InvokeKind::kPropertyPut) return impl_->PutProperty(*p, args);
      return impl_->GetProperty(*p, args, result);
    }
    if (const MethodDesc* m = MethodByDispid(dispid); m && kind != InvokeKind::kPropertyPut) {
      return impl_->CallMethod(*m, args, result);
    }
    return impl_->Fail(DispatchError::MemberNotFound, 0);
  } catch (const std::bad_alloc&) {
    return impl_->Fail(DispatchError::OutOfMemory, 0);
  }
}

HResult Dispatch::Invoke(std::string_view name, InvokeKind kind, std::span<const Variant> args,
                         Variant* result) {
  int32_t dispid = 0;
  if (GetIDOfName(name, dispid) != 0) {
    impl_->error = ErrorInfo{};
    return impl_->Fail(DispatchError::UnknownName, 0);
  }
  return Invoke(dispid, kind, args, result);
}

const ErrorInfo& Dispatch::LastError() const noexcept {
  return impl_->error;
}

void Dispatch::SetDesignTime(bool on) noexcept {
  impl_->designTime = on;
}
bool Dispatch::DesignTime() const noexcept {
  return impl_->designTime;
}
bool Dispatch::ServerPage() const noexcept {
  return impl_->serverPage;
}

uint32_t Dispatch::Advise(EventSink* sink) {
  if (impl_->events.empty()) {
    impl_->listenerBefore = impl_->rest.Engine().EventSink();
    impl_->rest.SetListener(&impl_->events);
  }
  return impl_->events.Add(sink);
}

void Dispatch::Unadvise(uint32_t cookie) {
  if (impl_->events.Remove(cookie) && impl_->events.empty())
    impl_->rest.SetListener(impl_->listenerBefore);
}

HResult Dispatch::Widen(std::string_view text, std::u16string& out) const {
  return AutomationResult(ToUtf16(text, impl_->CodePage(), out));
}

HResult Dispatch::Narrow(std::u16string_view text, std::string& out) const {
  return AutomationResult(NarrowText(text, impl_->CodePage(), out));
}

std::unique_ptr<Dispatch> CreateObject(std::string_view progId, HResult* result) {
  for (const char* known : {"Corvane.REST", "Corvane.REST.1", "Corvane16.REST"}) {
    if (EqualsNoCase(known, progId)) {
      if (result) *result = 0;
      return std::make_unique<Dispatch>();
    }
  }
  if (result) *result = kClassString;
  return nullptr;
}

}  // namespace corvane
