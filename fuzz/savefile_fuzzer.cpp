// A savefile read through the capture session's file path, from memory: the
// backend hands the session a capture handle over the input bytes, and the
// session's own thread reads, buffers and decodes every frame. Checked: no
// frame, and no sum of frames, is reported beyond what the file holds.
#include <pcap/pcap.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
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

// Hands the session a capture handle over the bytes of the current input.
class MemoryBackend : public qv::CaptureBackend {
 public:
  void Use(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    size_ = size;
  }
  qv::AdapterList ListAdapters() override { return {}; }
  qv::LiveOpenResult OpenLive(const qv::LiveOpenRequest&) override {
    qv::LiveOpenResult refused;
    refused.error = "no adapters here";
    return refused;
  }
  pcap_t* OpenOffline(const std::string&, char* errbuf) override {
    // fmemopen only reads; the cast drops a const it never writes through.
    FILE* file = fmemopen(const_cast<std::uint8_t*>(data_), size_, "rb");
    if (file == nullptr) {
      std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "fmemopen failed");
      return nullptr;
    }
    pcap_t* handle = pcap_fopen_offline(file, errbuf);
    if (handle == nullptr) std::fclose(file);  // on success the handle owns the file
    return handle;
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string&) override { return {}; }
  qv::CaptureRights ProbeRights() override { return {}; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
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
  }
  void PacketAdded(const qv::PacketRecord& record, const qv::PacketSummary&) override {
    FUZZ_CHECK(record.bytes.size() == record.capturedLength, "a record holds other than its captured length");
    FUZZ_CHECK(record.capturedLength <= fileSize_, "a frame is longer than the whole file");
    ++frames;
    bytes += record.capturedLength;
  }
  std::uint64_t frames = 0;
  std::uint64_t bytes = 0;

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
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  static Harness h;
  h.backend.Use(data, size);
  h.observer.Reset(size);
  FUZZ_CHECK(h.session.Open("memory.pcap"), "the session refused to open a file");
  h.session.WaitForCapture();
  const CountingObserver& observer = h.observer;
  FUZZ_CHECK(h.session.PacketCount() == observer.frames, "the buffer and the reported rows disagree");
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
