#pragma once

// The GSSAPI acceptor over TLS (gss_acceptor_server.py beside this file),
// run for the life of the object.
#include <string>

#include "support/python_server.h"

namespace corvane::testing {

class GssAcceptorServer : public PythonServer {
 public:
  GssAcceptorServer(std::string cert, std::string key, std::string ntlmUsers)
      : PythonServer(TestsPath("http/auth/gss_acceptor_server.py"), {cert, key, ntlmUsers}) {}
};

}  // namespace corvane::testing
