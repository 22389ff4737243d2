// The type library of the REST object: properties (from the shared property
// list), methods, events and enumerations, with DISPIDs and help contexts.

#include <array>
#include <string>

#include "core/config_item.h"
#include "corvane/dispatch.h"

namespace corvane {

namespace {

using V = ValueType;

// The kind names of the property list, in a scope of their own so that they
// hide the enumeration types of the same names.
namespace kinds {

constexpr ValueType String = V::kString;
constexpr ValueType Bool = V::kBool;
constexpr ValueType Int16 = V::kInt16;
constexpr ValueType Int32 = V::kInt32;
constexpr ValueType Int64 = V::kInt64;
constexpr ValueType Bytes = V::kBytes;
constexpr ValueType AuthSchemes = V::kEnum;
constexpr ValueType FirewallTypes = V::kEnum;
constexpr ValueType TFollowRedirects = V::kEnum;
constexpr ValueType ProxySSLTypes = V::kEnum;
constexpr ValueType CertStoreTypes = V::kEnum;

constexpr const char* IndexName(const char* index) {
  return std::string_view(index) == "None" ? nullptr : index;
}

// The property that counts the values behind an index argument.
constexpr const char* CountName(const char* index) {
  std::string_view i(index);
  if (i == "CookieIndex") return "CookieCount";
  if (i == "NamespaceIndex") return "NamespaceCount";
  if (i == "ParsedHeaderIndex") return "ParsedHeaderCount";
  if (i == "AttrIndex") return "AttrCount";
  if (i == "XChildIndex") return "XChildCount";
  return nullptr;
}

// The two properties that exist only while their event runs are checked for
// design time before anything else, a put included.
constexpr bool RuntimeCheckOnPut(int dispid) {
  return dispid == 83 || dispid == 84;
}

const PropertyDesc kProperties[] = {
#define CORVANE_PROPERTY(dispid, Name, Kind, Index, ReadOnly, RuntimeOnly, Help) \
  {dispid,                                                                       \
   #Name,                                                                        \
   Kind,                                                                         \
   Kind == V::kEnum ? #Kind : nullptr,                                           \
   IndexName(#Index),                                                            \
   CountName(#Index),                                                            \
   ReadOnly,                                                                     \
   RuntimeOnly,                                                                  \
   RuntimeCheckOnPut(dispid),                                                    \
   Help},
#include "rest/properties.def"
#undef CORVANE_PROPERTY
};

}  // namespace kinds

using kinds::Bool;
using kinds::Int16;
using kinds::Int64;
using kinds::String;

constexpr ParamDesc kAddCookie[] = {{"CookieName", String}, {"CookieValue", String}};
constexpr ParamDesc kAttrName[] = {{"AttrName", String}};
constexpr ParamDesc kConfigString[] = {{"ConfigurationString", String}};
constexpr ParamDesc kUrl[] = {{"URL", String}};
constexpr ParamDesc kXPathArg[] = {{"XPath", String}};
constexpr ParamDesc kPageContext[] = {{"PageContext", V::kVariant}};

constexpr std::span<const ParamDesc> kNone{};

const MethodDesc kMethods[] = {
    {502, "AddCookie", kAddCookie, V::kEmpty, 43401},
    {503, "Attr", kAttrName, String, 43402},
    {504, "Config", kConfigString, String, 43403},
    {505, "Delete", kUrl, V::kEmpty, 43404},
    {506, "DoEvents", kNone, V::kEmpty, 43405},
    {507, "Get", kUrl, V::kEmpty, 43406},
    {508, "HasXPath", kXPathArg, Bool, 43407},
    {509, "Interrupt", kNone, V::kEmpty, 43408},
    {510, "Post", kUrl, V::kEmpty, 43409},
    {511, "Put", kUrl, V::kEmpty, 43410},
    {512, "Reset", kNone, V::kEmpty, 43411},
    {0x600200B6, "OnStartPage", kPageContext, V::kEmpty, 0},
    {0x600200B7, "OnEndPage", kNone, V::kEmpty, 0},
};

constexpr ParamDesc kText[] = {{"Text", String}};
constexpr ParamDesc kStatus[] = {{"StatusCode", Int16}, {"Description", String}};
constexpr ParamDesc kConnectionStatus[] = {
    {"ConnectionEvent", String}, {"StatusCode", Int16}, {"Description", String}};
constexpr ParamDesc kElement[] = {
    {"Namespace", String}, {"Element", String}, {"QName", String}, {"IsEmpty", Bool}};
constexpr ParamDesc kPrefix[] = {{"Prefix", String}};
constexpr ParamDesc kDirection[] = {{"Direction", Int16}};
constexpr ParamDesc kError[] = {{"ErrorCode", Int16}, {"Description", String}};
constexpr ParamDesc kEvalEntity[] = {{"Entity", String}, {"Value", String}};
constexpr ParamDesc kHeader[] = {{"Field", String}, {"Value", String}};
constexpr ParamDesc kLog[] = {{"LogLevel", Int16}, {"Message", String}, {"LogType", String}};
constexpr ParamDesc kRedirect[] = {{"Location", String}, {"Accept", Bool}};
constexpr ParamDesc kSetCookie[] = {{"Name", String},   {"Value", String}, {"Expires", String},
                                    {"Domain", String}, {"Path", String},  {"Secure", Bool}};
constexpr ParamDesc kSpecialSection[] = {{"SectionId", String}, {"Text", String}};
constexpr ParamDesc kServerAuth[] = {{"CertEncoded", String},
                                     {"CertSubject", String},
                                     {"CertIssuer", String},
                                     {"Status", String},
                                     {"Accept", Bool}};
constexpr ParamDesc kSSLStatus[] = {{"Message", String}};
constexpr ParamDesc kStartPrefixMapping[] = {{"Prefix", String}, {"URI", String}};
constexpr ParamDesc kHttpStatus[] = {
    {"HTTPVersion", String}, {"StatusCode", Int16}, {"Description", String}};
constexpr ParamDesc kTransfer[] = {
    {"Direction", Int16}, {"BytesTransferred", Int64}, {"PercentDone", Int16}, {"Text", String}};

const EventDesc kEvents[] = {
    {1, "Characters", kText},
    {2, "Comment", kText},
    {3, "Connected", kStatus},
    {4, "ConnectionStatus", kConnectionStatus},
    {5, "Disconnected", kStatus},
    {6, "EndElement", kElement},
    {7, "EndPrefixMapping", kPrefix},
    {8, "EndTransfer", kDirection},
    {9, "Error", kError},
    {10, "EvalEntity", kEvalEntity},
    {11, "Header", kHeader},
    {12, "IgnorableWhitespace", kText},
    {13, "Log", kLog},
    {14, "Meta", kText},
    {15, "PI", kText},
    {16, "Redirect", kRedirect},
    {17, "SetCookie", kSetCookie},
    {18, "SpecialSection", kSpecialSection},
    {19, "SSLServerAuthentication", kServerAuth},
    {20, "SSLStatus", kSSLStatus},
    {21, "StartElement", kElement},
    {22, "StartPrefixMapping", kStartPrefixMapping},
    {23, "StartTransfer", kDirection},
    {24, "Status", kHttpStatus},
    {25, "Transfer", kTransfer},
};

constexpr EnumeratorDesc kAuthSchemes[] = {
    {"authBasic", 0}, {"authDigest", 1},    {"authProprietary", 2}, {"authNone", 3},
    {"authNtlm", 4},  {"authNegotiate", 5}, {"authOAuth", 6}};
constexpr EnumeratorDesc kFirewallTypes[] = {
    {"fwNone", 0}, {"fwTunnel", 1}, {"fwSOCKS4", 2}, {"fwSOCKS5", 3}};
constexpr EnumeratorDesc kFollowRedirects[] = {
    {"frNever", 0}, {"frAlways", 1}, {"frSameScheme", 2}};
constexpr EnumeratorDesc kProxySSLTypes[] = {
    {"psAutomatic", 0}, {"psAlways", 1}, {"psNever", 2}, {"psTunnel", 3}};
constexpr EnumeratorDesc kCertStoreTypes[] = {
    {"cstUser", 0},          {"cstMachine", 1},           {"cstPFXFile", 2},
    {"cstPFXBlob", 3},       {"cstJKSFile", 4},           {"cstJKSBlob", 5},
    {"cstPEMKeyFile", 6},    {"cstPEMKeyBlob", 7},        {"cstPublicKeyFile", 8},
    {"cstPublicKeyBlob", 9}, {"cstSSHPublicKeyBlob", 10}, {"cstP7BFile", 11},
    {"cstP7BBlob", 12},      {"cstSSHPublicKeyFile", 13}, {"cstPPKFile", 14},
    {"cstPPKBlob", 15},      {"cstXMLFile", 16},          {"cstXMLBlob", 17}};

const EnumDesc kEnums[] = {{"AuthSchemes", kAuthSchemes},
                           {"FirewallTypes", kFirewallTypes},
                           {"TFollowRedirects", kFollowRedirects},
                           {"ProxySSLTypes", kProxySSLTypes},
                           {"CertStoreTypes", kCertStoreTypes}};

template <typename Desc>
const Desc* FindByName(std::span<const Desc> table, std::string_view name) {
  for (const Desc& d : table) {
    if (EqualsNoCase(d.name, name)) return &d;
  }
  return nullptr;
}

}  // namespace

std::span<const PropertyDesc> PropertyTable() {
  return kinds::kProperties;
}
std::span<const MethodDesc> MethodTable() {
  return kMethods;
}
std::span<const EventDesc> EventTable() {
  return kEvents;
}
std::span<const EnumDesc> EnumTable() {
  return kEnums;
}

const PropertyDesc* FindPropertyDesc(std::string_view name) {
  return FindByName(PropertyTable(), name);
}
const MethodDesc* FindMethodDesc(std::string_view name) {
  return FindByName(MethodTable(), name);
}
const EnumDesc* FindEnumDesc(std::string_view name) {
  return FindByName(EnumTable(), name);
}

const EventDesc* FindEventDesc(int32_t dispid) {
  if (dispid < 1 || dispid > static_cast<int32_t>(std::size(kEvents))) return nullptr;
  return &kEvents[dispid - 1];
}

}  // namespace corvane
