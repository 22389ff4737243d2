#pragma once

// The detection moved to core, where the parsers use it too; this name stays
// for code built against the crypto layer's headers.
#include "core/cpu_features.h"
