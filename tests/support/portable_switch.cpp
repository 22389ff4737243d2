// Linked into the test binaries that run twice: with CORVANE_TEST_PORTABLE
// set, every test in the binary takes the portable paths.
#include <cstdlib>

#include "core/cpu_features.h"

namespace {

[[maybe_unused]] const bool kPortable = [] {
  const bool on = std::getenv("CORVANE_TEST_PORTABLE") != nullptr;
  corvane::detail::ForcePortable(on);
  return on;
}();

}  // namespace
