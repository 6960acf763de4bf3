#include "sender/helper_send_backend.h"

#include <algorithm>

#include "capture/sources/helper_process.h"

namespace qv {

namespace {

// How often the job looks whether the user stopped it, while the helper sends.
constexpr std::chrono::milliseconds kStopLook{20};
// A helper asked to stop ends the frame in flight; one that says nothing more
// after this long is killed.
constexpr auto kStopLimit = std::chrono::seconds(3);

}  // namespace

std::unique_ptr<FrameOutlet> HelperSendBackend::Open(const std::string& /*adapter*/, std::string& error) {
  error = "frames are sent by the capture helper";
  return nullptr;
}

std::optional<SendResult> HelperSendBackend::RunJob(const SendRequest& request, const JobHooks& hooks,
                                                    std::string& error) {
  SendResult result;
  std::unique_ptr<HelperProcess> helper = HelperProcess::Start({"send", "--adapter", request.adapter}, -1, error);
  if (!helper) return result;
  control::SendFrames frames;
  frames.count = request.numbers.count;
  frames.gapMicroseconds = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::uint64_t{request.numbers.gapMs} * 1000u, control::kMaxGapMicroseconds));
  frames.frame = request.frame;
  if (frames.frame.empty() || frames.frame.size() > control::kMaxFrameBytes) {
    error = "a frame to send holds 1 to 65535 bytes";
    return result;
  }
  result.opened = true;  // until the helper says it could not open the adapter
  if (!helper->Send(frames)) {
    result.opened = false;
    error = "The capture helper stopped unexpectedly";
    return result;
  }
  bool stopSent = false;
  std::chrono::steady_clock::time_point stopAt;
  for (;;) {
    if (!stopSent && hooks.stopped && hooks.stopped()) {
      stopSent = true;
      stopAt = std::chrono::steady_clock::now();
      helper->Send(control::Stop{});
    }
    if (stopSent && std::chrono::steady_clock::now() - stopAt > kStopLimit) {
      helper->Kill();
      return result;
    }
    std::vector<control::Message> messages;
    const HelperProcess::Read got = helper->Receive(kStopLook, messages);
    for (const control::Message& m : messages) {
      switch (m.type) {
        case control::MessageType::SendProgress:
          if (const auto p = control::SendProgress::Decode(m.payload); p && hooks.progress) {
            hooks.progress(p->sent + p->failed);
          }
          break;
        case control::MessageType::SendDone:
          if (const auto done = control::SendDone::Decode(m.payload)) {
            result.attempted = done->sent + done->failed;
            result.failed = done->failed;
            result.firstError = done->firstError;
            result.seconds = static_cast<double>(done->nanoseconds) / 1e9;
            if (hooks.progress) hooks.progress(result.attempted);
            // A frame the adapter could never take is refused before the
            // first goes: told as that frame's failure.
            if (result.attempted == 0 && !done->firstError.empty()) result.attempted = result.failed = 1;
            return result;
          }
          error = "the capture helper's SendDone message was damaged";
          result.opened = false;
          return result;
        case control::MessageType::Error:
          if (const auto e = control::Error::Decode(m.payload)) {
            error = e->text;
          } else {
            error = "the capture helper's Error message was damaged";
          }
          result.opened = result.attempted > 0;
          if (!result.opened) return result;
          break;
        default:
          break;
      }
    }
    if (got == HelperProcess::Read::Closed || got == HelperProcess::Read::Broken) {
      if (error.empty()) {
        error = "The capture helper stopped unexpectedly";
        if (!helper->Problem().empty()) error += ": " + helper->Problem();
      }
      if (result.attempted == 0) result.opened = false;
      return result;
    }
  }
}

}  // namespace qv
