#include "capture/sources/capture_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/cache_folder.h"

namespace qv {

CaptureFiles::~CaptureFiles() { RemoveAll(); }

CaptureFiles::Made CaptureFiles::Make() {
  Made made;
  const CacheFolder folder = EnsureCacheFolder();
  if (folder.path.empty()) {
    made.error = folder.error;
    return made;
  }
  const CacheFile file = MakeCaptureFile(folder.path, &made.path);
  if (file.fd < 0) {
    made.error = file.error;
    return made;
  }
  made.writeFd = file.fd;
  made.readFd = ::open(made.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (made.readFd < 0) {
    made.error = "Cannot read the capture file " + made.path + ": " + std::strerror(errno);
    ::close(made.writeFd);
    made.writeFd = -1;
    ::unlink(made.path.c_str());
    return made;
  }
  std::lock_guard lock(mutex_);
  entries_.push_back({made.path, {}, true});
  return made;
}

void CaptureFiles::Hold(const std::string& path, const std::shared_ptr<FrameFile>& file) {
  std::lock_guard lock(mutex_);
  for (Entry& e : entries_) {
    if (e.path == path) e.file = file;
  }
}

void CaptureFiles::Release(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    for (Entry& e : entries_) {
      if (e.path == path) e.inUse = false;
    }
  }
  RemoveUnused();
}

void CaptureFiles::RemoveUnused() {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [](const Entry& e) {
    if (e.inUse || !e.file.expired()) return false;
    ::unlink(e.path.c_str());
    return true;
  });
}

void CaptureFiles::RemoveAll() {
  std::lock_guard lock(mutex_);
  for (const Entry& e : entries_) ::unlink(e.path.c_str());
  entries_.clear();
}

std::vector<std::string> CaptureFiles::Paths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const Entry& e : entries_) out.push_back(e.path);
  return out;
}

}  // namespace qv
