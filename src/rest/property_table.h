#pragma once

// The REST object's properties as data: DISPID, name, kind, index, access and
// help context, with typed access by name. The dispatch layer reaches the
// REST object's accessors through it.

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

}  // namespace corvane
