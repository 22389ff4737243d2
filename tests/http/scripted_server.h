#pragma once

// The byte-exact HTTP peer of the client tests (scripted_server.py beside
// this file), run for the life of the object.
#include "support/python_server.h"

namespace corvane::testing {

class ScriptedServer : public PythonServer {
 public:
  ScriptedServer() : PythonServer(TestsPath("http/scripted_server.py")) {}
};

}  // namespace corvane::testing
