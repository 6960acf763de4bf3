#pragma once
// Runs a command line in a shell, as a user would type it.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace qv::testing {

struct CommandRun {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string out;  // standard output, and standard error unless left out
};

// With `errors` false, standard error is left out of `out`.
inline CommandRun RunShell(const std::string& command, bool errors = true) {
  CommandRun run;
  FILE* pipe = popen((command + (errors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) run.out.append(chunk.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

}  // namespace qv::testing
