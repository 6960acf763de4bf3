#pragma once
// Carries the capture session's events to the interface thread. Per-frame
// events only update counters here: the packet list and the status bar poll
// them on a timer, so a million frames cost the interface thread nothing
// per frame.

#include <QObject>

#include <atomic>
#include <mutex>
#include <optional>

#include "capture/capture_observer.h"

namespace qv {

class CTalvenorDoc;

class CaptureBridge : public QObject, public CaptureObserver {
  Q_OBJECT
 public:
  explicit CaptureBridge(CTalvenorDoc& doc, QObject* parent = nullptr);

  // Capture threads launched and not yet ended.
  int RunningCaptures() const { return started_.load() - ended_.load(); }
  // The latest progress of a file being read, once: nothing when none came
  // since the last call. Taken on the poll timer, so the reading thread
  // never floods the event queue.
  std::optional<ReadProgress> TakeFileProgress();

  // --- CaptureObserver (any thread) ---
  void CaptureStarted(bool readingFile) override;
  void CaptureEnded(bool failed) override;
  void TotalsChanged(std::uint32_t packetCount, std::uint64_t bufferedBytes) override;
  void BufferCleared() override;
  void StatisticsCleared() override;
  void LimitsChanged(std::uint32_t maxCount, std::uint32_t maxBytes) override;
  void PacketShown(std::int64_t number, std::span<const std::uint8_t> bytes, const DecodeTree& tree,
                   const std::vector<std::int32_t>& layerStarts) override;
  bool PostClearCommand(ClearCommand command) override;
  void CaptureNotice(const std::string& text) override;
  void FileProgress(const ReadProgress& progress) override;

 signals:
  void captureStarted(bool readingFile);
  void captureEnded(bool failed);
  void bufferCleared();
  void statisticsCleared();
  void limitsChanged(quint32 maxCount, quint32 maxBytes);
  void captureNotice(const QString& text);
  // Emitted on the interface thread, during ShowPacket.
  void packetShown(qint64 number, std::span<const std::uint8_t> bytes, const qv::DecodeTree& tree,
                   const std::vector<std::int32_t>& layerStarts);

 private:
  template <typename F>
  void Post(F&& f);

  CTalvenorDoc& doc_;
  std::atomic<int> started_{0};
  std::atomic<int> ended_{0};
  std::mutex progressMutex_;
  std::optional<ReadProgress> progress_;  // under progressMutex_
};

}  // namespace qv
