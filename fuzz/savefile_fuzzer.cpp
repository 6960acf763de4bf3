// A capture file read through the capture session's file path: the backend
// hands the session a memory file holding the input, and the session's own
// thread reads it with the program's pcap/pcapng reader (decompressing it
// first when it is compressed), buffers and decodes every frame, leaving each
// in the file. Checked: no frame, and no sum of
// frames, is reported beyond what the file holds, and every frame read back
// from the buffer is the frame that was first read.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_backend.h"
#include "capture/capture_observer.h"
#include "capture/capture_session.h"
#include "capture/settings_store.h"
#include "capture/user_prompt.h"
#include "fuzz_check.h"

namespace {

// Each frame in a savefile carries at least a 16-byte record header (the
// pcapng blocks carry more), after a 24-byte file header.
constexpr std::uint64_t kFileHeader = 24;
constexpr std::uint64_t kRecordHeader = 16;

// Hands the session a memory file holding the current input: a regular
// file, so that frames can be left in it.
class MemoryBackend : public qv::CaptureBackend {
 public:
  MemoryBackend() : fd_(::memfd_create("savefile", MFD_CLOEXEC)) {}
  ~MemoryBackend() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Use(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  qv::AdapterList ListAdapters() override { return {}; }
  qv::LiveOpenResult OpenLive(const qv::LiveOpenRequest&) override {
    qv::LiveOpenResult refused;
    refused.error = "no adapters here";
    return refused;
  }
  int OpenFile(const std::string&, std::string& error) override {
    // A duplicate shares the file position, which the last read left at
    // its end: the new read starts from the beginning again.
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
      if (fd >= 0) ::close(fd);
      error = "the memory file cannot be opened";
      return -1;
    }
    return fd;
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string&) override { return {}; }
  qv::CaptureRights ProbeRights() override { return {}; }

 private:
  const int fd_;
};

class SilentPrompt : public qv::UserPrompt {
 public:
  void ShowMessage(const std::string&, const std::string&, qv::MessageIcon) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  std::optional<std::size_t> ChooseAdapter(const std::vector<qv::Adapter>&) override { return std::nullopt; }
};

class CountingObserver : public qv::CaptureObserver {
 public:
  void Reset(std::size_t fileSize) {
    fileSize_ = fileSize;
    frames = 0;
    bytes = 0;
    hashes.clear();
  }
  void PacketAdded(const qv::PacketRecord& record, const qv::PacketSummary&) override {
    FUZZ_CHECK(record.bytes.size() == record.capturedLength, "a record holds other than its captured length");
    FUZZ_CHECK(record.capturedLength <= fileSize_, "a frame is longer than the whole file");
    ++frames;
    bytes += record.capturedLength;
    hashes.push_back(Hash(record.bytes));
  }
  static std::size_t Hash(std::span<const std::uint8_t> bytes) {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::uint64_t frames = 0;
  std::uint64_t bytes = 0;
  std::vector<std::size_t> hashes;  // of each frame as first read

 private:
  std::size_t fileSize_ = 0;
};

// One session for the whole search, as the program keeps one for all the
// files a user opens; it is cleared after every input.
struct Harness {
  MemoryBackend backend;
  SilentPrompt prompt;
  qv::MemorySettingsStore settings;
  CountingObserver observer;
  qv::CTalvenorDoc session{prompt, settings, backend};
  Harness() { session.SetObserver(&observer); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness h;
  if (!h.backend.Use(data, size)) return 0;
  h.observer.Reset(size);
  FUZZ_CHECK(h.session.Open("memory.pcap"), "the session refused to open a file");
  h.session.WaitForCapture();
  const CountingObserver& observer = h.observer;
  FUZZ_CHECK(h.session.PacketCount() == observer.frames, "the buffer and the reported rows disagree");
  for (std::uint32_t n = 0; n < observer.frames; ++n) {
    const std::optional<qv::PacketRecord> record = h.session.Buffer().Find(n);
    FUZZ_CHECK(record && !record->unreadable, "a frame cannot be read back from an unchanged file");
    FUZZ_CHECK(CountingObserver::Hash(record->bytes) == observer.hashes[n],
               "a frame read back differs from the frame first read");
  }
  FUZZ_CHECK(h.session.BufferedBytes() <= observer.bytes + observer.frames * 64,
             "the buffer holds more than the frames read");
  h.session.ClearAll();
  FUZZ_CHECK(h.session.PacketCount() == 0, "clearing after a file left frames behind");
  if (observer.frames > 0) {
    FUZZ_CHECK(kFileHeader + observer.frames * kRecordHeader + observer.bytes <= size,
               "frames were reported beyond the end of the file");
  }
  return 0;
}
