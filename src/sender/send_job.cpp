#include "sender/send_job.h"

#include <atomic>

#include "decode/text_format.h"

namespace qv {

namespace {

constexpr const char* kCaption = "Quorvanet";

bool HasDigit(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i != std::string_view::npos && (text[i] == '-' || text[i] == '+')) ++i;
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

}  // namespace

std::optional<SendNumbers> ParseSendNumbers(std::string_view countText, std::string_view gapText,
                                            std::string* error) {
  const std::int64_t count = LeadingInteger(countText);
  const std::int64_t gap = LeadingInteger(gapText);
  if (!HasDigit(countText) || count < 0 || count > kMaxSendCount || gap < 0 || gap > kMaxSendGapMs) {
    if (error != nullptr) *error = kBadSendNumbersMessage;
    return std::nullopt;
  }
  return SendNumbers{static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(gap)};
}

std::optional<SendResult> SendBackend::RunJob(const SendRequest& /*request*/, const JobHooks& /*hooks*/,
                                              std::string& /*error*/) {
  return std::nullopt;
}

std::string DescribeSendResult(const SendResult& result) {
  return Format("%llu frames, %.0f frames/s", static_cast<unsigned long long>(result.Sent()), result.Rate());
}

struct SendJob::State {
  std::atomic<bool> sending{true};
  std::atomic<bool> finished{false};
  std::atomic<std::uint64_t> current{0};
  std::mutex gapMutex;
  std::condition_variable wake;
};

SendJob::SendJob(SendBackend& backend, UserPrompt& prompt) : backend_(backend), prompt_(prompt) {}

SendJob::~SendJob() {
  Stop();
  Reap(true);
}

void SendJob::Start(SendRequest request) {
  Reap(false);
  auto state = std::make_shared<State>();
  std::lock_guard lock(mutex_);
  current_ = state;
  workers_.push_back({std::thread([this, state, request = std::move(request)]() mutable {
                        Run(state, std::move(request));
                      }),
                      state});
}

void SendJob::Stop() {
  std::shared_ptr<State> state;
  {
    std::lock_guard lock(mutex_);
    state = current_;
  }
  if (!state) return;
  {
    std::lock_guard lock(state->gapMutex);
    state->sending = false;
  }
  state->wake.notify_all();
}

bool SendJob::Sending() const {
  std::lock_guard lock(mutex_);
  return current_ && current_->sending.load();
}

std::uint64_t SendJob::Current() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->current.load() : 0;
}

std::optional<SendResult> SendJob::TakeResult() {
  std::lock_guard lock(mutex_);
  std::optional<SendResult> out;
  out.swap(result_);
  return out;
}

bool SendJob::ThreadsRunning() const {
  std::lock_guard lock(mutex_);
  for (const Worker& w : workers_) {
    if (!w.state->finished) return true;
  }
  return false;
}

bool SendJob::WaitUntilIdle(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (ThreadsRunning()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Reap(true);
  return true;
}

void SendJob::Reap(bool all) {
  std::vector<Worker> ending;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all || it->state->finished) {
        ending.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Worker& w : ending) w.thread.join();
}

void SendJob::Run(std::shared_ptr<State> state, SendRequest request) {
  SendResult result;
  std::string error;
  SendBackend::JobHooks hooks;
  hooks.progress = [&state](std::uint64_t current) { state->current = current; };
  hooks.stopped = [&state] { return !state->sending.load(); };
  std::unique_ptr<FrameOutlet> outlet;
  if (std::optional<SendResult> elsewhere = backend_.RunJob(request, hooks, error)) {
    result = *elsewhere;
    if (!result.opened) {
      prompt_.ShowMessage(Format(kOpenAdapterFailedMessage, error.c_str()), kCaption, MessageIcon::Error);
    }
  } else if (outlet = backend_.Open(request.adapter, error); !outlet) {
    prompt_.ShowMessage(Format(kOpenAdapterFailedMessage, error.c_str()), kCaption, MessageIcon::Error);
  } else {
    result.opened = true;
    const std::uint32_t count = request.numbers.count;
    const auto gap = std::chrono::milliseconds(request.numbers.gapMs);
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t i = 1; (count == 0 || i <= count) && state->sending; ++i) {
      state->current = i;
      ++result.attempted;
      if (!outlet->Send(request.frame)) {
        if (result.failed++ == 0) result.firstError = outlet->LastError();
      }
      if (gap.count() > 0) {
        // The gap follows every frame, the last one too; Stop cuts it short.
        std::unique_lock lock(state->gapMutex);
        state->wake.wait_for(lock, gap, [&] { return !state->sending; });
      }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outlet.reset();  // pcap_close
  }
  {
    std::lock_guard lock(mutex_);
    result_ = result;
  }
  state->sending = false;
  if (result.failed > 0) {
    prompt_.ShowMessage(Format(kSendFailuresMessage, static_cast<int>(result.failed),
                               static_cast<int>(result.attempted), result.firstError.c_str()),
                        kCaption, MessageIcon::Warning);
  }
  state->finished = true;
}

}  // namespace qv
