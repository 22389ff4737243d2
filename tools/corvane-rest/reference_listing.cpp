#include "corvane-rest/reference_listing.h"

#include <string>
#include <string_view>
#include <vector>

#include "corvane/dispatch.h"
#include "corvane/errors.h"
#include "corvane/rest.h"

namespace corvane::cli {

namespace {

const char* TypeName(const PropertyDesc& p) {
  switch (p.type) {
    case ValueType::kEmpty: return "";
    case ValueType::kBool: return "Bool";
    case ValueType::kInt16: return "Int16";
    case ValueType::kInt32: return "Int32";
    case ValueType::kInt64: return "Int64";
    case ValueType::kString: return "String";
    case ValueType::kBytes: return "Bytes";
    case ValueType::kEnum: return p.enumName;
    case ValueType::kVariant: return "Variant";
  }
  return "";
}

const char* TypeName(ValueType type) {
  PropertyDesc p{};
  p.type = type;
  return TypeName(p);
}

// Control bytes would break the one-row-per-line form.
std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string EnumeratorName(const char* enumName, int64_t value) {
  if (const EnumDesc* e = FindEnumDesc(enumName)) {
    for (const EnumeratorDesc& v : e->values) {
      if (v.value == value) return v.name;
    }
  }
  return std::to_string(value);
}

// The value a fresh object reports; indexed properties have none.
std::string DefaultValue(Dispatch& d, const PropertyDesc& p) {
  if (p.indexName != nullptr) return "";
  Variant value;
  if (d.Invoke(p.dispid, InvokeKind::kPropertyGet, {}, &value) != 0) return "";
  switch (value.type()) {
    case VariantType::kEmpty: return "";
    case VariantType::kBool: return value.integer() ? "True" : "False";
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64:
      return p.type == ValueType::kEnum ? EnumeratorName(p.enumName, value.integer())
                                        : std::to_string(value.integer());
    case VariantType::kString: {
      std::string narrow;
      d.Narrow(value.string(), narrow);
      return Escape(narrow);
    }
    case VariantType::kByteArray:
      return Escape(std::string(value.bytes().begin(), value.bytes().end()));
    case VariantType::kVariantArray: return "";
  }
  return "";
}

}  // namespace

void ListProperties(std::FILE* out) {
  REST rest;
  Dispatch d(rest);
  std::fputs("Property\tType\tAccess\tIndex\tDefault\tHelpContext\n", out);
  for (const PropertyDesc& p : PropertyTable()) {
    const char* access = p.readOnly ? "read-only" : "read-write";
    std::fprintf(out, "%s\t%s\t%s%s\t%s\t%s\t%u\n", p.name, TypeName(p), access,
                 p.runtimeOnly ? ", runtime" : "", p.indexName ? p.indexName : "",
                 DefaultValue(d, p).c_str(), p.helpContext);
  }
}

void ListConfig(std::FILE* out) {
  REST rest;
  std::fputs("Key\tDefault\tLayer\n", out);
  for (const ConfigKeyDesc& k : ConfigKeyTable()) {
    std::string answer;
    // Keys that only act when set answer a query with an error: no default.
    if (rest.Config(k.name, &answer) != 0) answer.clear();
    std::fprintf(out, "%s\t%s\t%s\n", k.name, Escape(answer).c_str(), k.layer);
  }
}

void ListEvents(std::FILE* out) {
  std::fputs("Event\tArguments\n", out);
  for (const EventDesc& e : EventTable()) {
    std::string args;
    for (const ParamDesc& p : e.params) {
      if (!args.empty()) args += ", ";
      args += p.name;
      args += ": ";
      args += TypeName(p.type);
    }
    std::fprintf(out, "%s\t%s\n", e.name, args.c_str());
  }
}

void ListErrors(std::FILE* out) {
  std::fputs("Code\tSubsystem\tName\tMessage\n", out);
  for (const ErrorDesc& e : ErrorTable()) {
    std::fprintf(out, "%d\t%s\t%s\t%s\n", e.code, e.subsystem, e.name, Escape(e.message).c_str());
  }
}

}  // namespace corvane::cli
