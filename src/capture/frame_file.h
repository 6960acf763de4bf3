#pragma once
// A savefile whose frames stay in the file. The packet buffer keeps only
// where each frame lies; showing, listing, sorting, saving or resending a
// frame reads it back from here. The reads go through a small cache of file
// windows, so that a run over neighbouring frames (a screenful of rows, a
// Save) costs one read a window rather than one a frame.
//
// The file may change while it is open. Reading goes through pread on a
// descriptor of our own, never through a mapping, so a truncated file gives
// a short read, not a SIGBUS. A file replaced under the same name does not
// matter: the descriptor still reaches the frames that were read. At every
// read, from the file or from the cache, its size and modification time are
// checked: a file that shrank, or that was rewritten in place at the same
// size, has changed. A file that only grew (a capture still being written)
// has not; a rewrite that grew it is caught by the fingerprint the buffer
// keeps of every frame.
//
// Thread safety: every member may be called from any thread.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace qv {

// What the user is told when frames left in `path` can no longer be read
// back: one line, and the advice on a second.
std::string FileChangedText(const std::string& path);
std::string FileChangedMessage(const std::string& path);

// A cheap check that bytes read back are the frame that was read: a hash of
// its length and of its first and last 32 bytes.
std::uint32_t FrameFingerprint(std::span<const std::uint8_t> bytes);

class FrameFile {
 public:
  // Takes its own descriptor of the open file `fd` (as duplicated from the
  // reader's). Null when `fd` is not a regular file or cannot be duplicated.
  static std::shared_ptr<FrameFile> Open(int fd, std::string path);
  ~FrameFile();
  FrameFile(const FrameFile&) = delete;
  FrameFile& operator=(const FrameFile&) = delete;

  // The bytes [offset, offset + length) as they were when the file was read,
  // kept alive by the returned holder; empty when the file has changed
  // since, or cannot be read. With Check::WhenReading, a
  // frame already in the cache is handed out without looking at the file
  // again: for a pass over many frames that looked at it at its start.
  enum class Check { Always, WhenReading };
  struct Bytes {
    std::shared_ptr<const void> holder;
    std::span<const std::uint8_t> bytes;
  };
  Bytes Read(std::uint64_t offset, std::uint32_t length, Check check = Check::Always);

  // Copies `out.size()` bytes at `offset` through the cache, without the
  // identity check: for looking at the file's header and around its frames
  // while it is being read. False when the file does not hold them.
  bool Peek(std::uint64_t offset, std::span<std::uint8_t> out);

  const std::string& Path() const { return path_; }
  // The frame read back is not the frame that was read (its fingerprint differs).
  void MarkChanged() { changed_ = true; }
  // True once, at the first call after the file was found changed, so that
  // the user hears of it once rather than at every row.
  bool TakeChangeReport();

 private:
  FrameFile(int fd, std::string path);
  // The file's size when it is still the file that was read, else -1
  // (under mutex_).
  off_t SizeIfUnchanged();

  struct Window {
    std::uint64_t start = 0;
    // Not zeroed when made: the file's bytes are read into all of it.
    std::shared_ptr<std::uint8_t[]> bytes;
    std::uint64_t size = 0;
    std::uint64_t lastUse = 0;
  };
  // The window holding [offset, offset + length), if one does (under mutex_).
  const Window* CachedWindow(std::uint64_t offset, std::uint32_t length);
  // The window holding [offset, offset + length) of a file of `size` bytes,
  // read in when none does; null when it cannot be read (under mutex_).
  const Window* WindowFor(std::uint64_t offset, std::uint32_t length, std::uint64_t size);
  static constexpr std::uint64_t kWindowBytes = 64 * 1024;
  static constexpr std::size_t kWindows = 8;

  const int fd_;
  const std::string path_;
  off_t size_ = 0;  // when the file was read
  timespec modified_{};
  off_t seenSize_ = 0;  // at the last read back
  timespec seenModified_{};
  std::mutex mutex_;
  Window windows_[kWindows];
  std::uint64_t uses_ = 0;
  std::atomic<bool> changed_{false};
  std::atomic<bool> reported_{false};
};

// Where a frame lies in its savefile.
struct FramePlace {
  std::shared_ptr<FrameFile> file;
  std::uint64_t offset = 0;
};

}  // namespace qv
