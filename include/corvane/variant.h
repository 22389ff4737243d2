#pragma once

// The value type of the automation surface: what crosses Dispatch::Invoke and
// the event sinks. Strings are UTF-16 here and only here; the object converts
// them with its CodePage. Arrays carry their shape, so a host can hand over a
// two-dimensional array and be told that a property wants one dimension.

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/export.h"

namespace corvane {

// Automation results: 0 for success, otherwise a failure code in the
// platform's HRESULT form (0x800A.... for the component's own errors).
using HResult = uint32_t;

enum class VariantType {
  kEmpty,
  kBool,
  kInt16,
  kInt32,
  kInt64,
  kString,
  kByteArray,
  kVariantArray
};

class CORVANE_API Variant {
 public:
  Variant() = default;
  Variant(bool value) : type_(VariantType::kBool), integer_(value ? 1 : 0) {}
  Variant(int16_t value) : type_(VariantType::kInt16), integer_(value) {}
  Variant(int32_t value) : type_(VariantType::kInt32), integer_(value) {}
  Variant(int64_t value) : type_(VariantType::kInt64), integer_(value) {}
  Variant(std::u16string value) : type_(VariantType::kString), string_(std::move(value)) {}
  Variant(const char16_t* value) : Variant(std::u16string(value ? value : u"")) {}

  // Arrays. Without a shape they have one dimension; with one, the element
  // count must be the product of the dimensions (row-major order).
  static Variant Bytes(std::vector<uint8_t> bytes);
  static Variant Bytes(std::vector<uint8_t> bytes, std::vector<uint32_t> shape);
  static Variant Array(std::vector<Variant> items);
  static Variant Array(std::vector<Variant> items, std::vector<uint32_t> shape);

  VariantType type() const noexcept { return type_; }
  bool empty() const noexcept { return type_ == VariantType::kEmpty; }
  // The raw content of each type; accessors of another type answer the
  // neutral value (0, "", no elements).
  int64_t integer() const noexcept { return integer_; }
  const std::u16string& string() const noexcept { return string_; }
  const std::vector<uint8_t>& bytes() const noexcept { return bytes_; }
  const std::vector<Variant>& items() const noexcept { return items_; }
  const std::vector<uint32_t>& shape() const noexcept { return shape_; }

  // Coercions applied to arguments, as automation hosts expect them: empty
  // reads as 0, false or ""; a string holding a number (decimal, or
  // hexadecimal after "0x") reads as that number, and "true"/"yes" and
  // "false"/"no" as booleans; true is 1. Return 0, kTypeMismatch or kOverflow (out of [min, max]).
  HResult ToInteger(int64_t min, int64_t max, int64_t& out) const;
  HResult ToBool(bool& out) const;
  HResult ToString(std::u16string& out) const;

  // The element bytes of a one-dimensional array of bytes, or of variants
  // (the low byte of each); false for any other value.
  bool ToByteVector(std::vector<uint8_t>& out) const;

  friend bool operator==(const Variant&, const Variant&) = default;

  static constexpr HResult kTypeMismatch = 0x80020005u;
  static constexpr HResult kOverflow = 0x8002000Au;

 private:
  // An array of either kind.
  Variant(VariantType type, std::vector<uint8_t> bytes, std::vector<Variant> items,
          std::vector<uint32_t> shape);

  VariantType type_ = VariantType::kEmpty;
  int64_t integer_ = 0;  // bool and the integer types
  std::u16string string_;
  std::vector<uint8_t> bytes_;
  std::vector<Variant> items_;
  std::vector<uint32_t> shape_;  // arrays only
};

}  // namespace corvane
