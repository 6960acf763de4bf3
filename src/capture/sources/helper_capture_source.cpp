#include "capture/sources/helper_capture_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "capture/adapters.h"
#include "capture/capture_filter.h"
#include "capture/pcap_handle.h"
#include "capture/sources/helper_backend.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// Started comes at once unless opening the adapter hangs in the kernel.
constexpr auto kStartLimit = std::chrono::seconds(10);
// A helper told to stop flushes and ends at once; one that does not is killed.
constexpr auto kStopLimit = std::chrono::seconds(3);
constexpr std::uint64_t kSmallestBuffer = 65536;
constexpr std::uint64_t kLargestBuffer = std::uint64_t{1} << 31;

std::string ReadFailure(const std::string& why) {
  return Format("Unable to read from the adapter.\nThe following error occured: %s", why.c_str());
}

// Whether the filter compiles for the adapter's link type, told as when the
// library refuses it on an adapter opened here: then the capture goes on
// unfiltered, as it always has, rather than not at all.
bool FilterCompiles(const LiveRequest& request, const LiveReport& report) {
  const int guessed = GuessAdapterLinkType(request.adapter);
  PcapHandle handle(pcap_open_dead(guessed >= 0 ? guessed : 1, request.snapshotLength));
  if (!handle) return true;  // the helper compiles it all the same
  const FilterCompile compiled = CompileFilter(handle.get(), request.filter, true, AdapterNetmask(request.adapter));
  if (compiled.ok) return true;
  report.Message(kFilterCompileFailed + compiled.error, MessageIcon::Error);
  report.Message(kFilterNotApplied, MessageIcon::Error);
  return false;
}

}  // namespace

HelperCaptureSource::~HelperCaptureSource() {
  helper_.reset();  // killed if it still runs
  for (File& f : files_in_use_) Release(f);
  if (rotating_) Release(*rotating_);
}

std::string HelperCaptureSource::OpenFailure(const std::string& why) const {
  return Format("Unable to open the adapter. %s is not supported by WinPcap\n%s", adapter_.c_str(), why.c_str());
}

void HelperCaptureSource::Release(File& file) {
  file.input.reset();
  if (file.readFd >= 0) ::close(file.readFd);
  file.readFd = -1;
  if (!file.path.empty()) files_->Release(file.path);
  file.path.clear();
}

std::optional<LiveOpened> HelperCaptureSource::Open(const LiveRequest& request, const LiveReport& report) {
  report_ = &report;
  adapter_ = request.adapter;
  CaptureFiles::Made made = files_->Make();
  if (made.writeFd < 0) {
    report.Message(OpenFailure(made.error), MessageIcon::Error);
    return std::nullopt;
  }
  std::uint64_t buffer = request.bufferBytes;
  if (buffer != 0) buffer = std::clamp(buffer, kSmallestBuffer, kLargestBuffer);
  std::vector<std::string> arguments = {"capture",
                                        "--adapter",
                                        request.adapter,
                                        "--snaplen",
                                        std::to_string(request.snapshotLength),
                                        "--promisc",
                                        request.promiscuous ? "1" : "0",
                                        "--timeout",
                                        std::to_string(request.timeoutMs),
                                        "--buffer",
                                        std::to_string(buffer)};
  if (!request.filter.empty() && FilterCompiles(request, report)) {
    arguments.push_back("--filter");
    arguments.push_back(request.filter);
  }
  std::string error;
  helper_ = HelperProcess::Start(arguments, made.writeFd, error);
  ::close(made.writeFd);
  files_in_use_.push_back({made.path, made.readFd});
  if (!helper_) {
    // Not allowed to run it (the package lets only its group) is a lack of rights too.
    report.Message(OpenFailure(error) + HelperOpenFailureAdvice(error), MessageIcon::Error);
    return std::nullopt;
  }
  const auto until = std::chrono::steady_clock::now() + kStartLimit;
  while (!started_) {
    std::vector<control::Message> messages;
    const HelperProcess::Read got = helper_->Receive(std::chrono::milliseconds(100), messages);
    for (const control::Message& m : messages) {
      if (!failed_) Handle(m);
    }
    if (failed_ && !started_) {
      // The helper's (the library's) text, and what to do when it lacked the right.
      report.Message(OpenFailure(error_) + HelperOpenFailureAdvice(error_), MessageIcon::Error);
      return std::nullopt;
    }
    if (started_) break;
    if (got == HelperProcess::Read::Closed || got == HelperProcess::Read::Broken || !problem_.empty()) {
      const std::string detail = !problem_.empty() ? problem_ : helper_->Problem();
      const std::string why = detail.empty() ? std::string(kHelperStoppedText)
                                             : std::string(kHelperStoppedText) + ": " + detail;
      report.Message(OpenFailure(why), MessageIcon::Error);
      return std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= until) {
      helper_->Kill();
      report.Message(OpenFailure("The capture helper did not answer."), MessageIcon::Error);
      return std::nullopt;
    }
  }
  return opened_;
}

void HelperCaptureSource::Handle(const control::Message& message) {
  using control::MessageType;
  auto damaged = [&] {
    problem_ = "its " + std::string(control::TypeName(message.type)) + " message was damaged";
  };
  switch (message.type) {
    case MessageType::Started: {
      const std::optional<control::Started> m = control::Started::Decode(message.payload);
      if (!m) return damaged();
      started_ = true;
      opened_.linkType = static_cast<int>(m->linkType);
      opened_.snapshotLength = static_cast<int>(m->snaplen);
      opened_.bufferInForce = m->kernelBufferBytesInForce;
      opened_.bufferRefused = (m->flags & control::Started::kBufferRefused) != 0;
      return;
    }
    case MessageType::Written: {
      const std::optional<control::Written> m = control::Written::Decode(message.payload);
      if (!m) return damaged();
      if (!files_in_use_.empty() && !files_in_use_.back().complete) {
        files_in_use_.back().limit = std::max(files_in_use_.back().limit, m->fileBytes);
      }
      return;
    }
    case MessageType::Drops: {
      const std::optional<control::Drops> m = control::Drops::Decode(message.payload);
      if (!m) return damaged();
      drops_ = LiveDrops{m->kernelDrops, m->interfaceDrops};
      return;
    }
    case MessageType::Warning: {
      const std::optional<control::Warning> m = control::Warning::Decode(message.payload);
      if (!m) return damaged();
      if (!started_) {
        opened_.warnings.push_back(m->text);
      } else if (report_->notice) {
        report_->notice(m->text);
      }
      return;
    }
    case MessageType::Error: {
      const std::optional<control::Error> m = control::Error::Decode(message.payload);
      if (!m) return damaged();
      if (!failed_) error_ = m->text;
      failed_ = true;
      return;
    }
    case MessageType::End: {
      const std::optional<control::End> m = control::End::Decode(message.payload);
      if (!m) return damaged();
      ended_ = true;
      if (!files_in_use_.empty()) {
        File& last = files_in_use_.back();
        if (!last.complete) last.limit = std::max(last.limit, m->fileBytes);
        last.complete = true;
      }
      return;
    }
    case MessageType::FileSwitched: {
      const std::optional<control::FileSwitched> m = control::FileSwitched::Decode(message.payload);
      if (!m) return damaged();
      if (!files_in_use_.empty()) {
        File& old = files_in_use_.back();
        old.limit = std::max(old.limit, m->oldFileBytes);
        old.complete = true;
      }
      if (rotating_) {
        files_in_use_.push_back(std::move(*rotating_));
        rotating_.reset();
      }
      return;
    }
    case MessageType::FilterSet: {
      const std::optional<control::FilterSet> m = control::FilterSet::Decode(message.payload);
      if (!m) return damaged();
      if (filters_ != nullptr) filters_->Served(m->ok, m->error);
      return;
    }
    default:
      // Nothing else belongs in a capture; it changes nothing.
      return;
  }
}

bool HelperCaptureSource::HandFrames(const std::function<bool(const LiveFrame&)>& take) {
  while (!files_in_use_.empty()) {
    File& f = files_in_use_.front();
    if (!f.input) {
      if (f.limit == 0) {
        if (!f.complete) return true;  // nothing written yet
        Release(f);
        files_in_use_.pop_front();
        continue;
      }
      std::string error;
      f.input = SavefileInput::Open(f.readFd, f.path, {}, error);
      f.readFd = -1;  // the input owns it now, also when it failed
      if (!f.input) {
        if (!failed_) error_ = error;
        failed_ = true;
        problem_.clear();
        Release(f);
        files_in_use_.pop_front();
        continue;
      }
    }
    SavefileReader& reader = f.input->Reader();
    reader.SetReadLimit(f.limit);
    SavefileFrame frame;
    bool held = false;
    for (;;) {
      const SavefileReader::Result result = reader.Next(frame);
      if (result == SavefileReader::Result::End) break;
      if (result == SavefileReader::Result::Damaged) {
        // After the helper died the file is read to its end, where a block
        // may be cut short: the frames before it are all there is.
        if (!gone_ || !reader.HeaderRead()) {
          if (!failed_) error_ = f.path + ": " + reader.Damage().what;
          failed_ = true;
          Stop();
        }
        f.complete = true;
        break;
      }
      LiveFrame live;
      live.header = frame.header;
      live.bytes = frame.bytes;
      live.place = f.input->PlaceOf(frame);
      if (!held && live.place != nullptr) {
        files_->Hold(f.path, live.place->file);
        held = true;
      }
      if (!take(live)) return false;
    }
    if (!f.complete) return true;
    Release(f);
    files_in_use_.pop_front();
  }
  return true;
}

void HelperCaptureSource::HelperGone() {
  if (gone_) return;
  gone_ = true;
  if (ended_) return;
  // Every frame it wrote is kept: each file is read to its end.
  failed_ = true;
  if (!problem_.empty() || !helper_->Problem().empty()) {
    stoppedText_ = std::string(kHelperStoppedText) + ": " + (problem_.empty() ? helper_->Problem() : problem_);
  } else {
    stoppedText_ = kHelperStoppedText;
  }
  helper_->Kill();
  for (File& f : files_in_use_) {
    struct stat st {};
    if (!f.path.empty() && ::stat(f.path.c_str(), &st) == 0) {
      f.limit = std::max<std::uint64_t>(f.limit, static_cast<std::uint64_t>(st.st_size));
    }
    f.complete = true;
  }
}

LiveSource::Status HelperCaptureSource::Read(std::chrono::milliseconds wait,
                                             const std::function<bool(const LiveFrame&)>& take) {
  if (!helper_) return Status::Ended;
  for (int turn = 0;; ++turn) {
    if (!HandFrames(take)) return Status::Frames;
    if ((ended_ || gone_) && files_in_use_.empty()) {
      if (!failed_) return Status::Ended;
      // Told once every frame is handed over.
      if (!stoppedText_.empty()) {
        report_->Message(stoppedText_, MessageIcon::Error);
      } else if (!error_.empty()) {
        report_->Message(ReadFailure(error_), MessageIcon::Error);
      }
      stoppedText_.clear();
      error_.clear();
      return Status::Failed;
    }
    if (ended_ || gone_) {
      // The files' complete ends are known; what is left is there to read.
      if (turn > 0) return Status::Frames;
      continue;
    }
    if (turn > 0) return Status::Frames;
    if (stopSent_ && std::chrono::steady_clock::now() - stopSentAt_ > kStopLimit) {
      helper_->Kill();
      ended_ = true;  // as good as an End: it was asked to stop
      for (File& f : files_in_use_) f.complete = true;
      continue;
    }
    std::vector<control::Message> messages;
    const HelperProcess::Read got = helper_->Receive(wait, messages);
    for (const control::Message& m : messages) {
      Handle(m);
      if (!problem_.empty()) break;
    }
    if (!problem_.empty()) {
      HelperGone();
      continue;
    }
    if (got == HelperProcess::Read::Closed || got == HelperProcess::Read::Broken) {
      HelperGone();
      continue;
    }
    if (got == HelperProcess::Read::Nothing) {
      // Nothing said within the wait: there is nothing new to read either.
      return Status::Idle;
    }
  }
}

void HelperCaptureSource::Stop() {
  if (stopSent_ || !helper_ || gone_ || ended_) return;
  stopSent_ = true;
  stopSentAt_ = std::chrono::steady_clock::now();
  if (!helper_->Send(control::Stop{})) HelperGone();
}

void HelperCaptureSource::BufferCleared() {
  if (rotating_ || !started_ || ended_ || gone_ || stopSent_) return;
  CaptureFiles::Made made = files_->Make();
  if (made.writeFd < 0) {
    // The frames go on into the file there is.
    if (report_->notice) report_->notice(made.error);
    return;
  }
  const bool sent = helper_->Send(control::Rotate{}, made.writeFd);
  ::close(made.writeFd);
  File next{made.path, made.readFd};
  if (!sent) {
    Release(next);
    return;
  }
  rotating_ = std::move(next);
}

void HelperCaptureSource::AttachFilters(FilterSlot& slot) {
  filters_ = &slot;
  slot.AttachElsewhere(opened_.linkType, opened_.snapshotLength);
}

void HelperCaptureSource::ServeFilters(FilterSlot& slot) {
  const std::optional<std::string> text = slot.TakeHandedText();
  if (!text) return;
  if (gone_ || ended_ || !helper_->Send(control::SetFilter{*text})) {
    slot.Served(false, kHelperStoppedText);
  }
}

void HelperCaptureSource::DetachFilters(FilterSlot& slot) {
  slot.Detach();
  filters_ = nullptr;
}

}  // namespace qv
