#pragma once
// The processes descended from this one whose command name is `name` (as
// /proc/PID/stat has it: at most 15 characters): to find the capture helper
// a session or a front end started, among those of other test programs.

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace qv::testing {

inline std::vector<pid_t> DescendantsNamed(const std::string& name, pid_t root = ::getpid()) {
  std::map<pid_t, std::pair<pid_t, std::string>> parentAndName;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return {};
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream in("/proc/" + std::string(entry->d_name) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) continue;
    const pid_t parent = static_cast<pid_t>(std::atoi(stat.c_str() + close + 4));  // after ") S "
    parentAndName[pid] = {parent, stat.substr(open + 1, close - open - 1)};
  }
  ::closedir(proc);
  std::vector<pid_t> found;
  for (const auto& [pid, info] : parentAndName) {
    if (info.second != name.substr(0, 15)) continue;
    // Up the chain of parents to `root`, a bounded number of steps.
    pid_t up = info.first;
    for (int steps = 0; steps < 64 && up > 1 && up != root; ++steps) {
      const auto it = parentAndName.find(up);
      up = it == parentAndName.end() ? 0 : it->second.first;
    }
    if (up == root) found.push_back(pid);
  }
  return found;
}

// The "CapEff:" line's bits of /proc/PID/status; ~0 when it cannot be read.
inline std::uint64_t EffectiveCapabilities(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("CapEff:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
  }
  return ~std::uint64_t{0};
}

// The first argument the process was started with ("capture" for a helper's
// capture run); empty when it cannot be read.
inline std::string FirstArgument(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
  std::string program, first;
  std::getline(in, program, '\0');
  std::getline(in, first, '\0');
  return first;
}

// The capture helpers of capture runs descended from this process that have
// opened their adapter: they hold no capability from then on. Waits up to
// `limit` for at least one, polling, rather than guessing a start-up time that
// a busy machine exceeds; what is there at the end otherwise.
inline std::vector<pid_t> StartedCaptureHelpers(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::vector<pid_t> started;
    for (const pid_t pid : DescendantsNamed("quorvanet-capture")) {
      if (FirstArgument(pid) == "capture" && EffectiveCapabilities(pid) == 0) started.push_back(pid);
    }
    if (!started.empty() || std::chrono::steady_clock::now() >= until) return started;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace qv::testing
