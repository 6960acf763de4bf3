#pragma once
// The capture document: the adapters, the chosen adapter, the capture thread,
// the packet buffer with its limits, and the statistics it feeds. Live capture
// and file reading run on the same thread routine; the interface thread issues
// the commands below.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "capture/adapters.h"
#include "capture/capture_backend.h"
#include "capture/capture_log_sink.h"
#include "capture/capture_filter.h"
#include "capture/capture_observer.h"
#include "capture/drop_counts.h"
#include "capture/packet_buffer.h"
#include "capture/savefile_reader.h"
#include "capture/savefile_writer.h"
#include "capture/settings_store.h"
#include "capture/sources/source_address.h"
#include "capture/user_prompt.h"
#include "decode/packet_decoder.h"
#include "decode/quic_initial_memory.h"
#include "stats/session_statistics.h"

namespace qv {

class LiveSource;
class CaptureFiles;

struct BufferLimits {
  std::uint32_t maxCount = 5000;
  std::uint32_t maxBytes = 10000000;
  int whenFullAction = 1;  // 0 stop, 1 remove packets and go on, 2 remove packets and statistics and go on
};

class CTalvenorDoc {
 public:
  static constexpr int kSnapshotLength = 65536;
  static constexpr int kReadTimeoutMs = 100;
  static constexpr int kDefaultKernelBufferMB = 32;

  // Live runs go through the capture helper, which alone holds the right to
  // capture; the adapter list comes from it too.
  CTalvenorDoc(UserPrompt& prompt, SettingsStore& settings);
  // Live runs in this process through another capture backend (tests).
  CTalvenorDoc(UserPrompt& prompt, SettingsStore& settings, CaptureBackend& backend);
  ~CTalvenorDoc();
  CTalvenorDoc(const CTalvenorDoc&) = delete;
  CTalvenorDoc& operator=(const CTalvenorDoc&) = delete;

  void SetObserver(CaptureObserver* observer) { observer_ = observer; }
  void SetScriptHost(ScriptHost* scripts) { scripts_ = scripts; }
  // Which optional decoders run, for rows, statistics and the shown tree
  // alike; frames already listed keep the rows they were given.
  void SetEnabledDecoders(EnabledDecoders decoders) { disabledDecoders_ = decoders.DisabledMask(); }
  EnabledDecoders Decoders() const { return EnabledDecoders::FromDisabledMask(disabledDecoders_.load()); }
  // The QUIC connection ids seen in this session's Initials (shared by the
  // capture thread and the views; it locks itself).
  QuicInitialMemory* QuicInitials() const { return &quicInitials_; }
  // Where live frames are logged; set before the first capture.
  void SetLogSink(CaptureLogSink* log) { log_ = log != nullptr ? log : &noLog_; }

  // --- adapters ---
  bool EnumerateAdapters();
  const std::vector<Adapter>& Adapters() const { return adapters_; }
  // The list as it is, or as the backend lists it now when there is none,
  // without a message (for a dialog, where an empty list is no error).
  std::vector<Adapter> AdaptersQuietly();
  std::optional<Adapter> ChosenAdapter() const;
  // Makes an adapter of the list the chosen one without storing it as
  // "CurrentDevice" (the sender's choice); false when out of range.
  bool ChooseAdapter(std::size_t index);
  // Several adapters of the list for the next Start, which captures on all
  // of them in one run; false when one is out of range or none is given.
  bool ChooseAdapters(std::vector<std::size_t> indexes);
  std::vector<Adapter> ChosenAdapters() const;

  // --- sources beyond this machine's adapters ---
  // An adapter of another host joins the list until the session ends, as
  // "HOST: ADAPTER"; its name is its URL (ssh://...). Adding it again
  // replaces its options.
  void AddRemoteAdapter(const RemoteTarget& target, const RemoteOptions& options);
  // The options of a remote source named by its URL alone (the command
  // line's ssh://...), when it was not added with options of its own.
  void SetRemoteOptions(RemoteOptions options);
  // Starts a live run on these sources at once, without the adapter dialog:
  // adapter names, "-" (standard input), FIFO paths and ssh:// URLs.
  bool StartOn(std::vector<std::string> sources);

  // --- limits ---
  void SetLimits(std::uint32_t maxBytes, std::uint32_t maxCount);
  void SetWhenFullAction(int action) { whenFullAction_.store(action); }
  BufferLimits Limits() const { return {maxCount_.load(), maxBytes_.load(), whenFullAction_.load()}; }

  // The filter expression applied when a live capture starts (empty: none).
  void SetFilterText(std::string text);
  // The filter for savefiles that Open reads (the command line's -r with a
  // filter); the window reads files unfiltered. Empty: none.
  void SetReadFilter(std::string text) { readFilter_ = std::move(text); }
  // Where a filter applied while a handle is open goes to the capture thread.
  FilterSlot& Filters() { return filterSlot_; }

  // The kernel buffer asked for when a live capture opens its adapter, in MiB.
  void SetKernelBufferMB(int megabytes) { kernelBufferMB_.store(megabytes); }
  int KernelBufferMB() const { return kernelBufferMB_.load(); }
  // The kernel buffer of the last live capture as the kernel set it up, in
  // bytes; 0 when unknown.
  std::uint64_t KernelBufferInForce() const { return bufferInForce_.load(); }
  // The memory the packet buffer may hold (0: no limit). A run that reaches
  // it stops, keeping what it has.
  void SetMemoryBudget(std::uint64_t bytes) { buffer_.SetMemoryBudget(bytes); }
  // Where the packet buffer's memory comes from (tests); only while idle.
  void SetBlockAllocator(BlockAllocator& allocator) { buffer_.SetAllocator(allocator); }

  // Frames lost since the last Start or Clear All (for a file, what its
  // interface statistics say).
  DropCounts Drops() const;

  // What the last file read said of itself beyond its frames.
  struct FileInfo {
    std::string path;
    std::vector<std::string> sectionComments;
    std::vector<PacketBuffer::Interface> interfaces;
    std::vector<DecryptionSecrets> secrets;  // kept for decryption, not shown
  };
  FileInfo LastFileInfo() const;

  // Sets or removes (empty text) the comment of a buffered frame; false when
  // it is not held.
  bool SetPacketComment(std::uint32_t number, std::string comment);

  // --- commands ---
  bool Start();
  void Stop();
  bool Open(const std::string& path);  // the path chosen in the open dialog
  // Writes the buffer to `path`, in the format its name asks for (".pcapng",
  // ".pcap", compressed under ".gz"; otherwise pcap unless the frames need
  // pcapng); false (with a message shown) on failure.
  bool Save(const std::string& path);
  bool Save(const std::string& path, SaveOptions options);
  void ClearPackets();
  void ClearStatistics();
  void ClearAll();
  // Decodes the record with this number in tree mode for the views.
  bool ShowPacket(std::uint32_t number);
  // Decodes bytes that are not buffered (a composed frame) as `linkType`.
  void ShowRawPacket(std::span<const std::uint8_t> bytes, int linkType = kLinkTypeEthernet);
  // Decodes the shown packet again (the protocol scripts changed); false
  // when none is shown or it has left the buffer.
  bool ReshowPacket();

  // Removes the names of the capture helper's files now; their frames stay
  // readable through the descriptors held until the process ends. For an
  // exit that skips tearing the session down.
  void RemoveCaptureFiles();

  // Waits until the running capture thread has ended. Not on an interface
  // thread that serves posted clear commands: the capture thread may be
  // waiting for one of them.
  void WaitForCapture();

  // --- state ---
  bool IsCapturing() const { return capturing_.load(); }
  bool IsReadingFile() const { return readingFile_.load(); }
  // Not while a stopped run is still winding down: it might otherwise see
  // the new run's flags and carry on.
  bool CanStart() const { return !IsCapturing() && !IsReadingFile() && runsInFlight_.load() == 0; }
  bool CanStop() const { return IsCapturing() || IsReadingFile(); }
  bool CanOpen() const { return CanStart(); }

  const PacketBuffer& Buffer() const { return buffer_; }
  SessionStatistics& Statistics() { return statistics_; }
  std::uint32_t PacketCount() const { return buffer_.Count(); }
  std::uint64_t BufferedBytes() const { return buffer_.BufferedBytes(); }
  std::int32_t RowCount() const { return rowCount_.load(); }
  std::uint32_t NextPacketNumber() const { return buffer_.Count(); }
  std::int64_t ShownPacket() const { return shownPacket_; }
  std::array<std::uint8_t, 6> OwnAddress() const;
  // The link type of the handle last opened; each record keeps its own.
  int LinkType() const { return linkType_.load(); }
  void SetLinkType(int linkType) { linkType_.store(linkType); }
  bool LastRunFailed() const { return lastRunFailed_.load(); }

  // The row of a buffered frame, decoded again (with the record's own link
  // type) without touching statistics.
  PacketSummary SummaryOf(const PacketRecord& record) const;

 private:
  // How this session's frames are decoded: its decoders and QUIC memory.
  DecodeContext ContextFor(int linkType, DecodeSink* sink, ScriptHost* scripts) const {
    return {linkType, sink, scripts, Decoders(), &quicInitials_};
  }
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  // What a run reads, copied for its thread: the adapter list, the file to
  // read and the filter may change while an ending thread still uses them.
  struct RunSource {
    bool live;
    std::string name;    // the adapter's name, or the path of the file
    std::string filter;
  };
  // One capture thread's run. Stop sets its flag; a later run has a flag of
  // its own, so a stopped thread can never take a new run for its own.
  struct Run {
    std::atomic<bool> stop{false};
  };
  void LaunchCaptureThread(RunSource source);
  void CaptureThread(const RunSource& source, const std::shared_ptr<Run>& run);
  // A live run from the session's source (session_live.cpp).
  void CaptureLive(const RunSource& source, const Run& run);
  void RunLoop(LiveSource& live, const RunSource& source, const Run& run);
  // Reads a capture file to its end, a Stop, or damage (session_files.cpp).
  void ReadFile(const RunSource& source, const Run& run);
  void EndRun(const std::shared_ptr<Run>& run);
  // False when the frame could not be buffered (the reason is shown).
  // Buffers and announces the frame; `count` and `bufferedBytes` are then the
  // buffer's totals with it.
  bool AddPacketRow(const FrameHeader& header, const std::uint8_t* bytes, const PacketBuffer::Origin& origin,
                    std::uint32_t& count, std::uint64_t& bufferedBytes);
  void GiveUp(PacketBuffer::Refusal why);
  void ResetDrops();
  void ServeRequests();
  void ClearThroughInterface(ClearCommand command);
  void ClearPacketsNow();
  void ClearStatisticsNow();
  void ReapFinishedWorkers();
  void Message(const std::string& text, MessageIcon icon = MessageIcon::Warning);
  // Decodes the frame in tree mode and hands it to the observer to show.
  void ShowDecoded(std::int64_t number, std::span<const std::uint8_t> bytes, int linkType,
                   std::string_view comment = {});

  UserPrompt& prompt_;
  SettingsStore& settings_;
  std::unique_ptr<CaptureBackend> ownBackend_;
  CaptureBackend& backend_;
  // The files the capture helper writes, removed once the buffer no longer
  // holds their frames, and at the end.
  std::shared_ptr<CaptureFiles> captureFiles_;
  std::function<std::unique_ptr<LiveSource>()> makeSource_;
  CaptureObserver* observer_ = nullptr;
  ScriptHost* scripts_ = nullptr;
  std::atomic<std::uint64_t> disabledDecoders_{0};  // read by the capture thread at every frame
  mutable QuicInitialMemory quicInitials_;
  CaptureObserver noObserver_;
  CaptureLogSink noLog_;
  CaptureLogSink* log_ = &noLog_;

  std::vector<Adapter> adapters_;
  bool haveAdapterList_ = false;
  std::optional<std::size_t> chosen_;

  std::atomic<bool> capturing_{false};
  std::atomic<bool> readingFile_{false};
  // Capture threads launched and not yet past their loop. While one runs, the
  // interface clears the buffer only through the requests: the capturing and
  // reading flags go off at Stop while the thread may still be appending.
  std::atomic<int> activeRuns_{0};
  std::string filterText_;
  std::string readFilter_;
  FilterSlot filterSlot_;
  std::atomic<int> linkType_{kLinkTypeEthernet};
  mutable std::mutex ownAddressMutex_;
  std::array<std::uint8_t, 6> ownAddress_{};

  PacketBuffer buffer_;
  SessionStatistics statistics_;
  std::atomic<std::int32_t> rowCount_{0};
  std::atomic<std::uint64_t> clearGeneration_{0};  // buffer clears so far, for the live source
  std::int64_t shownPacket_ = -1;
  // Changed by the options while the capture thread reads them.
  std::atomic<std::uint32_t> maxCount_{BufferLimits{}.maxCount};
  std::atomic<std::uint32_t> maxBytes_{BufferLimits{}.maxBytes};
  std::atomic<int> whenFullAction_{BufferLimits{}.whenFullAction};

  std::atomic<bool> clearPacketsRequest_{false};
  std::atomic<bool> clearStatisticsRequest_{false};
  std::atomic<bool> handshake_{false};
  std::mutex handshakeMutex_;
  std::condition_variable handshakeDone_;
  std::atomic<bool> shuttingDown_{false};
  std::atomic<bool> lastRunFailed_{false};

  std::atomic<int> kernelBufferMB_{kDefaultKernelBufferMB};
  int refusedBufferMB_ = 0;  // the size the kernel last refused, told once
  std::atomic<std::uint64_t> bufferInForce_{0};
  mutable std::mutex dropsMutex_;
  DropCounts drops_;
  FileInfo fileInfo_;  // under dropsMutex_

  std::mutex runMutex_;
  std::shared_ptr<Run> currentRun_;
  // Capture threads launched and not yet ended (past the session lock).
  std::atomic<int> runsInFlight_{0};

  std::mutex sessionLock_;  // held by the capture thread for its whole run
  std::vector<Worker> workers_;
};

}  // namespace qv
