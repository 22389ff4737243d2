#pragma once

#include <memory>

#include "http/platform_transport.h"

namespace corvane::platform {

// The platform HTTP library on Linux: libcurl, driven from the worker thread.
// The transport keeps its connections and its cookie store from one
// transaction to the next, as the library's session would.
std::unique_ptr<http::PlatformTransport> MakeCurlTransport();

}  // namespace corvane::platform
