#pragma once
// A capture file opened for reading: the descriptor, the reader over it, and
// the file its frames can be left in. A compressed file (gzip, zstd, lz4,
// known by its magic number) is first decompressed into a temporary file of
// the user's cache folder, whose frames are then read in place; the
// temporary file has no name and goes away with the last frame that needs
// it. Standard input and pipes are read as they come, their frames copied.
//
// Used by one thread (the one reading).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/frame_file.h"
#include "capture/read_progress.h"
#include "capture/savefile_reader.h"

namespace qv {

class SavefileInput {
 public:
  struct Hooks {
    std::function<void(const ReadProgress&)> progress;  // now and then; may be empty
    std::function<bool()> stopped;                      // the user asked to stop; may be empty
  };
  // Takes `fd` (closed with this), the input named `path` in messages. Null
  // with the reason in `error` when nothing can be read from it.
  static std::unique_ptr<SavefileInput> Open(int fd, std::string path, const Hooks& hooks, std::string& error);
  ~SavefileInput();
  SavefileInput(const SavefileInput&) = delete;
  SavefileInput& operator=(const SavefileInput&) = delete;

  SavefileReader& Reader() { return *reader_; }
  // Where the frame lies when it can be left there; null when it must be copied.
  const FramePlace* PlaceOf(const SavefileFrame& frame) {
    if (!place_.file) return nullptr;
    place_.offset = frame.offset;
    return &place_;
  }
  // The bytes the reader reads through in all; 0 when unknown.
  std::uint64_t Size() const { return size_; }
  // What stopped decompression before the end of a damaged compressed
  // file: the frames before it are read, then this is told.
  const std::optional<SavefileReader::DamageReport>& CompressedDamage() const { return compressedDamage_; }
  // Decompression was stopped by the user: what was decompressed is read.
  bool StoppedEarly() const { return stoppedEarly_; }
  // Why decompression ended early other than by damage (no room in the
  // cache folder, a failed write): told after the frames before it.
  const std::string& DecompressionFailure() const { return decompressionFailure_; }

 private:
  SavefileInput() = default;

  int fd_ = -1;
  std::unique_ptr<SavefileReader> reader_;
  FramePlace place_;
  std::uint64_t size_ = 0;
  std::optional<SavefileReader::DamageReport> compressedDamage_;
  bool stoppedEarly_ = false;
  std::string decompressionFailure_;
};

}  // namespace qv
