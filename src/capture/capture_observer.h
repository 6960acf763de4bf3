#pragma once
// What a front end hears from the capture session. PacketAdded, TotalsChanged
// and CaptureEnded come from the capture thread; a window forwards them to its
// interface thread. The session never touches a front end in any other way.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture/packet_record.h"
#include "capture/read_progress.h"
#include "decode/decode_tree.h"
#include "decode/packet_summary.h"

namespace qv {

enum class ClearCommand { Packets, Statistics };

class CaptureObserver {
 public:
  virtual ~CaptureObserver() = default;

  virtual void CaptureStarted(bool /*readingFile*/) {}
  // The run ended: stopped, end of file, or a failure (already shown).
  virtual void CaptureEnded(bool /*failed*/) {}

  // A frame joined the buffer; `row` is its summary-mode decode.
  virtual void PacketAdded(const PacketRecord& /*record*/, const PacketSummary& /*row*/) {}
  virtual void TotalsChanged(std::uint32_t /*packetCount*/, std::uint64_t /*bufferedBytes*/) {}
  // How far a file's reading (or its decompression) has got; a few times a
  // second from the capture thread, and once at the start of each stage.
  virtual void FileProgress(const ReadProgress& /*progress*/) {}
  virtual void BufferCleared() {}
  // The buffer limits changed (the status bar's gauges range over them).
  virtual void LimitsChanged(std::uint32_t /*maxCount*/, std::uint32_t /*maxBytes*/) {}
  virtual void StatisticsCleared() {}
  // Something the user should know that needs no answer (a warning from the
  // capture library when it opened the adapter); any thread.
  virtual void CaptureNotice(const std::string& /*text*/) {}

  // Tree-mode decode of the packet to show; `number` is -1 for raw bytes.
  virtual void PacketShown(std::int64_t /*number*/, std::span<const std::uint8_t> /*bytes*/,
                           const DecodeTree& /*tree*/, const std::vector<std::int32_t>& /*layerStarts*/) {}

  // The capture thread asks the interface to clear. A window posts the
  // command to its interface thread, whose handler calls the session's
  // ClearPackets()/ClearStatistics(); the capture thread waits meanwhile.
  // Returns false when there is no interface thread: the session then clears
  // on the capture thread itself.
  virtual bool PostClearCommand(ClearCommand /*command*/) { return false; }
};

// An observer that passes every event on to the next one; a stage between
// the session and a front end overrides what it handles itself.
class ForwardingObserver : public CaptureObserver {
 public:
  explicit ForwardingObserver(CaptureObserver& next) : next_(next) {}

  void CaptureStarted(bool readingFile) override { next_.CaptureStarted(readingFile); }
  void CaptureEnded(bool failed) override { next_.CaptureEnded(failed); }
  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override { next_.PacketAdded(record, row); }
  void TotalsChanged(std::uint32_t count, std::uint64_t bytes) override { next_.TotalsChanged(count, bytes); }
  void FileProgress(const ReadProgress& progress) override { next_.FileProgress(progress); }
  void BufferCleared() override { next_.BufferCleared(); }
  void LimitsChanged(std::uint32_t maxCount, std::uint32_t maxBytes) override {
    next_.LimitsChanged(maxCount, maxBytes);
  }
  void StatisticsCleared() override { next_.StatisticsCleared(); }
  void CaptureNotice(const std::string& text) override { next_.CaptureNotice(text); }
  void PacketShown(std::int64_t number, std::span<const std::uint8_t> bytes, const DecodeTree& tree,
                   const std::vector<std::int32_t>& layerStarts) override {
    next_.PacketShown(number, bytes, tree, layerStarts);
  }
  bool PostClearCommand(ClearCommand command) override { return next_.PostClearCommand(command); }

 protected:
  CaptureObserver& Next() { return next_; }

 private:
  CaptureObserver& next_;
};

}  // namespace qv
