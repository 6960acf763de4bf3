#pragma once
// What the capture session tests share: a scratch directory, a backend whose
// adapters are savefiles (or pipes the test writes into), an interface thread
// that runs posted commands the way the window does, and an observer that
// checks after every event that the buffer, the rows and the totals agree.

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_backend.h"
#include "capture/capture_observer.h"
#include "capture/capture_session.h"
#include "capture/packet_row.h"
#include "framegen/frame_builder.h"
#include "recording_prompt.h"
#include "temp_dir.h"

namespace qv::testing {

using framegen::Bytes;
using framegen::FrameBuilder;
using framegen::PcapWriter;
using namespace std::chrono_literals;

// A small UDP frame whose payload carries `tag`, padded to `size` bytes.
inline Bytes TaggedFrame(std::uint32_t tag, std::size_t size = 60) {
  const std::uint8_t t[4] = {static_cast<std::uint8_t>(tag >> 24), static_cast<std::uint8_t>(tag >> 16),
                             static_cast<std::uint8_t>(tag >> 8), static_cast<std::uint8_t>(tag)};
  return FrameBuilder()
      .Ethernet({0x02, 0x51, 0x56, 0, 0, 0x20}, {0x02, 0x51, 0x56, 0, 0, 0x01}, 0x0800)
      .Ipv4({169, 254, 1, 1}, {169, 254, 1, 2}, 17)
      .Udp(40000, 40001)
      .Raw(Bytes(t, t + 4))
      .PadTo(size)
      .Build();
}

// The tag of a TaggedFrame(), from its UDP payload.
inline std::uint32_t TagOf(const Bytes& frame) {
  if (frame.size() < 46) return 0xFFFFFFFF;
  return static_cast<std::uint32_t>(frame[42]) << 24 | frame[43] << 16 | frame[44] << 8 | frame[45];
}

// Writes `count` tagged frames (tags 0..count-1, time stamps 1000+i s, i us).
inline std::vector<Bytes> WriteTaggedFile(const std::string& path, std::uint32_t count,
                                          const std::vector<std::size_t>& sizes = {}) {
  std::vector<Bytes> frames;
  PcapWriter w(path);
  for (std::uint32_t i = 0; i < count; ++i) {
    frames.push_back(TaggedFrame(i, sizes.empty() ? 60 : sizes[i % sizes.size()]));
    w.Write(frames.back(), 1000 + i, i);
  }
  return frames;
}

// Adapters that are only names. Opening one "live" reads the savefile (or
// pipe) assigned to it, so the live path runs on frames the test controls.
class FakeBackend : public CaptureBackend {
 public:
  AdapterList ListAdapters() override {
    ++listCalls;
    return adapters;
  }
  LiveOpenResult OpenLive(const LiveOpenRequest& request) override {
    {
      std::lock_guard lock(mutex_);
      opened_.push_back(request.adapter);
      lastSnapshot_ = request.snapshotLength;
      lastPromiscuous_ = request.promiscuous;
      lastTimeout_ = request.timeoutMs;
      lastBufferBytes_ = request.bufferBytes;
    }
    LiveOpenResult result;
    const auto it = files.find(request.adapter);
    if (it == files.end()) {
      result.error = openError;
      return result;
    }
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    result.handle = pcap_open_offline(it->second.c_str(), errbuf);
    if (result.handle == nullptr) result.error = errbuf;
    result.warning = openWarning;
    result.bufferRefused = refuseBuffer;
    return result;
  }
  // Counters the "adapter" reports, when set; a savefile has none.
  bool ReadStats(pcap_t* /*handle*/, pcap_stat& out) override {
    std::lock_guard lock(mutex_);
    if (!stats) return false;
    out = *stats;
    return true;
  }
  void SetStats(std::optional<pcap_stat> s) {
    std::lock_guard lock(mutex_);
    stats = s;
  }
  std::uint64_t LastBufferBytes() const {
    std::lock_guard lock(mutex_);
    return lastBufferBytes_;
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string& /*adapter*/) override { return address; }
  CaptureRights ProbeRights() override { return rights; }

  std::vector<std::string> Opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  bool OpenedAsSpecified() const {
    std::lock_guard lock(mutex_);
    return lastSnapshot_ == 65536 && lastPromiscuous_ && lastTimeout_ == 100;
  }

  AdapterList adapters;
  std::map<std::string, std::string> files;  // adapter name → savefile
  std::string openError = "eth9: You don't have permission to perform this capture on that device";
  std::string openWarning;   // given with every successful open
  bool refuseBuffer = false;  // opens report the kernel buffer refused
  std::array<std::uint8_t, 6> address{};
  // What the rights check finds; by default a process that may capture, so
  // that a refused open shows the library's text alone.
  CaptureRights rights{.processCanCapture = true};
  std::atomic<int> listCalls{0};

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
  int lastSnapshot_ = 0;
  bool lastPromiscuous_ = false;
  int lastTimeout_ = 0;
  std::uint64_t lastBufferBytes_ = 0;
  std::optional<pcap_stat> stats;
};

// Stands in for the window's interface thread: runs posted commands in order.
class InterfaceThread {
 public:
  InterfaceThread() : thread_([this] { Run(); }) {}
  ~InterfaceThread() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  InterfaceThread(const InterfaceThread&) = delete;
  InterfaceThread& operator=(const InterfaceThread&) = delete;

  void Post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(task));
    }
    wake_.notify_all();
  }
  // Runs `task` on the interface thread and returns when it has run.
  void Call(const std::function<void()>& task) {
    std::mutex m;
    std::condition_variable cv;
    bool ran = false;
    Post([&] {
      task();
      std::lock_guard lock(m);
      ran = true;
      cv.notify_all();
    });
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return ran; });
  }
  // Waits until everything posted so far has run.
  void Drain() {
    Call([] {});
  }
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::function<void()> task = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stop_ = false;
  std::thread thread_;
};

// One row as the packet list would hold it.
struct SeenRow {
  std::uint32_t number;
  Bytes bytes;
  std::uint32_t wireLength;
  std::array<std::string, kColumnCount> columns;
  Rgb colour;
};

// Hears the session and checks, event by event, that the records, the rows
// and the totals stay in step. With an interface thread, clear commands are
// posted to it as the window does; without one, the session clears itself.
class SessionObserver : public CaptureObserver {
 public:
  SessionObserver(CTalvenorDoc& doc, InterfaceThread* ui) : doc_(doc), ui_(ui) {}

  void CaptureStarted(bool readingFile) override {
    std::lock_guard lock(mutex_);
    ++started;
    lastStartReadingFile = readingFile;
  }
  void CaptureEnded(bool failed) override {
    {
      std::lock_guard lock(mutex_);
      ++ended;
      lastEndFailed = failed;
    }
    changed_.notify_all();
  }
  void TotalsChanged(std::uint32_t packetCount, std::uint64_t bufferedBytes) override {
    if (beforeTotals) beforeTotals(packetCount);
    std::lock_guard lock(mutex_);
    totals.push_back({packetCount, bufferedBytes});
    if (packetCount == 0) {
      if (bufferedBytes != 0 || nextNumber_ != 0) Problem("totals of an emptied buffer out of step");
      return;
    }
    if (pendingTotals_) Problem("two totals for one frame");
    if (packetCount != nextNumber_ + 1) Problem("count " + std::to_string(packetCount) + " for frame " +
                                                std::to_string(nextNumber_));
    pendingTotals_ = true;
    pendingBytes_ = bufferedBytes;
  }
  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override {
    {
      std::lock_guard lock(mutex_);
      captureThread = std::this_thread::get_id();
      captureTask = static_cast<pid_t>(::syscall(SYS_gettid));
      if (!pendingTotals_) Problem("row without totals");
      if (record.number != nextNumber_) {
        Problem("frame numbered " + std::to_string(record.number) + ", expected " + std::to_string(nextNumber_));
      }
      if (pendingBytes_ != bytesSinceClear_ + record.capturedLength) Problem("buffered bytes out of step");
      if (doc_.RowCount() != static_cast<std::int32_t>(record.number) + 1 ||
          doc_.PacketCount() != record.number + 1) {
        Problem("rows " + std::to_string(doc_.RowCount()) + " and records " + std::to_string(doc_.PacketCount()) +
                " at frame " + std::to_string(record.number));
      }
      pendingTotals_ = false;
      ++nextNumber_;
      bytesSinceClear_ += record.capturedLength;
      maxBytesSeen = std::max(maxBytesSeen, pendingBytes_);
      rows.push_back({record.number, Bytes(record.bytes.begin(), record.bytes.end()), record.wireLength,
                      ColumnTexts(record, row), RowColour(doc_.OwnAddress(), row)});
    }
    changed_.notify_all();
    if (afterPacket) afterPacket(record);
  }
  void BufferCleared() override {
    {
      std::lock_guard lock(mutex_);
      if (pendingTotals_) Problem("buffer cleared while a frame was being appended");
      ++packetClears;
      packetClearThreads.push_back(std::this_thread::get_id());
      nextNumber_ = 0;
      bytesSinceClear_ = 0;
      rowsBeforeClears.push_back(rows.size());
    }
    changed_.notify_all();
  }
  void StatisticsCleared() override {
    {
      std::lock_guard lock(mutex_);
      ++statisticsClears;
      statisticsClearThreads.push_back(std::this_thread::get_id());
    }
    changed_.notify_all();
  }
  void PacketShown(std::int64_t number, std::span<const std::uint8_t> bytes, const DecodeTree& tree,
                   const std::vector<std::int32_t>& /*layerStarts*/) override {
    std::lock_guard lock(mutex_);
    shown.push_back({number, Bytes(bytes.begin(), bytes.end()), tree.ToText()});
  }
  void CaptureNotice(const std::string& text) override {
    std::lock_guard lock(mutex_);
    notices.push_back(text);
  }
  bool PostClearCommand(ClearCommand command) override {
    if (ui_ == nullptr) return false;
    {
      std::lock_guard lock(mutex_);
      ++posted;
    }
    ui_->Post([this, command] {
      if (command == ClearCommand::Packets) {
        doc_.ClearPackets();
      } else {
        doc_.ClearStatistics();
      }
    });
    return true;
  }

  // Waits (up to `limit`) until `ready` holds; the observer's lock is held
  // while `ready` runs.
  template <typename Pred>
  bool WaitUntil(Pred ready, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return ready(); });
  }
  bool WaitForEnd(int runs = 1, std::chrono::milliseconds limit = 5000ms) {
    return WaitUntil([&] { return ended >= runs; }, limit);
  }
  template <typename F>
  auto Locked(F f) {
    std::lock_guard lock(mutex_);
    return f();
  }

  // How many rows the list shows; for WaitUntil() conditions, which run
  // under the observer's lock.
  std::size_t ListedCountLocked() const {
    return rows.size() - (rowsBeforeClears.empty() ? 0 : rowsBeforeClears.back());
  }

  // Rows inserted since the last clear: what the packet list shows.
  std::vector<SeenRow> ListedRows() {
    std::lock_guard lock(mutex_);
    const std::size_t from = rowsBeforeClears.empty() ? 0 : rowsBeforeClears.back();
    return {rows.begin() + static_cast<std::ptrdiff_t>(from), rows.end()};
  }
  std::vector<std::string> Problems() {
    std::lock_guard lock(mutex_);
    return problems_;
  }

  struct Totals {
    std::uint32_t count;
    std::uint64_t bytes;
  };
  struct Shown {
    std::int64_t number;
    Bytes bytes;
    std::string tree;
  };

  // Read under Locked() or once the capture has ended.
  int started = 0;
  int ended = 0;
  bool lastStartReadingFile = false;
  bool lastEndFailed = false;
  int posted = 0;
  int packetClears = 0;
  int statisticsClears = 0;
  std::vector<std::thread::id> packetClearThreads;
  std::vector<std::thread::id> statisticsClearThreads;
  std::thread::id captureThread;
  pid_t captureTask = 0;  // the capture thread's task id, for WaitUntilAsleep()
  std::vector<SeenRow> rows;                   // every row ever inserted
  std::vector<std::size_t> rowsBeforeClears;   // rows.size() at each clear
  std::vector<Totals> totals;
  std::uint64_t maxBytesSeen = 0;
  std::vector<Shown> shown;
  std::vector<std::string> notices;

  // Hooks on the capture thread: before the totals of a frame are told (the
  // frame is in the buffer but its row is not yet inserted), and after its row.
  std::function<void(std::uint32_t count)> beforeTotals;
  std::function<void(const PacketRecord&)> afterPacket;

 private:
  void Problem(std::string what) { problems_.push_back(std::move(what)); }

  CTalvenorDoc& doc_;
  InterfaceThread* ui_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> problems_;
  std::uint32_t nextNumber_ = 0;
  std::uint64_t bytesSinceClear_ = 0;
  bool pendingTotals_ = false;
  std::uint64_t pendingBytes_ = 0;
};

// Waits until the task has been asleep (blocked in a system call) at two
// looks 20 ms apart: a capture thread with nothing to do sleeps in its read.
inline bool WaitUntilAsleep(pid_t task, std::chrono::milliseconds limit = 5000ms) {
  auto asleep = [task] {
    std::ifstream in("/proc/self/task/" + std::to_string(task) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
  };
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (asleep()) {
      std::this_thread::sleep_for(20ms);
      if (asleep()) return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

// A one-shot gate a capture-thread hook can wait at.
class Gate {
 public:
  void Arrive() {
    std::unique_lock lock(mutex_);
    arrived_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return open_; });
  }
  bool WaitForArrival(std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return arrived_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool arrived_ = false;
  bool open_ = false;
};

enum class Adapters { Fake, Real };

// A session with its user, settings, fake adapters (or the real ones) and,
// unless asked otherwise, an interface thread that runs the posted clear
// commands.
struct Session {
  explicit Session(bool withInterface = true, Adapters adapters = Adapters::Fake) {
    doc = adapters == Adapters::Fake ? std::make_unique<CTalvenorDoc>(prompt, settings, backend)
                                     : std::make_unique<CTalvenorDoc>(prompt, settings);
    observer = std::make_unique<SessionObserver>(*doc, withInterface ? &ui : nullptr);
    doc->SetObserver(observer.get());
  }
  ~Session() { Finish(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Finish() {
    if (!doc) return;
    doc->Stop();
    doc->WaitForCapture();
    ui.Drain();
    doc.reset();
  }

  // One adapter "eth0" whose capture is `count` tagged frames.
  std::vector<Bytes> OneAdapter(std::uint32_t count, const std::vector<std::size_t>& sizes = {}) {
    backend.adapters.adapters = {{"eth0", ""}};
    backend.files["eth0"] = dir.File("eth0.pcap");
    return WriteTaggedFile(backend.files["eth0"], count, sizes);
  }

  // Starts a live capture and waits for it to end (at the end of its file).
  void CaptureToEnd() {
    const int runs = observer->Locked([&] { return observer->ended; });
    ASSERT_TRUE(doc->Start());
    ASSERT_TRUE(observer->WaitForEnd(runs + 1)) << "the capture never ended";
    doc->WaitForCapture();
    ui.Drain();
  }
  void ReadToEnd(const std::string& path) {
    const int runs = observer->Locked([&] { return observer->ended; });
    ASSERT_TRUE(doc->Open(path));
    ASSERT_TRUE(observer->WaitForEnd(runs + 1)) << "the reading never ended";
    doc->WaitForCapture();
    ui.Drain();
  }

  // Records, rows and totals agree, and every listed row has its record.
  void ExpectInStep() {
    for (const std::string& p : observer->Problems()) ADD_FAILURE() << p;
    const std::vector<SeenRow> listed = observer->ListedRows();
    EXPECT_EQ(doc->RowCount(), static_cast<std::int32_t>(doc->PacketCount()));
    ASSERT_EQ(listed.size(), doc->PacketCount());
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].number, i);
      const std::optional<PacketRecord> r = doc->Buffer().Find(static_cast<std::uint32_t>(i));
      ASSERT_TRUE(r) << i;
      EXPECT_EQ(Bytes(r->bytes.begin(), r->bytes.end()), listed[i].bytes) << i;
      bytes += r->capturedLength;
    }
    EXPECT_EQ(bytes, doc->BufferedBytes());
  }

  std::vector<std::uint32_t> ListedTags() {
    std::vector<std::uint32_t> tags;
    for (const SeenRow& r : observer->ListedRows()) tags.push_back(TagOf(r.bytes));
    return tags;
  }

  RecordingPrompt prompt;
  MemorySettingsStore settings;
  FakeBackend backend;
  TempDir dir;
  InterfaceThread ui;
  std::unique_ptr<SessionObserver> observer;
  std::unique_ptr<CTalvenorDoc> doc;
};

}  // namespace qv::testing
