#pragma once

// Python values to automation Variants and back.
//   None <-> empty, bool <-> bool, int <-> 16/32/64-bit integer, str <-> string,
//   bytes/bytearray/memoryview <-> byte array (a memoryview keeps its shape),
//   list/tuple <-> array of variants.

#include <pybind11/pybind11.h>

#include "corvane/variant.h"

namespace corvane::python {

// Raises TypeError or OverflowError (as a pybind11 exception) for a value
// no Variant can hold.
Variant ToVariant(pybind11::handle value);
pybind11::object FromVariant(const Variant& value);

}  // namespace corvane::python
