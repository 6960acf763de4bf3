#pragma once
// Prints what the capture session reports: one tab-separated row per frame,
// optionally followed by its decode tree and hex dump. Runs on the capture
// thread; output is gathered and written in large pieces.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "capture/capture_session.h"

namespace qv {

struct RowPrinterOptions {
  bool rows = true;
  bool tree = false;
  bool hex = false;
  std::uint64_t stopAfter = 0;  // 0: never
  ScriptHost* scripts = nullptr;  // protocol scripts for the tree; read only while printing
};

class RowPrinter : public CaptureObserver {
 public:
  RowPrinter(CTalvenorDoc& doc, std::FILE* out, RowPrinterOptions options);
  ~RowPrinter() override;

  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override;
  void CaptureEnded(bool failed) override;

  void Flush();
  bool Ended() const { return ended_.load(); }
  // Waits up to `timeout` for the capture to end; true once it has.
  bool WaitForEnd(std::chrono::milliseconds timeout);
  std::uint64_t Frames() const { return frames_.load(); }
  std::uint64_t WireBytes() const { return wireBytes_.load(); }

 private:
  void AppendDetails(const PacketRecord& record);

  CTalvenorDoc& doc_;
  std::FILE* out_;
  RowPrinterOptions options_;
  std::string pending_;
  std::atomic<std::uint64_t> frames_{0};
  std::atomic<std::uint64_t> wireBytes_{0};
  std::atomic<bool> ended_{false};
  std::mutex endMutex_;
  std::condition_variable endSignal_;
};

}  // namespace qv
