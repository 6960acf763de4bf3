// The session's capture files. Reading one: frames from the file's own
// reader go to the buffer, the rows and the statistics as live frames do,
// names of the file's name resolution go to the host names, and its
// interface statistics become the drop counts. Saving the buffer, and the
// comments that saving keeps.

#include <chrono>

#include "capture/capture_session.h"
#include "capture/record_filter.h"
#include "capture/savefile_input.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The reading thread tells its progress about this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::string OpenFailure(const std::string& path, const std::string& why) {
  return Format("Unable to open the file %s.\nThe following error occured: %s", path.c_str(), why.c_str());
}

std::string DamageText(const std::string& path, const SavefileReader::DamageReport& damage, unsigned kept) {
  return Format("The file %s is damaged at byte %llu: %s; the %u packets before it were kept.", path.c_str(),
                static_cast<unsigned long long>(damage.offset), damage.what.c_str(), kept);
}

void LearnNames(SavefileReader& reader, LearnedNames& names) {
  for (const SavefileName& n : reader.TakeNames()) {
    LearnedName learned;
    learned.ipv6 = n.ipv6;
    learned.address = n.address;
    learned.name = n.name;
    learned.origin = NameOrigin::CaptureFile;
    names.Learn(learned);
  }
}

}  // namespace

void CTalvenorDoc::ReadFile(const RunSource& source, const Run& run) {
  {
    std::lock_guard lock(dropsMutex_);
    fileInfo_ = FileInfo{source.name, {}, {}, {}};
  }
  std::string error;
  const int fd = backend_.OpenFile(source.name, error);
  if (fd < 0) {
    Message(OpenFailure(source.name, error), MessageIcon::Error);
    lastRunFailed_ = true;
    return;
  }
  auto nextProgress = std::chrono::steady_clock::now();
  SavefileInput::Hooks hooks;
  hooks.progress = [this](const ReadProgress& progress) { observer_->FileProgress(progress); };
  hooks.stopped = [&run] { return run.stop.load(); };
  const std::unique_ptr<SavefileInput> input = SavefileInput::Open(fd, source.name, hooks, error);
  if (!input) {
    Message(OpenFailure(source.name, error), MessageIcon::Error);
    lastRunFailed_ = true;
    return;
  }
  SavefileReader& reader = input->Reader();
  observer_->FileProgress({ReadProgress::Stage::Reading, 0, input->Size()});

  RecordFilter filter(source.filter);
  std::vector<std::uint32_t> interfaces;  // the buffer's number of each of the file's interfaces
  unsigned kept = 0;
  std::uint32_t sinceClockLook = 0;
  SavefileFrame frame;
  for (;;) {
    if (run.stop) break;
    const SavefileReader::Result result = reader.Next(frame);
    if (result == SavefileReader::Result::End) break;
    if (result == SavefileReader::Result::Damaged) {
      // Decompression that ended early leaves a file cut short: what ended
      // it is told below, not the cut.
      if (input->CompressedDamage() || !input->DecompressionFailure().empty() || input->StoppedEarly()) break;
      // A file that is no capture file at all cannot be opened; damage
      // further in keeps what was read before it.
      Message(!reader.HeaderRead() ? OpenFailure(source.name, reader.Damage().what)
                                   : DamageText(source.name, reader.Damage(), kept),
              MessageIcon::Error);
      lastRunFailed_ = true;
      break;
    }
    // Also while a filter passes nothing.
    if (++sinceClockLook >= 1024) {
      sinceClockLook = 0;
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextProgress) {
        nextProgress = now + kProgressInterval;
        observer_->FileProgress({ReadProgress::Stage::Reading, reader.Consumed(), input->Size()});
      }
    }
    while (interfaces.size() < reader.Interfaces().size()) {
      const SavefileInterface& i = reader.Interfaces()[interfaces.size()];
      interfaces.push_back(buffer_.AddInterface({i.linkType, i.name, i.description}));
    }
    if (reader.HasNames()) LearnNames(reader, statistics_.names);
    if (!filter.Empty()) {
      if (!filter.Prepare(frame.linkType, error)) {
        // As for a handle that would not take the filter: a file read
        // unfiltered would pass for the filtered one.
        Message(kFilterCompileFailed + error, MessageIcon::Error);
        lastRunFailed_ = true;
        break;
      }
      if (!filter.Passes(frame.linkType, frame.header.wireLength, frame.bytes, frame.header.capturedLength)) continue;
    }
    if (kept == 0) linkType_ = frame.linkType;
    PacketBuffer::Origin origin;
    origin.linkType = frame.linkType;
    origin.place = input->PlaceOf(frame);
    origin.interface = interfaces[frame.interface];
    origin.comment = frame.comment;
    std::uint32_t count = 0;
    std::uint64_t bytes = 0;
    if (!AddPacketRow(frame.header, frame.bytes, origin, count, bytes)) break;
    ++kept;
    if (clearPacketsRequest_ || clearStatisticsRequest_) ServeRequests();
  }
  // Where decompression ended early, the frames before are all read: the
  // reason is told now, with what was kept.
  if (!lastRunFailed_ && !run.stop) {
    if (input->CompressedDamage()) {
      Message(DamageText(source.name, *input->CompressedDamage(), kept), MessageIcon::Error);
      lastRunFailed_ = true;
    } else if (!input->DecompressionFailure().empty()) {
      Message(Format("%s\nThe %u packets before it were kept.", input->DecompressionFailure().c_str(), kept),
              MessageIcon::Error);
      lastRunFailed_ = true;
    }
  }
  observer_->FileProgress({ReadProgress::Stage::Reading, reader.Consumed(), input->Size()});
  LearnNames(reader, statistics_.names);

  std::lock_guard lock(dropsMutex_);
  for (const SavefileInterface& i : reader.Interfaces()) {
    if (i.ifDrop) drops_.interface += *i.ifDrop;
    if (i.osDrop) drops_.kernel += *i.osDrop;
    if (i.ifDrop || i.osDrop) drops_.known = true;
    fileInfo_.interfaces.push_back({i.linkType, i.name, i.description});
  }
  fileInfo_.sectionComments = reader.SectionComments();
  fileInfo_.secrets = reader.Secrets();
}

bool CTalvenorDoc::Open(const std::string& path) {
  if (!CanOpen()) return false;
  SetLimits(maxBytes_.load(), maxCount_.load());
  readingFile_ = true;
  observer_->CaptureStarted(true);
  LaunchCaptureThread({false, path, readFilter_});
  return true;
}

bool CTalvenorDoc::Save(const std::string& path) {
  SaveOptions options;
  options.format = SaveFormatForName(path);
  options.gzip = NameAsksForGzip(path);
  return Save(path, std::move(options));
}

bool CTalvenorDoc::Save(const std::string& path, SaveOptions options) {
  if (!options.drops) {
    const DropCounts drops = Drops();
    if (drops.known) options.drops = drops;
  }
  const std::string why = WriteSavefile(path, buffer_, options);
  if (why.empty()) return true;
  Message(Format("Unable to save the file %s.\nThe following error occured: %s", path.c_str(), why.c_str()),
          MessageIcon::Error);
  return false;
}

CTalvenorDoc::FileInfo CTalvenorDoc::LastFileInfo() const {
  std::lock_guard lock(dropsMutex_);
  return fileInfo_;
}

bool CTalvenorDoc::SetPacketComment(std::uint32_t number, std::string comment) {
  return buffer_.SetComment(number, std::move(comment));
}

}  // namespace qv
