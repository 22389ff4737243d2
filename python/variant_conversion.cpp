#include "variant_conversion.h"

#include <climits>
#include <string>
#include <vector>

namespace py = pybind11;

namespace corvane::python {

namespace {

Variant FromBuffer(py::handle value) {
  py::buffer_info info = py::reinterpret_borrow<py::buffer>(value).request();
  if (info.itemsize != 1) throw py::type_error("only arrays of bytes convert to a byte array");
  std::vector<uint32_t> shape;
  size_t count = 1;
  for (py::ssize_t n : info.shape) {
    shape.push_back(static_cast<uint32_t>(n));
    count *= static_cast<size_t>(n);
  }
  // A non-contiguous view is copied element by element through bytes().
  py::bytes copy = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(value.ptr()));
  if (!copy) throw py::error_already_set();
  std::string data = copy;
  if (data.size() != count) throw py::type_error("byte array of inconsistent shape");
  return Variant::Bytes(std::vector<uint8_t>(data.begin(), data.end()), std::move(shape));
}

}  // namespace

Variant ToVariant(py::handle value) {
  if (value.is_none()) return Variant();
  if (py::isinstance<py::bool_>(value)) return Variant(value.cast<bool>());
  if (py::isinstance<py::int_>(value)) {
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) throw py::value_error("integer does not fit in 64 bits");
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
    return Variant(static_cast<int64_t>(n));
  }
  if (py::isinstance<py::str>(value)) return Variant(value.cast<std::u16string>());
  if (py::isinstance<py::bytes>(value)) {
    std::string data = value.cast<std::string>();
    return Variant::Bytes(std::vector<uint8_t>(data.begin(), data.end()));
  }
  if (PyObject_CheckBuffer(value.ptr())) return FromBuffer(value);
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    std::vector<Variant> items;
    for (py::handle item : value) items.push_back(ToVariant(item));
    return Variant::Array(std::move(items));
  }
  throw py::type_error(
      std::string("a ") + Py_TYPE(value.ptr())->tp_name +
      " cannot cross to the component (use None, bool, int, str, bytes or a list)");
}

py::object FromVariant(const Variant& value) {
  switch (value.type()) {
    case VariantType::kEmpty:
      return py::none();
    case VariantType::kBool:
      return py::bool_(value.integer() != 0);
    case VariantType::kInt16:
    case VariantType::kInt32:
    case VariantType::kInt64:
      return py::int_(value.integer());
    case VariantType::kString:
      return py::cast(value.string());
    case VariantType::kByteArray:
      return py::bytes(reinterpret_cast<const char*>(value.bytes().data()), value.bytes().size());
    case VariantType::kVariantArray: {
      py::list items;
      for (const Variant& item : value.items()) items.append(FromVariant(item));
      return items;
    }
  }
  return py::none();
}

}  // namespace corvane::python
