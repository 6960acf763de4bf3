#pragma once
// A send job: one frame put on an adapter `count` times (0: until stopped)
// with a pause of `gap` milliseconds after each, on a thread of its own.
// The job owns its copy of the frame, so editing the page's frame during a
// send never changes what goes out. Stop ends the job within one frame or
// one gap, even in the middle of a long gap.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/user_prompt.h"
#include "sender/frame_composer.h"

namespace qv {

inline constexpr std::int64_t kMaxSendCount = 1000000;
inline constexpr std::int64_t kMaxSendGapMs = 1000000;
inline constexpr const char* kBadSendNumbersMessage = "Packet count mustnot be negative or bigger than 1 000 000!";
inline constexpr const char* kOpenAdapterFailedMessage =
    "I couldn't open selected adapter. The following error has occured:\n%s";
inline constexpr const char* kSendFailuresMessage = "%d of %d frames could not be sent: %s";

// The packet count and time gap boxes, checked as "Send" checks them.
struct SendNumbers {
  std::uint32_t count = 1;  // 0: until stopped
  std::uint32_t gapMs = 0;
};
// The numbers, or kBadSendNumbersMessage in `error`. A count that is not a
// number is refused rather than read as 0, which would send without end.
std::optional<SendNumbers> ParseSendNumbers(std::string_view countText, std::string_view gapText,
                                            std::string* error);

// Where frames go: one opened adapter.
class FrameOutlet {
 public:
  virtual ~FrameOutlet() = default;
  virtual bool Send(std::span<const std::uint8_t> frame) = 0;
  virtual std::string LastError() const = 0;  // after a failed Send
};

struct SendRequest;
struct SendResult;

class SendBackend {
 public:
  virtual ~SendBackend() = default;
  // The opened adapter, or null with the library's text in `error`.
  virtual std::unique_ptr<FrameOutlet> Open(const std::string& adapter, std::string& error) = 0;

  // A backend whose job loop runs elsewhere (in the capture helper) runs the
  // whole job here: `progress` hears the number of the frame being sent,
  // `stopped` says when the user stopped. A result with opened false has the
  // reason in `error`. None: the job sends frame by frame through Open().
  struct JobHooks {
    std::function<void(std::uint64_t)> progress;
    std::function<bool()> stopped;
  };
  virtual std::optional<SendResult> RunJob(const SendRequest& /*request*/, const JobHooks& /*hooks*/,
                                           std::string& /*error*/);
};

struct SendRequest {
  std::string adapter;
  Frame frame;
  SendNumbers numbers;
};

struct SendResult {
  bool opened = false;
  std::uint64_t attempted = 0;  // frames handed to the adapter
  std::uint64_t failed = 0;     // of those, refused
  std::string firstError;       // the library's text for the first refusal
  double seconds = 0;           // from the first frame to the end of the last gap
  std::uint64_t Sent() const { return attempted - failed; }
  double Rate() const { return seconds > 0 ? static_cast<double>(Sent()) / seconds : 0; }
};

// "%d frames, %.0f frames/s", for the progress pane when a job ends.
std::string DescribeSendResult(const SendResult& result);

class SendJob {
 public:
  SendJob(SendBackend& backend, UserPrompt& prompt);
  ~SendJob();  // stops the job and waits for its thread
  SendJob(const SendJob&) = delete;
  SendJob& operator=(const SendJob&) = delete;

  // Starts a job (after Stop, a new one may start while the old thread ends).
  void Start(SendRequest request);
  // Sending off: the running job ends at once or after the frame in flight.
  void Stop();

  bool Sending() const;
  // The number of the frame being sent ("Sending...(%d)"), 0 before the first.
  std::uint64_t Current() const;
  // The result of the job that ended last, handed out once.
  std::optional<SendResult> TakeResult();
  // Waits until no job thread runs (true) or the time is up.
  bool WaitUntilIdle(std::chrono::milliseconds limit);
  // Threads whose job ended, not yet joined (their end messages may still
  // be waiting for the user).
  bool ThreadsRunning() const;

 private:
  struct State;
  void Run(std::shared_ptr<State> state, SendRequest request);
  void Reap(bool all);

  SendBackend& backend_;
  UserPrompt& prompt_;
  mutable std::mutex mutex_;
  std::shared_ptr<State> current_;
  std::optional<SendResult> result_;
  struct Worker {
    std::thread thread;
    std::shared_ptr<State> state;
  };
  std::vector<Worker> workers_;
};

}  // namespace qv
