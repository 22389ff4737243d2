#include "corvane/variant.h"

#include <charconv>

namespace corvane {

Variant::Variant(VariantType type, std::vector<uint8_t> bytes, std::vector<Variant> items,
                 std::vector<uint32_t> shape)
    : type_(type), bytes_(std::move(bytes)), items_(std::move(items)), shape_(std::move(shape)) {}

Variant Variant::Bytes(std::vector<uint8_t> bytes) {
  std::vector<uint32_t> shape{static_cast<uint32_t>(bytes.size())};
  return Bytes(std::move(bytes), std::move(shape));
}

Variant Variant::Bytes(std::vector<uint8_t> bytes, std::vector<uint32_t> shape) {
  return Variant(VariantType::kByteArray, std::move(bytes), {}, std::move(shape));
}

Variant Variant::Array(std::vector<Variant> items) {
  std::vector<uint32_t> shape{static_cast<uint32_t>(items.size())};
  return Array(std::move(items), std::move(shape));
}

Variant Variant::Array(std::vector<Variant> items, std::vector<uint32_t> shape) {
  return Variant(VariantType::kVariantArray, {}, std::move(items), std::move(shape));
}

namespace {

// A number with optional sign and surrounding blanks, as the platform's
// string-to-number coercion reads it; a "0x" prefix reads hexadecimal, as
// configuration strings do.
bool ParseNumber(std::u16string_view s, int64_t& out, bool& overflow) {
  overflow = false;
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  std::string narrow;
  for (char16_t c : s) {
    if (c > 0x7F) return false;
    narrow += static_cast<char>(c);
  }
  const char* first = narrow.data();
  const char* last = first + narrow.size();
  bool negative = first != last && *first == '-';
  if (first != last && (*first == '+' || *first == '-')) ++first;
  int base = 10;
  if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    base = 16;
    first += 2;
  }
  if (first == last) return false;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(first, last, magnitude, base);
  if (ec == std::errc::invalid_argument || end != last) return false;
  uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (ec == std::errc::result_out_of_range || magnitude > limit) {
    overflow = true;
    return true;
  }
  out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool EqualsAsciiNoCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    char d = b[i];
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d - 'A' + 'a');
    if (c != static_cast<unsigned char>(d)) return false;
  }
  return true;
}

}  // namespace

HResult Variant::ToInteger(int64_t min, int64_t max, int64_t& out) const {
  int64_t value = 0;
  switch (type_) {
    case VariantType::kEmpty:
      break;
    case VariantType::kBool:
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64:
      value = integer_;
      break;
    case VariantType::kString: {
      bool overflow = false;
      if (!ParseNumber(string_, value, overflow)) return kTypeMismatch;
      if (overflow) return kOverflow;
      break;
    }
    case VariantType::kByteArray:
    case VariantType::kVariantArray:
      return kTypeMismatch;
  }
  if (value < min || value > max) return kOverflow;
  out = value;
  return 0;
}

HResult Variant::ToBool(bool& out) const {
  switch (type_) {
    case VariantType::kEmpty:
      out = false;
      return 0;
    case VariantType::kBool:
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64:
      out = integer_ != 0;
      return 0;
    case VariantType::kString: {
      // The words configuration strings use, besides numbers.
      if (EqualsAsciiNoCase(string_, "true") || EqualsAsciiNoCase(string_, "yes")) {
        out = true;
        return 0;
      }
      if (EqualsAsciiNoCase(string_, "false") || EqualsAsciiNoCase(string_, "no")) {
        out = false;
        return 0;
      }
      int64_t n = 0;
      bool overflow = false;
      if (!ParseNumber(string_, n, overflow)) return kTypeMismatch;
      out = overflow || n != 0;
      return 0;
    }
    case VariantType::kByteArray:
    case VariantType::kVariantArray:
      return kTypeMismatch;
  }
  return kTypeMismatch;
}

HResult Variant::ToString(std::u16string& out) const {
  switch (type_) {
    case VariantType::kEmpty:
      out.clear();
      return 0;
    case VariantType::kBool:
      out = integer_ ? u"True" : u"False";
      return 0;
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64: {
      std::string digits = std::to_string(integer_);
      out.assign(digits.begin(), digits.end());
      return 0;
    }
    case VariantType::kString:
      out = string_;
      return 0;
    case VariantType::kByteArray:
    case VariantType::kVariantArray:
      return kTypeMismatch;
  }
  return kTypeMismatch;
}

bool Variant::ToByteVector(std::vector<uint8_t>& out) const {
  if (shape_.size() != 1) return false;
  switch (type_) {
    case VariantType::kByteArray:
      out = bytes_;
      return true;
    case VariantType::kVariantArray:
      out.clear();
      out.reserve(items_.size());
      for (const Variant& item : items_) {
        // Numbers only: a string element is not a byte.
        if (item.type_ == VariantType::kString || item.type_ == VariantType::kByteArray ||
            item.type_ == VariantType::kVariantArray) {
          return false;
        }
        out.push_back(static_cast<uint8_t>(item.integer_ & 0xFF));
      }
      return true;
    case VariantType::kEmpty:
    case VariantType::kBool:
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64:
    case VariantType::kString:
      return false;
  }
  return false;
}

}  // namespace corvane
