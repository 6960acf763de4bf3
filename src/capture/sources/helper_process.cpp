#include "capture/sources/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace qv {

namespace {

constexpr int kControlFd = 3;
constexpr int kOutputFd = 4;
// Descriptors are moved above these before they are put in place, so that
// putting one at 3 never closes the other.
constexpr int kAbovePlaces = 10;

// Only a regular file: whether this user may run it (the package lets only
// its group) is for the start to tell, with its own reason.
bool IsHelperFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

// Closes `fd` when it is one.
void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::string FindCaptureHelper(std::vector<std::string>* looked) {
  std::vector<std::string> places;
  if (const char* named = std::getenv(kCaptureHelperVariable); named != nullptr && named[0] != '\0') {
    places.emplace_back(named);
  } else if (const std::string folder = ExecutableFolder(); !folder.empty()) {
    places = {folder + "/../lib/quorvanet/quorvanet-capture", folder + "/quorvanet-capture",
              folder + "/../capture_helper/quorvanet-capture"};
  }
  for (const std::string& place : places) {
    if (IsHelperFile(place)) {
      std::error_code error;
      const std::filesystem::path clean = std::filesystem::weakly_canonical(place, error);
      return error ? place : clean.string();
    }
  }
  if (looked != nullptr) *looked = places;
  return {};
}

std::string HelperMissingText(const std::vector<std::string>& looked) {
  std::string text = "The capture helper quorvanet-capture was not found";
  if (!looked.empty()) {
    text += " (looked for ";
    for (std::size_t i = 0; i < looked.size(); ++i) text += (i == 0 ? "" : ", ") + looked[i];
    text += ")";
  }
  return text + ". Install it with the program, or name it in " + std::string(kCaptureHelperVariable) + ".";
}

std::unique_ptr<HelperProcess> HelperProcess::Start(const std::vector<std::string>& arguments, int outputFd,
                                                    std::string& error) {
  std::vector<std::string> looked;
  const std::string path = FindCaptureHelper(&looked);
  if (path.empty()) {
    error = HelperMissingText(looked);
    return nullptr;
  }
  int pair[2] = {-1, -1};
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    error = std::string("Cannot make the capture helper's channel: ") + std::strerror(errno);
    return nullptr;
  }
  int child = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kAbovePlaces);
  int output = outputFd >= 0 ? ::fcntl(outputFd, F_DUPFD_CLOEXEC, kAbovePlaces) : -1;
  ::close(pair[1]);
  std::unique_ptr<HelperProcess> process(new HelperProcess());
  process->control_ = pair[0];
  process->path_ = path;
  if (child < 0 || (outputFd >= 0 && output < 0)) {
    error = std::string("Cannot make the capture helper's channel: ") + std::strerror(errno);
    CloseIfOpen(child);
    CloseIfOpen(output);
    return nullptr;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, child, kControlFd);
  if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, kOutputFd);
  // Whatever else this process holds open stays here.
  posix_spawn_file_actions_addclosefrom_np(&actions, output >= 0 ? kOutputFd + 1 : kControlFd + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The capture thread keeps its signals blocked and some front ends ignore
  // a few: the helper starts with the defaults.
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  // A process group of its own: a Ctrl+C at the terminal reaches this
  // process, which stops the helper through its channel; the helper itself
  // must not die of it before it has written its last frames.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<std::string> argv = {path};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  CloseIfOpen(child);
  CloseIfOpen(output);
  if (spawned != 0) {
    error = "Cannot start the capture helper " + path + ": " + std::strerror(spawned);
    return nullptr;
  }
  process->pid_ = pid;
  // Reads never wait in the kernel: Receive waits in poll.
  ::fcntl(process->control_, F_SETFL, ::fcntl(process->control_, F_GETFL) | O_NONBLOCK);
  return process;
}

HelperProcess::~HelperProcess() {
  CloseIfOpen(control_);
  if (pid_ > 0 && !Reaped()) {
    // Closing the channel ends it at its next read; one that does not is killed.
    if (!WaitForExit(std::chrono::milliseconds(200))) Kill();
  }
}

bool HelperProcess::SendEncoded(std::span<const std::uint8_t> message, int passFd) {
  if (control_ < 0) return false;
  return control::SendMessage(control_, message, passFd);
}

HelperProcess::Read HelperProcess::Receive(std::chrono::milliseconds wait, std::vector<control::Message>& out) {
  if (!problem_.empty()) return Read::Broken;
  const std::size_t before = out.size();
  auto take = [&] {
    while (std::optional<control::Message> m = decoder_.Next()) out.push_back(std::move(*m));
    if (decoder_.Failed()) problem_ = decoder_.Error();
  };
  if (!closed_) {
    pollfd ready{control_, POLLIN, 0};
    const int n = ::poll(&ready, 1, static_cast<int>(wait.count()));
    if (n < 0 && errno != EINTR) {
      problem_ = std::strerror(errno);
      return Read::Broken;
    }
    // Everything there is now, in a bounded number of reads: what comes
    // after is the next call's.
    for (int i = 0; i < 64 && n > 0; ++i) {
      const long got = control::ReadSome(control_, decoder_);
      if (got > 0) {
        take();
        if (!problem_.empty()) break;
        continue;
      }
      if (got == 0) {
        closed_ = true;
      } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // A reset channel: the helper died.
        closed_ = true;
      }
      break;
    }
  }
  take();
  if (out.size() > before) return Read::Messages;
  if (!problem_.empty()) return Read::Broken;
  if (closed_) {
    if (!decoder_.AtMessageBoundary()) {
      problem_ = "the capture helper's last message was cut short";
      return Read::Broken;
    }
    return Read::Closed;
  }
  return Read::Nothing;
}

bool HelperProcess::Reaped() {
  if (reaped_ || pid_ <= 0) return true;
  int status = 0;
  const pid_t got = ::waitpid(pid_, &status, WNOHANG);
  if (got == 0) return false;
  reaped_ = true;
  if (got == pid_) {
    if (WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) signal_ = WTERMSIG(status);
  }
  return true;
}

bool HelperProcess::WaitForExit(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!Reaped()) {
    if (std::chrono::steady_clock::now() >= until) {
      Kill();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void HelperProcess::Kill() {
  if (reaped_ || pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  pid_t got = -1;
  while ((got = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  if (got == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);  // it had ended by itself
  if (got == pid_ && WIFSIGNALED(status)) signal_ = WTERMSIG(status);
}

}  // namespace qv
