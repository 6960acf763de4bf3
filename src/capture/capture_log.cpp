#include "capture/capture_log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>

namespace qv {

namespace {

// Frames waiting for the writer. Past this the capture thread waits for the
// disk rather than let memory grow without bound (the kernel's buffer then
// holds the frames, and its drops are counted there).
constexpr std::size_t kMaxPendingBytes = 32u << 20;
constexpr std::size_t kRecordHeader = 16;

void PutWord(std::uint8_t* at, std::uint32_t v) { std::memcpy(at, &v, 4); }
std::uint32_t GetWord(const std::uint8_t* at) {
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

}  // namespace

CaptureLog::CaptureLog(Report report) : report_(std::move(report)) {
  thread_ = std::thread([this] { Writer(); });
}

CaptureLog::~CaptureLog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void CaptureLog::SetOptions(const LogOptions& options) {
  std::lock_guard lock(mutex_);
  options_ = options;
}

std::string CaptureLog::CurrentFile() const {
  std::lock_guard lock(mutex_);
  return currentPath_;
}

void CaptureLog::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void CaptureLog::RunOnWriter(std::function<void()> task) {
  std::promise<void> ran;
  std::future<void> done = ran.get_future();
  Post([&] {
    task();
    ran.set_value();
  });
  done.wait();
}

void CaptureLog::Flush() {
  RunOnWriter([this] {
    if (dumper_ != nullptr) pcap_dump_flush(dumper_);
  });
}

void CaptureLog::DeleteFiles(const std::string& directory, LogDeletion which, std::int32_t deleteAfterDays,
                             std::function<void(int)> done) {
  Post([this, directory, which, deleteAfterDays, done = std::move(done)] {
    const int deleted = DeleteLogFiles(directory, which, deleteAfterDays, std::chrono::system_clock::now(), path_);
    if (done) done(deleted);
  });
}

// --- the capture thread's side ----------------------------------------------

void CaptureLog::LiveCaptureOpened(int linkType, int snapshotLength) {
  LogOptions options;
  {
    std::lock_guard lock(mutex_);
    options = options_;
  }
  // Before the capture's first frame: the kernel holds what arrives meanwhile.
  RunOnWriter([this, options, linkType, snapshotLength] {
    active_ = options;
    // A savefile has one link type: frames of another go into a new file.
    if (dumper_ != nullptr && linkType != linkType_) CloseFile();
    linkType_ = linkType;
    snapshotLength_ = snapshotLength;
    creationFailed_ = false;
    if (active_.loggingOn && dumper_ == nullptr) OpenNewFile();
    accepting_ = active_.loggingOn && dumper_ != nullptr;
  });
}

void CaptureLog::LiveFrame(const FrameHeader& header, const std::uint8_t* bytes) {
  if (!accepting_.load(std::memory_order_relaxed)) return;
  bool wasEmpty;
  {
    std::unique_lock lock(mutex_);
    progress_.wait(lock, [&] { return pending_.size() < kMaxPendingBytes || stop_; });
    wasEmpty = pending_.empty();
    const std::size_t at = pending_.size();
    pending_.resize(at + kRecordHeader + header.capturedLength);
    std::uint8_t* out = pending_.data() + at;
    PutWord(out, header.seconds);
    PutWord(out + 4, header.microseconds);
    PutWord(out + 8, header.capturedLength);
    PutWord(out + 12, header.wireLength);
    if (header.capturedLength != 0) std::memcpy(out + kRecordHeader, bytes, header.capturedLength);
  }
  // The writer is awake while it has frames; only the first one wakes it.
  if (wasEmpty) wake_.notify_all();
}

void CaptureLog::LiveCaptureEnded() {
  accepting_ = false;
  Flush();
}

// --- the writer thread -------------------------------------------------------

void CaptureLog::Writer() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !pending_.empty() || !tasks_.empty(); });
    if (!pending_.empty()) {
      // Frames before tasks: a task posted after a frame sees it written.
      writing_.swap(pending_);
      lock.unlock();
      progress_.notify_all();
      WriteBatch(writing_);
      writing_.clear();
      lock.lock();
      continue;
    }
    if (!tasks_.empty()) {
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    if (stop_) break;
  }
  lock.unlock();
  CloseFile();
}

void CaptureLog::WriteBatch(const std::vector<std::uint8_t>& batch) {
  std::size_t at = 0;
  while (at + kRecordHeader <= batch.size()) {
    const std::uint8_t* record = batch.data() + at;
    pcap_pkthdr header{};
    header.ts.tv_sec = GetWord(record);
    header.ts.tv_usec = GetWord(record + 4);
    header.caplen = GetWord(record + 8);
    header.len = GetWord(record + 12);
    at += kRecordHeader + header.caplen;
    if (dumper_ == nullptr) continue;
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, record + kRecordHeader);
    framesWritten_.fetch_add(1, std::memory_order_relaxed);
    ++packetsInFile_;
    bytesInFile_ += header.caplen;
    if ((active_.maxPackets != 0 && packetsInFile_ >= active_.maxPackets) ||
        (active_.maxBytes != 0 && bytesInFile_ >= active_.maxBytes)) {
      // Without a new file the current one goes on; the limit is looked at
      // again after the next frame.
      pcap_dumper_t* old = dumper_;
      if (OpenNewFile()) pcap_dump_close(old);
    }
  }
}

bool CaptureLog::OpenNewFile() {
  // A folder that refuses files (full, gone, read-only) is reported once,
  // not again for every frame that retries the rotation.
  auto fail = [this](int error) {
    if (!creationFailed_) report_(LogFileCreationMessage(error));
    creationFailed_ = true;
    return false;
  };
  const CreatedLogFile created = CreateLogFile(active_.directory, std::time(nullptr));
  if (created.path.empty()) return fail(created.error);
  if (dead_ == nullptr || pcap_datalink(dead_) != linkType_ || pcap_snapshot(dead_) != snapshotLength_) {
    if (dead_ != nullptr) pcap_close(dead_);
    dead_ = pcap_open_dead(linkType_, snapshotLength_);
  }
  // The exclusively created file itself is written: no second open by name.
  std::FILE* file = ::fdopen(created.fd, "wb");
  pcap_dumper_t* dumper = nullptr;
  int error = errno;
  if (file != nullptr && dead_ != nullptr) {
    dumper = pcap_dump_fopen(dead_, file);
    error = errno;
    if (dumper == nullptr) std::fclose(file);
  } else if (file != nullptr) {
    std::fclose(file);
  } else {
    ::close(created.fd);
  }
  if (dumper == nullptr) {
    ::unlink(created.path.c_str());
    return fail(error != 0 ? error : EIO);
  }
  creationFailed_ = false;
  dumper_ = dumper;
  path_ = created.path;
  packetsInFile_ = 0;
  bytesInFile_ = 0;
  std::lock_guard lock(mutex_);
  currentPath_ = path_;
  return true;
}

void CaptureLog::CloseFile() {
  if (dumper_ != nullptr) pcap_dump_close(dumper_);
  dumper_ = nullptr;
  path_.clear();
  if (dead_ != nullptr) pcap_close(dead_);
  dead_ = nullptr;
  std::lock_guard lock(mutex_);
  currentPath_.clear();
}

}  // namespace qv
