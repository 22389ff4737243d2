#pragma once

// The REST object's properties as data: DISPID, name, kind, index, access and
// help context, with typed access by name. The command-line client and the
// dispatch layer both work through it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "corvane/rest.h"

namespace corvane {

enum class PropertyKind { kString, kBool, kInt16, kInt32, kInt64, kBytes, kEnum };

// One value crossing the property table: numbers (and enumerations and
// booleans) in integer, strings and byte arrays in text.
struct PropertyValue {
  int64_t integer = 0;
  std::string text;
};

struct EnumeratorInfo {
  const char* name;
  int value;
};

struct PropertyInfo {
  int dispid;
  const char* name;
  PropertyKind kind;
  const char* enumName;  // the enumeration type for kEnum, else nullptr
  bool indexed;
  bool readOnly;
  bool runtimeOnly;
  int helpContext;
  // Reads the property into out (index ignored unless indexed). Returns the
  // code the getter left (0, or an index error such as 156).
  int (*get)(const REST& rest, int index, PropertyValue& out);
  // Writes it; returns the setter's code, or kErrReadOnlyProperty.
  int (*set)(REST& rest, int index, const PropertyValue& value);
};

inline constexpr int kErrReadOnlyProperty = -2;

std::span<const PropertyInfo> Properties();
// Case-insensitive lookup; nullptr when there is no such property.
const PropertyInfo* FindProperty(std::string_view name);
const PropertyInfo* FindProperty(int dispid);

// The enumerators of an enumeration type name ("AuthSchemes", ...).
std::span<const EnumeratorInfo> Enumerators(std::string_view enumName);

// Parses text for a property: a number ("0x" allowed), an enumerator name for
// enumerations, "true"/"false"/"yes"/"no"/"1"/"0" for booleans. False when the
// text fits none of these.
bool ParsePropertyText(const PropertyInfo& p, std::string_view text, PropertyValue& out);
// Renders a value as text: numbers in decimal, booleans "True"/"False",
// enumerations by number.
std::string PropertyText(const PropertyInfo& p, const PropertyValue& value);

}  // namespace corvane
