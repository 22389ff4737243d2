#include "rest/property_table.h"

#include <array>
#include <type_traits>

#include "core/config_item.h"

namespace corvane {

namespace {

constexpr EnumeratorInfo kAuthSchemes[] = {
    {"authBasic", authBasic}, {"authDigest", authDigest},       {"authProprietary", authProprietary},
    {"authNone", authNone},   {"authNtlm", authNtlm},           {"authNegotiate", authNegotiate},
    {"authOAuth", authOAuth}};
constexpr EnumeratorInfo kFirewallTypes[] = {
    {"fwNone", fwNone}, {"fwTunnel", fwTunnel}, {"fwSOCKS4", fwSOCKS4}, {"fwSOCKS5", fwSOCKS5}};
constexpr EnumeratorInfo kFollowRedirects[] = {
    {"frNever", frNever}, {"frAlways", frAlways}, {"frSameScheme", frSameScheme}};
constexpr EnumeratorInfo kProxySSLTypes[] = {
    {"psAutomatic", psAutomatic}, {"psAlways", psAlways}, {"psNever", psNever}, {"psTunnel", psTunnel}};
constexpr EnumeratorInfo kCertStoreTypes[] = {
    {"cstUser", cstUser},
    {"cstMachine", cstMachine},
    {"cstPFXFile", cstPFXFile},
    {"cstPFXBlob", cstPFXBlob},
    {"cstJKSFile", cstJKSFile},
    {"cstJKSBlob", cstJKSBlob},
    {"cstPEMKeyFile", cstPEMKeyFile},
    {"cstPEMKeyBlob", cstPEMKeyBlob},
    {"cstPublicKeyFile", cstPublicKeyFile},
    {"cstPublicKeyBlob", cstPublicKeyBlob},
    {"cstSSHPublicKeyBlob", cstSSHPublicKeyBlob},
    {"cstP7BFile", cstP7BFile},
    {"cstP7BBlob", cstP7BBlob},
    {"cstSSHPublicKeyFile", cstSSHPublicKeyFile},
    {"cstPPKFile", cstPPKFile},
    {"cstPPKBlob", cstPPKBlob},
    {"cstXMLFile", cstXMLFile},
    {"cstXMLBlob", cstXMLBlob}};

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

#define CORVANE_GETTER(Name)                                             \
  [](const REST& r, int index, PropertyValue& out) -> int {              \
    auto call = [&](const auto& rr) {                                    \
      if constexpr (requires { rr.Name(0); }) return rr.Name(index);     \
      else return rr.Name();                                             \
    };                                                                   \
    Store(out, call(r));                                                 \
    return r.LastGetCode();                                              \
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

std::span<const EnumeratorInfo> Enumerators(std::string_view enumName) {
  if (enumName == "AuthSchemes") return kAuthSchemes;
  if (enumName == "FirewallTypes") return kFirewallTypes;
  if (enumName == "TFollowRedirects") return kFollowRedirects;
  if (enumName == "ProxySSLTypes") return kProxySSLTypes;
  if (enumName == "CertStoreTypes") return kCertStoreTypes;
  return {};
}

namespace {

bool ParseNumber(std::string_view text, int64_t& out) {
  if (text.empty()) return false;
  std::string_view digits = text;
  bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  if (hex) digits.remove_prefix(2);
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  if (digits.empty()) return false;
  for (char c : digits) {
    bool ok = (c >= '0' && c <= '9') ||
              (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!ok) return false;
  }
  out = ParseConfigInt(text);
  return true;
}

}  // namespace

bool ParsePropertyText(const PropertyInfo& p, std::string_view text, PropertyValue& out) {
  switch (p.kind) {
    case PropertyKind::kString:
    case PropertyKind::kBytes:
      out.text = text;
      return true;
    case PropertyKind::kBool:
      if (EqualsNoCase(text, "true") || EqualsNoCase(text, "yes") || text == "1") {
        out.integer = 1;
        return true;
      }
      if (EqualsNoCase(text, "false") || EqualsNoCase(text, "no") || text == "0") {
        out.integer = 0;
        return true;
      }
      return false;
    case PropertyKind::kEnum:
      for (const EnumeratorInfo& e : Enumerators(p.enumName)) {
        if (EqualsNoCase(e.name, text)) {
          out.integer = e.value;
          return true;
        }
      }
      return ParseNumber(text, out.integer);
    case PropertyKind::kInt16:
    case PropertyKind::kInt32:
    case PropertyKind::kInt64:
      return ParseNumber(text, out.integer);
  }
  return false;
}

std::string PropertyText(const PropertyInfo& p, const PropertyValue& value) {
  switch (p.kind) {
    case PropertyKind::kString:
    case PropertyKind::kBytes:
      return value.text;
    case PropertyKind::kBool:
      return value.integer ? "True" : "False";
    case PropertyKind::kEnum:
    case PropertyKind::kInt16:
    case PropertyKind::kInt32:
    case PropertyKind::kInt64:
      return std::to_string(value.integer);
  }
  return {};
}

}  // namespace corvane
