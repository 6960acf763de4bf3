#pragma once
// Where a live run's frames come from: an adapter opened in this process
// through the capture library, or the capture helper writing a file this
// process reads. The session's capture thread opens a source, then takes its
// frames batch by batch, asks now and then for the drop counters, hands it
// filter changes and tells it when the buffer was emptied; Stop ends it.
//
// A source is used by the capture thread alone, except where said.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_file.h"
#include "capture/packet_record.h"
#include "capture/user_prompt.h"

namespace qv {

class FilterSlot;

// How a live run wants its adapter opened.
struct LiveRequest {
  std::string adapter;
  int snapshotLength = 65536;
  bool promiscuous = true;
  int timeoutMs = 100;
  std::uint64_t bufferBytes = 0;  // 0: the library's default
  std::string filter;             // set before the first frame; empty: none
};

// What an opened source says of itself.
struct LiveOpened {
  int linkType = 1;  // -1: not known before the first frame (a stream), whose frames carry their own
  int snapshotLength = 65536;
  std::uint64_t bufferInForce = 0;  // the kernel buffer behind the capture, in bytes; 0 unknown
  bool bufferRefused = false;       // the asked buffer was refused: the library's default is used
  std::vector<std::string> warnings;  // the capture library's warnings at the open
};

// One frame as a source hands it over: its bytes are valid during the call
// that hands it; `place` says where it stays when it is left in a file.
struct LiveFrame {
  FrameHeader header;
  const std::uint8_t* bytes = nullptr;
  const FramePlace* place = nullptr;
  int linkType = -1;          // -1: the one the source opened with
  std::string_view comment;   // the frame's own comment (a pcapng stream's), valid as `bytes`
};

// Counters of lost frames, cumulative since the open.
struct LiveDrops {
  std::uint64_t kernel = 0;
  std::uint64_t interface = 0;
};

// How a source speaks to the user: messages that need the user to see them
// (an open that failed, a failing read), and notices that need no answer.
struct LiveReport {
  UserPrompt& prompt;
  std::function<void(const std::string&)> notice;
  void Message(const std::string& text, MessageIcon icon) const { prompt.ShowMessage(text, "Quorvanet", icon); }
};

class LiveSource {
 public:
  virtual ~LiveSource() = default;

  // Opens the adapter. None when the run cannot start; the reason has been
  // shown through `report` (which outlives the source).
  virtual std::optional<LiveOpened> Open(const LiveRequest& request, const LiveReport& report) = 0;

  enum class Status {
    Frames,  // frames were handed over (or `take` asked to pause)
    Idle,    // nothing arrived within the wait
    Ended,   // the run is over (after Stop, or the source ran dry); nothing more comes
    Failed,  // the run broke off; the reason was shown, every frame before it handed over
  };
  // Hands the frames at hand to `take`, one at a time, until none is left or
  // `take` returns false; waits up to `wait` when none is there.
  virtual Status Read(std::chrono::milliseconds wait, const std::function<bool(const LiveFrame&)>& take) = 0;

  // The counters as last known; none when the source has none.
  virtual std::optional<LiveDrops> Drops() = 0;

  // The run is to end: Read hands over what is still due and then says Ended.
  virtual void Stop() = 0;

  // A descriptor that poll(2) finds readable when Read may have something
  // to hand over, for a run that waits on several sources at once; -1 when
  // the source has none (it is then asked now and then).
  virtual int WaitFd() const { return -1; }

  // The buffer was emptied: frames from now on may go to a place of their
  // own, so that what the buffer no longer holds can be let go.
  virtual void BufferCleared() {}

  // Filters applied while the run goes on reach the source through `slot`:
  // attached at the open, served between reads, detached at the end.
  virtual void AttachFilters(FilterSlot& slot) = 0;
  virtual void ServeFilters(FilterSlot& slot) = 0;
  virtual void DetachFilters(FilterSlot& slot) = 0;
};

}  // namespace qv
