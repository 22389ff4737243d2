#pragma once

// Runs a scripted loopback server for a test: /usr/bin/python3 SCRIPT ARGS...,
// which listens on 127.0.0.1 port 0 and prints its port on its first output
// line (digits, optionally after a word such as "PORT").
// The server lives as long as this object: it is told to stop by closing its
// standard input and is then terminated and reaped.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace corvane::testing {

class PythonServer {
 public:
  explicit PythonServer(const std::string& script, std::vector<std::string> args = {}) {
    int in[2], out[2];
    // On failure port() stays 0 and the test fails; no descriptor is left open.
    if (pipe(in) != 0) return;
    if (pipe(out) != 0) {
      close(in[0]);
      close(in[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string path = script;
    std::vector<char*> argv{const_cast<char*>("/usr/bin/python3"), path.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    FILE* f = fdopen(out[0], "r");
    char line[128] = {};
    if (f != nullptr && std::fgets(line, sizeof line, f) != nullptr) {
      const char* p = line;
      while (*p != '\0' && (*p < '0' || *p > '9')) ++p;
      port_ = std::atoi(p);
    }
    f != nullptr ? std::fclose(f) : close(out[0]);
  }
  ~PythonServer() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  PythonServer(const PythonServer&) = delete;
  PythonServer& operator=(const PythonServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path, std::string_view host = "127.0.0.1") const {
    return "http://" + std::string(host) + ":" + std::to_string(port_) + std::string(path);
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};

// A file under tests/ in the source tree, e.g. TestsPath("http/scripted_server.py").
inline std::string TestsPath(const std::string& relative) { return std::string(CORVANE_TESTS_DIR) + "/" + relative; }

}  // namespace corvane::testing
