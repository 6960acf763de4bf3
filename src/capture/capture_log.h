#pragma once
// The log files of live captures. The capture thread hands each frame over
// into a queue; a writer thread of the log's own writes it with pcap_dump,
// counts it and rotates the file at its packet or byte limit, so that the
// disk never holds up the capture. The file stays open across Stop and Start
// (flushed at Stop) and is closed when it rotates and when the log ends.

#include <pcap/pcap.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_log_sink.h"
#include "capture/log_files.h"

namespace qv {

class CaptureLog : public CaptureLogSink {
 public:
  // `report` shows a message to the user; it is called from the capture or
  // the writer thread and must not wait for an answer.
  using Report = std::function<void(const std::string&)>;
  explicit CaptureLog(Report report);
  ~CaptureLog() override;
  CaptureLog(const CaptureLog&) = delete;
  CaptureLog& operator=(const CaptureLog&) = delete;

  // The options the next live capture takes (at Start and at Open).
  void SetOptions(const LogOptions& options);

  // --- CaptureLogSink (capture thread) ---
  void LiveCaptureOpened(int linkType, int snapshotLength) override;
  void LiveFrame(const FrameHeader& header, const std::uint8_t* bytes) override;
  void LiveCaptureEnded() override;

  // Deletes log files on the writer thread (the file being written is kept)
  // and then calls `done` there with the number deleted.
  void DeleteFiles(const std::string& directory, LogDeletion which, std::int32_t deleteAfterDays,
                   std::function<void(int)> done = {});

  // Returns once everything handed over so far is written and flushed.
  void Flush();

  // The file being written, empty when none is open.
  std::string CurrentFile() const;
  std::uint64_t FramesWritten() const { return framesWritten_.load(); }

 private:
  void Writer();
  void WriteBatch(const std::vector<std::uint8_t>& batch);
  void Post(std::function<void()> task);
  void RunOnWriter(std::function<void()> task);
  bool OpenNewFile();
  void CloseFile();

  Report report_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the writer has something to do
  std::condition_variable progress_;  // the writer took a batch or finished a task
  std::vector<std::uint8_t> pending_;  // frames handed over: 16-byte header, bytes
  std::deque<std::function<void()>> tasks_;
  bool stop_ = false;
  LogOptions options_;
  std::string currentPath_;  // a copy for CurrentFile()
  std::atomic<bool> accepting_{false};  // a live capture logs into an open file
  std::atomic<std::uint64_t> framesWritten_{0};

  // The writer thread's own.
  std::vector<std::uint8_t> writing_;
  LogOptions active_;
  int linkType_ = DLT_EN10MB;
  int snapshotLength_ = 65536;
  pcap_t* dead_ = nullptr;  // describes the files: link type and snapshot length
  pcap_dumper_t* dumper_ = nullptr;
  std::string path_;
  std::uint64_t packetsInFile_ = 0;
  std::uint64_t bytesInFile_ = 0;
  bool creationFailed_ = false;  // reported; quiet until a file is made again

  std::thread thread_;
};

}  // namespace qv
