#include "corvane/version.h"

namespace corvane {

// Compiled into the library, so a program sees the version it runs against,
// not the one its headers came from.
const char* Version() noexcept { return CORVANE_VERSION_STRING; }

}  // namespace corvane
