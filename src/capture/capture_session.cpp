#include "capture/capture_session.h"

#include <chrono>

#include "capture/sources/capture_files.h"
#include "capture/sources/helper_backend.h"
#include "capture/sources/helper_capture_source.h"
#include "capture/sources/pcap_live_source.h"
#include "decode/text_format.h"

namespace qv {

namespace {
constexpr const char* kCaption = "Quorvanet";
constexpr std::uint64_t kMiB = 1u << 20;
}

CTalvenorDoc::CTalvenorDoc(UserPrompt& prompt, SettingsStore& settings)
    : prompt_(prompt),
      settings_(settings),
      ownBackend_(std::make_unique<HelperBackend>()),
      backend_(*ownBackend_),
      captureFiles_(std::make_shared<CaptureFiles>()),
      observer_(&noObserver_) {
  makeSource_ = [files = captureFiles_] { return std::make_unique<HelperCaptureSource>(files); };
}

CTalvenorDoc::CTalvenorDoc(UserPrompt& prompt, SettingsStore& settings, CaptureBackend& backend)
    : prompt_(prompt), settings_(settings), backend_(backend), observer_(&noObserver_) {
  makeSource_ = [&backend] { return std::make_unique<PcapLiveSource>(backend); };
}

CTalvenorDoc::~CTalvenorDoc() {
  shuttingDown_ = true;
  Stop();
  {
    std::lock_guard lock(handshakeMutex_);
    handshake_ = false;
  }
  handshakeDone_.notify_all();
  for (Worker& w : workers_) {
    if (w.thread.joinable()) w.thread.join();
  }
}

void CTalvenorDoc::Message(const std::string& text, MessageIcon icon) { prompt_.ShowMessage(text, kCaption, icon); }

// --- adapters ---------------------------------------------------------------

bool CTalvenorDoc::EnumerateAdapters() {
  AdapterList list = backend_.ListAdapters();
  if (list.failed) {
    Message(Format("Błąd w funkcji \"pcap_findalldevs\"!  %s", list.error.c_str()), MessageIcon::Error);
    return false;
  }
  adapters_ = std::move(list.adapters);
  haveAdapterList_ = !adapters_.empty();
  chosen_.reset();
  if (adapters_.empty()) {
    Message("Nie znalazłem żadnych interfejsów sieciowych!", MessageIcon::Error);
    return false;
  }
  return true;
}

std::vector<Adapter> CTalvenorDoc::AdaptersQuietly() {
  return adapters_.empty() ? backend_.ListAdapters().adapters : adapters_;
}

std::optional<Adapter> CTalvenorDoc::ChosenAdapter() const {
  if (!chosen_) return std::nullopt;
  return adapters_[*chosen_];
}

bool CTalvenorDoc::ChooseAdapter(std::size_t index) {
  if (index >= adapters_.size()) return false;
  chosen_ = index;
  return true;
}

std::array<std::uint8_t, 6> CTalvenorDoc::OwnAddress() const {
  std::lock_guard lock(ownAddressMutex_);
  return ownAddress_;
}

// --- limits -----------------------------------------------------------------

void CTalvenorDoc::SetLimits(std::uint32_t maxBytes, std::uint32_t maxCount) {
  maxBytes_.store(maxBytes);
  maxCount_.store(maxCount);
  observer_->LimitsChanged(maxCount, maxBytes);
}

void CTalvenorDoc::SetFilterText(std::string text) { filterText_ = std::move(text); }

// --- commands ---------------------------------------------------------------

bool CTalvenorDoc::Start() {
  if (!CanStart()) return false;
  SetLimits(maxBytes_.load(), maxCount_.load());
  if (!haveAdapterList_ && !EnumerateAdapters()) return false;

  if (!chosen_) {
    const std::string current = settings_.GetString("pcap", "CurrentDevice").value_or("");
    if (!current.empty()) {
      for (std::size_t i = 0; i < adapters_.size(); ++i) {
        if (adapters_[i].name == current) {
          chosen_ = i;
          break;
        }
      }
    } else if (adapters_.size() > 1) {
      const std::optional<std::size_t> pick = prompt_.ChooseAdapter(adapters_);
      if (!pick) return false;
      if (*pick < adapters_.size()) chosen_ = *pick;
    } else {
      chosen_ = 0;
    }
    if (!chosen_) {
      Message("Wrong device. Neither selected.", MessageIcon::Error);
      return false;
    }
    settings_.SetString("pcap", "CurrentDevice", adapters_[*chosen_].name);
  }

  capturing_ = true;
  ResetDrops();
  observer_->CaptureStarted(false);
  LaunchCaptureThread({true, adapters_[*chosen_].name, filterText_});
  return true;
}

void CTalvenorDoc::Stop() {
  {
    std::lock_guard lock(runMutex_);
    if (currentRun_) currentRun_->stop = true;
  }
  capturing_ = false;
  readingFile_ = false;
}

void CTalvenorDoc::EndRun(const std::shared_ptr<Run>& run) {
  std::lock_guard lock(runMutex_);
  run->stop = true;
  if (currentRun_ != run) return;  // a later run owns the flags
  capturing_ = false;
  readingFile_ = false;
  currentRun_.reset();
}

DropCounts CTalvenorDoc::Drops() const {
  std::lock_guard lock(dropsMutex_);
  return drops_;
}

void CTalvenorDoc::ResetDrops() {
  std::lock_guard lock(dropsMutex_);
  drops_ = {};
}

void CTalvenorDoc::ClearPackets() {
  if (handshake_ || activeRuns_ == 0) {
    ClearPacketsNow();
    return;
  }
  clearPacketsRequest_ = true;
  // The run may have ended since the look above, after serving what it found.
  if (activeRuns_ == 0 && clearPacketsRequest_.exchange(false)) ClearPacketsNow();
}

void CTalvenorDoc::ClearStatistics() {
  if (!capturing_ || handshake_) {
    ClearStatisticsNow();
    return;
  }
  clearStatisticsRequest_ = true;
  if (activeRuns_ == 0 && clearStatisticsRequest_.exchange(false)) ClearStatisticsNow();
}

void CTalvenorDoc::ClearAll() {
  ClearPackets();
  ClearStatistics();
  ResetDrops();
}

void CTalvenorDoc::ClearPacketsNow() {
  buffer_.Clear();
  ++clearGeneration_;
  // Capture files whose frames were all in the buffer go now.
  if (captureFiles_) captureFiles_->RemoveUnused();
  quicInitials_.Clear();
  {
    // What a file said of itself goes with its frames.
    std::lock_guard lock(dropsMutex_);
    fileInfo_ = {};
  }
  rowCount_ = 0;
  // Numbers restart at 0, so a remembered number would name another frame.
  shownPacket_ = -1;
  observer_->BufferCleared();
  observer_->TotalsChanged(0, 0);
  {
    std::lock_guard lock(handshakeMutex_);
    handshake_ = false;
  }
  handshakeDone_.notify_all();
}

void CTalvenorDoc::ClearStatisticsNow() {
  statistics_.Clear();
  observer_->StatisticsCleared();
  {
    std::lock_guard lock(handshakeMutex_);
    handshake_ = false;
  }
  handshakeDone_.notify_all();
}

bool CTalvenorDoc::ShowPacket(std::uint32_t number) {
  if (static_cast<std::int64_t>(number) == shownPacket_) return false;
  const std::optional<PacketRecord> record = buffer_.Find(number);
  if (!record) return false;
  shownPacket_ = number;
  if (record->unreadable) {
    // Its file changed: the row keeps what was read, the bars show nothing.
    if (record->file && record->file->TakeChangeReport()) {
      Message(FileChangedMessage(record->file->Path()), MessageIcon::Warning);
    }
    observer_->PacketShown(number, {}, DecodeTree(), {});
    return true;
  }
  ShowDecoded(number, record->bytes, record->linkType, record->comment);
  return true;
}

bool CTalvenorDoc::ReshowPacket() {
  if (shownPacket_ < 0) return false;
  const auto number = static_cast<std::uint32_t>(shownPacket_);
  shownPacket_ = -1;
  return ShowPacket(number);
}

void CTalvenorDoc::ShowRawPacket(std::span<const std::uint8_t> bytes, int linkType) {
  shownPacket_ = -1;
  ShowDecoded(-1, bytes, linkType);
}

void CTalvenorDoc::ShowDecoded(std::int64_t number, std::span<const std::uint8_t> bytes, int linkType,
                               std::string_view comment) {
  DecodeTree tree;
  std::vector<std::int32_t> layerStarts;
  DecodeContext context = ContextFor(linkType, nullptr, scripts_);
  context.comment = comment;
  PacketDecoder(bytes, context, &tree, DecodeMode::Tree, &layerStarts, nullptr).Decode();
  observer_->PacketShown(number, bytes, tree, layerStarts);
}

PacketSummary CTalvenorDoc::SummaryOf(const PacketRecord& record) const {
  PacketSummary row;
  PacketDecoder(record.bytes, ContextFor(record.linkType, nullptr, nullptr), nullptr, DecodeMode::Summary, nullptr, &row)
      .Decode();
  return row;
}

// --- the capture thread -----------------------------------------------------

void CTalvenorDoc::ReapFinishedWorkers() {
  std::erase_if(workers_, [](Worker& w) {
    if (!w.done->load()) return false;
    w.thread.join();
    return true;
  });
}

void CTalvenorDoc::LaunchCaptureThread(RunSource source) {
  ReapFinishedWorkers();
  ++activeRuns_;
  ++runsInFlight_;
  auto run = std::make_shared<Run>();
  {
    std::lock_guard lock(runMutex_);
    currentRun_ = run;
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  workers_.push_back({std::thread([this, done, run, source = std::move(source)] {
                        CaptureThread(source, run);
                        done->store(true);
                      }),
                      done});
}

void CTalvenorDoc::RemoveCaptureFiles() {
  if (captureFiles_) captureFiles_->RemoveAll();
}

void CTalvenorDoc::WaitForCapture() {
  for (Worker& w : workers_) {
    if (w.thread.joinable()) w.thread.join();
  }
  workers_.clear();
}

void CTalvenorDoc::CaptureThread(const RunSource& source, const std::shared_ptr<Run>& run) {
  bool failed = false;
  {
    std::unique_lock lock(sessionLock_, std::try_to_lock);
    if (!lock.owns_lock()) {
      --activeRuns_;
      Message("Interfejs zajęty:(");
      EndRun(run);
      --runsInFlight_;
      observer_->CaptureEnded(true);
      return;
    }
    lastRunFailed_ = false;
    if (source.live) {
      CaptureLive(source, *run);
    } else {
      ReadFile(source, *run);
    }
    failed = lastRunFailed_;
    EndRun(run);
    // The buffer is the interface's again. A clear asked for while the loop
    // was ending is served now: left pending, it would empty the buffer at
    // the first frame of the next capture.
    --activeRuns_;
    if (!shuttingDown_) ServeRequests();
  }
  lastRunFailed_ = failed;
  --runsInFlight_;
  observer_->CaptureEnded(failed);
}

bool CTalvenorDoc::AddPacketRow(const FrameHeader& header, const std::uint8_t* bytes,
                                const PacketBuffer::Origin& origin, std::uint32_t& count,
                                std::uint64_t& bufferedBytes) {
  const std::optional<PacketBuffer::Appended> added = buffer_.TryAppend(header, bytes, origin);
  if (!added) {
    GiveUp(buffer_.LastRefusal());
    return false;
  }
  count = added->count;
  bufferedBytes = added->bufferedBytes;
  observer_->TotalsChanged(added->count, added->bufferedBytes);
  PacketSummary row;
  bool decoded = true;
  try {
    PacketDecoder(added->record.bytes, ContextFor(added->record.linkType, &statistics_, nullptr), nullptr,
                  DecodeMode::Summary, nullptr, &row)
        .Decode();
  } catch (const std::bad_alloc&) {
    decoded = false;  // the frame is buffered; its row is listed with what was decoded
  }
  ++rowCount_;
  observer_->PacketAdded(added->record, row);
  if (!decoded) GiveUp(PacketBuffer::Refusal::OutOfMemory);
  return decoded;
}

void CTalvenorDoc::GiveUp(PacketBuffer::Refusal why) {
  // Everything buffered so far stays; the run ends here.
  if (capturing_) {
    // A frame the adapter delivered and the buffer could not take.
    std::lock_guard lock(dropsMutex_);
    ++drops_.ours;
  }
  const unsigned kept = buffer_.Count();
  if (why == PacketBuffer::Refusal::OverBudget) {
    Message(Format("Memory budget of %llu MB reached: stopped after %u packets.",
                   static_cast<unsigned long long>(buffer_.MemoryBudget() / kMiB), kept),
            MessageIcon::Warning);
  } else {
    Message(Format("Out of memory: stopped after %u packets.", kept), MessageIcon::Error);
  }
  lastRunFailed_ = true;
  Stop();
}

void CTalvenorDoc::ServeRequests() {
  if (clearPacketsRequest_.exchange(false)) ClearThroughInterface(ClearCommand::Packets);
  if (clearStatisticsRequest_.exchange(false)) ClearStatisticsNow();
}

void CTalvenorDoc::ClearThroughInterface(ClearCommand command) {
  handshake_ = true;
  if (!observer_->PostClearCommand(command)) {
    // No interface thread to ask: clear here.
    if (command == ClearCommand::Packets) {
      ClearPacketsNow();
    } else {
      ClearStatisticsNow();
    }
    return;
  }
  std::unique_lock lock(handshakeMutex_);
  while (handshake_ && !shuttingDown_) {
    handshakeDone_.wait_for(lock, std::chrono::milliseconds(50));
  }
}

}  // namespace qv
