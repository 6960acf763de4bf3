#include "ui/capture_bridge.h"

#include <QThread>

#include <utility>

#include "capture/capture_session.h"

namespace qv {

CaptureBridge::CaptureBridge(CTalvenorDoc& doc, QObject* parent) : QObject(parent), doc_(doc) {}

template <typename F>
void CaptureBridge::Post(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }
}

void CaptureBridge::CaptureStarted(bool readingFile) {
  started_.fetch_add(1);
  Post([this, readingFile] { emit captureStarted(readingFile); });
}

void CaptureBridge::CaptureEnded(bool failed) {
  ended_.fetch_add(1);
  Post([this, failed] { emit captureEnded(failed); });
}

void CaptureBridge::TotalsChanged(std::uint32_t, std::uint64_t) {
  // Polled by the status bar's timer.
}

void CaptureBridge::BufferCleared() {
  Post([this] { emit bufferCleared(); });
}

void CaptureBridge::StatisticsCleared() {
  Post([this] { emit statisticsCleared(); });
}

void CaptureBridge::LimitsChanged(std::uint32_t maxCount, std::uint32_t maxBytes) {
  Post([this, maxCount, maxBytes] { emit limitsChanged(maxCount, maxBytes); });
}

void CaptureBridge::PacketShown(std::int64_t number, std::span<const std::uint8_t> bytes, const DecodeTree& tree,
                                const std::vector<std::int32_t>& layerStarts) {
  emit packetShown(number, bytes, tree, layerStarts);
}

void CaptureBridge::CaptureNotice(const std::string& text) {
  Post([this, t = QString::fromStdString(text)] { emit captureNotice(t); });
}

void CaptureBridge::FileProgress(const ReadProgress& progress) {
  std::lock_guard lock(progressMutex_);
  progress_ = progress;
}

std::optional<ReadProgress> CaptureBridge::TakeFileProgress() {
  std::lock_guard lock(progressMutex_);
  return std::exchange(progress_, std::nullopt);
}

bool CaptureBridge::PostClearCommand(ClearCommand command) {
  // The handler runs on the interface thread while the capture thread waits
  // in the handshake; the session clears at once because the handshake is set.
  QMetaObject::invokeMethod(
      this,
      [this, command] {
        if (command == ClearCommand::Packets) {
          doc_.ClearPackets();
        } else {
          doc_.ClearStatistics();
        }
      },
      Qt::QueuedConnection);
  return true;
}

}  // namespace qv
