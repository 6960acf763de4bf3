#pragma once
// The files the capture helper writes for a session, in the cache folder.
// The packet buffer leaves their frames there, so a file stays while its
// source still writes or reads it, or while anything holds its frames; it is
// removed once neither is so, and at the latest when the session ends.
//
// Thread safety: every member may be called from any thread.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/frame_file.h"

namespace qv {

class CaptureFiles {
 public:
  CaptureFiles() = default;
  ~CaptureFiles();  // removes every file still there
  CaptureFiles(const CaptureFiles&) = delete;
  CaptureFiles& operator=(const CaptureFiles&) = delete;

  struct Made {
    int writeFd = -1;  // for the helper, write-only
    int readFd = -1;   // for this process, read-only, with an offset of its own
    std::string path;
    std::string error;  // why, when the file could not be made
  };
  // A new file, in use by its source until Release().
  Made Make();
  // The frames of `path` are read back through `file`.
  void Hold(const std::string& path, const std::shared_ptr<FrameFile>& file);
  // The source is done with `path`: it goes once no frame of it is held.
  void Release(const std::string& path);
  // Removes the released files whose frames nothing holds any longer.
  void RemoveUnused();
  // Removes every file now, whatever holds it (an exit that skips teardown).
  void RemoveAll();
  // The paths still there (tests).
  std::vector<std::string> Paths() const;

 private:
  struct Entry {
    std::string path;
    std::weak_ptr<FrameFile> file;
    bool inUse = true;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace qv
