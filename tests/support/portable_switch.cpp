// Linked into test binaries that run twice; CORVANE_TEST_PORTABLE makes the second run portable.
#include <cstdlib>

#include "core/cpu_features.h"

[[maybe_unused]] static const bool kPortable =
    (corvane::detail::ForcePortable(std::getenv("CORVANE_TEST_PORTABLE") != nullptr), true);
