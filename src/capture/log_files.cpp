#include "capture/log_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "decode/text_format.h"

namespace qv {

namespace {

// The Logs page's ranges; a damaged settings file may hold anything.
constexpr std::int32_t kMinDays = 1, kMaxDays = 366;
constexpr double kMinBytes = 1024.0 * 1024.0, kMaxBytes = 100.0 * 1024.0 * 1024.0;
constexpr std::int32_t kMinCount = 1, kMaxCount = 1000000;
// Far beyond any day's captures; ends the search should every name exist.
constexpr int kMaxSequence = 1000000;

bool IsLogFileName(const std::string& name) {
  constexpr std::string_view kExtension = ".log";
  return name.find("sniffed_") != std::string::npos && name.size() > kExtension.size() &&
         name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) == 0;
}

}  // namespace

LogOptions TakeLogOptions(const Settings& s) {
  LogOptions o;
  if (!s.loggingOn) return o;
  o.loggingOn = true;
  o.directory = s.logDirectory;
  if (s.deleteOldLogs) o.deleteAfterDays = std::clamp(s.deleteAfterDays, kMinDays, kMaxDays);
  if (s.sizeLimitOn) {
    const double bytes = std::isfinite(s.maxLogSize) ? std::clamp(s.maxLogSize, kMinBytes, kMaxBytes) : kMinBytes;
    o.maxBytes = static_cast<std::uint64_t>(bytes);
  }
  if (s.countLimitOn) o.maxPackets = static_cast<std::uint32_t>(std::clamp(s.maxLogCount, kMinCount, kMaxCount));
  return o;
}

std::string LogDirectoryPrefix(const std::string& directory) {
  std::string prefix = directory.empty() ? std::string(".") : directory;
  if (prefix.back() != '/') prefix += '/';
  return prefix;
}

std::string LogFileName(const std::tm& day, int sequence) {
  return Format("sniffed_%02d_%02d_%04d_%04d.log", day.tm_mday, day.tm_mon + 1, day.tm_year + 1900, sequence);
}

CreatedLogFile CreateLogFile(const std::string& directory, std::time_t now) {
  const std::string prefix = LogDirectoryPrefix(directory);
  std::tm day{};
  localtime_r(&now, &day);
  CreatedLogFile created;
  for (int sequence = 0; sequence < kMaxSequence; ++sequence) {
    const std::string path = prefix + LogFileName(day, sequence);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      created.path = path;
      created.fd = fd;
      return created;
    }
    if (errno != EEXIST) {
      created.error = errno;
      return created;
    }
  }
  created.error = EEXIST;
  return created;
}

std::string LogFileCreationMessage(int error) {
  return Format("I couldn't create a log file :(\n error=%d\ndescription=%s", error, std::strerror(error));
}

int DeleteLogFiles(const std::string& directory, LogDeletion which, std::int32_t deleteAfterDays,
                   std::chrono::system_clock::time_point now, const std::string& keep) {
  if (which == LogDeletion::Expired && deleteAfterDays < 0) return 0;
  const std::string prefix = LogDirectoryPrefix(directory);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(prefix.c_str()), ::closedir);
  if (!dir) return 0;
  struct stat kept {};
  const bool haveKept = !keep.empty() && ::stat(keep.c_str(), &kept) == 0;
  const auto limit = std::chrono::hours(24) * deleteAfterDays;
  int deleted = 0;
  // Only plain files directly in the folder, judged by their own name: the
  // folder's path never makes a file a log file, and links are left alone.
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (!IsLogFileName(name)) continue;
    const std::string path = prefix + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (haveKept && info.st_dev == kept.st_dev && info.st_ino == kept.st_ino) continue;
    if (which == LogDeletion::Expired) {
      const auto written = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) +
                           std::chrono::nanoseconds(info.st_mtim.tv_nsec);
      if (!(written + limit < now)) continue;
    }
    if (::unlink(path.c_str()) == 0) ++deleted;
  }
  return deleted;
}

}  // namespace qv
