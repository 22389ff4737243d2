#include "rest/property_table.h"

#include <array>
#include <type_traits>

#include "core/config_item.h"

namespace corvane {

namespace {

// Kind tags the .def list names, mapped to the table's kinds.
template <typename T>
struct KindOf;
struct String {};
struct Bool {};
struct Int16 {};
struct Int32 {};
struct Int64 {};
struct Bytes {};
template <> struct KindOf<String> { static constexpr PropertyKind kind = PropertyKind::kString; static constexpr const char* name = nullptr; };
template <> struct KindOf<Bool> { static constexpr PropertyKind kind = PropertyKind::kBool; static constexpr const char* name = nullptr; };
template <> struct KindOf<Int16> { static constexpr PropertyKind kind = PropertyKind::kInt16; static constexpr const char* name = nullptr; };
template <> struct KindOf<Int32> { static constexpr PropertyKind kind = PropertyKind::kInt32; static constexpr const char* name = nullptr; };
template <> struct KindOf<Int64> { static constexpr PropertyKind kind = PropertyKind::kInt64; static constexpr const char* name = nullptr; };
template <> struct KindOf<Bytes> { static constexpr PropertyKind kind = PropertyKind::kBytes; static constexpr const char* name = nullptr; };
template <> struct KindOf<AuthSchemes> { static constexpr PropertyKind kind = PropertyKind::kEnum; static constexpr const char* name = "AuthSchemes"; };
template <> struct KindOf<FirewallTypes> { static constexpr PropertyKind kind = PropertyKind::kEnum; static constexpr const char* name = "FirewallTypes"; };
template <> struct KindOf<TFollowRedirects> { static constexpr PropertyKind kind = PropertyKind::kEnum; static constexpr const char* name = "TFollowRedirects"; };
template <> struct KindOf<ProxySSLTypes> { static constexpr PropertyKind kind = PropertyKind::kEnum; static constexpr const char* name = "ProxySSLTypes"; };
template <> struct KindOf<CertStoreTypes> { static constexpr PropertyKind kind = PropertyKind::kEnum; static constexpr const char* name = "CertStoreTypes"; };

void Store(PropertyValue& out, const std::string& v) { out.text = v; }
void Store(PropertyValue& out, bool v) { out.integer = v ? 1 : 0; }
void Store(PropertyValue& out, int v) { out.integer = v; }
void Store(PropertyValue& out, int64_t v) { out.integer = v; }
template <typename E>
  requires std::is_enum_v<E>
void Store(PropertyValue& out, E v) {
  out.integer = static_cast<int>(v);
}

// Converts a table value to the setter's argument type.
template <typename Arg>
Arg Load(const PropertyValue& v) {
  if constexpr (std::is_same_v<Arg, std::string_view>) return v.text;
  else if constexpr (std::is_same_v<Arg, bool>) return v.integer != 0;
  else return static_cast<Arg>(v.integer);
}

template <typename R, typename A>
A SetterArg(int (REST::*)(A));
template <typename R, typename A>
A IndexedSetterArg(int (REST::*)(int, A));

}  // namespace

// Only an indexed read can be refused; a plain read must not report the code
// an earlier refused index left behind.
#define CORVANE_GETTER(Name)                                             \
  [](const REST& r, int index, PropertyValue& out) -> int {              \
    auto call = [&](const auto& rr) -> int {                             \
      if constexpr (requires { rr.Name(0); }) {                          \
        Store(out, rr.Name(index));                                      \
        return rr.LastGetCode();                                         \
      } else {                                                           \
        Store(out, rr.Name());                                           \
        return 0;                                                        \
      }                                                                  \
    };                                                                   \
    return call(r);                                                      \
  }

#define CORVANE_SETTER(Name)                                                          \
  [](REST& r, int index, const PropertyValue& v) -> int {                             \
    auto call = [&](auto& rr) -> int {                                                \
      if constexpr (requires { &std::remove_reference_t<decltype(rr)>::Set##Name; }) {\
        using S = decltype(&std::remove_reference_t<decltype(rr)>::Set##Name);       \
        return CallSetter(rr, index, v, static_cast<S>(&std::remove_reference_t<decltype(rr)>::Set##Name)); \
      } else {                                                                        \
        return kErrReadOnlyProperty;                                                  \
      }                                                                               \
    };                                                                                \
    return call(r);                                                                   \
  }

namespace {

template <typename A>
int CallSetter(REST& r, int, const PropertyValue& v, int (REST::*setter)(A)) {
  return (r.*setter)(Load<A>(v));
}
template <typename A>
int CallSetter(REST& r, int index, const PropertyValue& v, int (REST::*setter)(int, A)) {
  return (r.*setter)(index, Load<A>(v));
}

#define CORVANE_PROPERTY(dispid, Name, Kind, Index, ReadOnly, RuntimeOnly, Help)                 \
  PropertyInfo{dispid,        #Name,       KindOf<Kind>::kind,  KindOf<Kind>::name,                \
               !std::string_view(#Index).starts_with("None"), ReadOnly, RuntimeOnly, Help,          \
               CORVANE_GETTER(Name), CORVANE_SETTER(Name)},
const PropertyInfo kProperties[] = {
#include "rest/properties.def"
};
#undef CORVANE_PROPERTY

}  // namespace

std::span<const PropertyInfo> Properties() { return kProperties; }

const PropertyInfo* FindProperty(std::string_view name) {
  for (const PropertyInfo& p : kProperties) {
    if (EqualsNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

const PropertyInfo* FindProperty(int dispid) {
  for (const PropertyInfo& p : kProperties) {
    if (p.dispid == dispid) return &p;
  }
  return nullptr;
}

}  // namespace corvane
