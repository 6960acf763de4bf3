#include "capture/cache_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace qv {

namespace {

constexpr std::string_view kProgramFolder = "quorvanet";
constexpr std::string_view kNamePrefix = "decompressed-";
constexpr std::string_view kCapturePrefix = "capture-";
constexpr std::string_view kCaptureSuffix = ".pcapng";
// mkstemp replaces exactly these six characters.
constexpr std::string_view kNameTemplate = "XXXXXX";

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The process id in a name capture-PID-N.pcapng, or 0 when the name is not
// of that shape.
pid_t PidOfCaptureFileName(std::string_view name) {
  if (!name.starts_with(kCapturePrefix) || !name.ends_with(kCaptureSuffix)) return 0;
  name.remove_prefix(kCapturePrefix.size());
  name.remove_suffix(kCaptureSuffix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash > 10 || name.size() - dash - 1 > 20) return 0;
  const std::string_view pid = name.substr(0, dash);
  if (!AllDigits(pid) || !AllDigits(name.substr(dash + 1))) return 0;
  long long value = 0;
  for (const char c : pid) value = value * 10 + (c - '0');
  return value <= 0 || value > INT_MAX ? 0 : static_cast<pid_t>(value);
}

// The process id in a name decompressed-PID-XXXXXX (or a capture file's),
// or 0 when the name is not of that shape.
pid_t PidOfCacheFileName(std::string_view name) {
  if (name.starts_with(kCapturePrefix)) return PidOfCaptureFileName(name);
  if (name.substr(0, kNamePrefix.size()) != kNamePrefix) return 0;
  name.remove_prefix(kNamePrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10) return 0;
  long long pid = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  if (pid <= 0 || pid > INT_MAX) return 0;
  const std::string_view unique = name.substr(dash + 1);
  if (unique.size() != kNameTemplate.size()) return 0;
  for (const char c : unique) {
    const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alphanumeric) return 0;
  }
  return static_cast<pid_t>(pid);
}

bool IsRunning(pid_t pid) {
  // EPERM: it runs, under another user.
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

std::string CacheFolderPath() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (IsAbsolute(xdg)) return WithoutTrailingSlashes(xdg) + "/" + std::string(kProgramFolder);
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) {
    std::string base = WithoutTrailingSlashes(home);
    if (base != "/") base += "/";
    return base + ".cache/" + std::string(kProgramFolder);
  }
  return {};
}

CacheFolder EnsureCacheFolder() {
  const std::string path = CacheFolderPath();
  if (path.empty()) return {{}, "Neither XDG_CACHE_HOME nor HOME names a folder for the cache."};
  // Every missing folder on the way is made private, as the base folder
  // of a user's cache is.
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return {{}, "Cannot make the folder " + part + ": " + std::strerror(errno)};
    }
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {{}, "Cannot use the folder " + path + ": " + std::strerror(errno)};
  if (!S_ISDIR(st.st_mode)) return {{}, path + " is not a folder."};
  return {path, {}};
}

CacheFile MakeCacheFile(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return {fd, {}};
  // EOPNOTSUPP: the file system has no unnamed files; EISDIR: the kernel
  // does not know O_TMPFILE and took it for O_DIRECTORY.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return MakeNamedCacheFile(folder);
  return {-1, "Cannot make a temporary file in " + folder + ": " + std::strerror(errno)};
}

CacheFile MakeNamedCacheFile(const std::string& folder) {
  std::string name = folder + "/" + std::string(kNamePrefix) + std::to_string(::getpid()) + "-" +
                     std::string(kNameTemplate);
  std::vector<char> path(name.begin(), name.end());
  path.push_back('\0');
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return {-1, "Cannot make a temporary file in " + folder + ": " + std::strerror(errno)};
  // Should this fail, the name is left to RemoveStaleCacheFiles at a later
  // start; the file works all the same.
  ::unlink(path.data());
  return {fd, {}};
}

CacheFile MakeCaptureFile(const std::string& folder, std::string* path) {
  // Numbered within this process; a name left by an earlier process of the
  // same id is passed over.
  static std::atomic<unsigned> next{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = folder + "/" + std::string(kCapturePrefix) + std::to_string(::getpid()) + "-" +
                             std::to_string(next++) + std::string(kCaptureSuffix);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      *path = name;
      return {fd, {}};
    }
    if (errno != EEXIST) return {-1, "Cannot make a capture file in " + folder + ": " + std::strerror(errno)};
  }
  return {-1, "Cannot make a capture file in " + folder + ": every name is taken"};
}

int RemoveStaleCacheFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t pid = PidOfCacheFileName(entry->d_name);
    if (pid == 0 || IsRunning(pid)) continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

int RemoveStaleCacheFiles() {
  const std::string folder = CacheFolderPath();
  return folder.empty() ? 0 : RemoveStaleCacheFiles(folder);
}

}  // namespace qv
