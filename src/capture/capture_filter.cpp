#include "capture/capture_filter.h"

#include <arpa/inet.h>

#include <utility>

namespace qv {

std::uint32_t DefaultNetmask() { return htonl(0xFFFFFF00u); }

std::uint32_t AdapterNetmask(const std::string& adapter) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  bpf_u_int32 net = 0;
  bpf_u_int32 mask = 0;
  if (adapter.empty() || pcap_lookupnet(adapter.c_str(), &net, &mask, errbuf) != 0 || mask == 0) {
    return DefaultNetmask();
  }
  return mask;
}

CompiledFilter::~CompiledFilter() {
  if (valid_) pcap_freecode(&program_);
}

CompiledFilter::CompiledFilter(CompiledFilter&& other) noexcept
    : program_(std::exchange(other.program_, {})), valid_(std::exchange(other.valid_, false)) {}

CompiledFilter& CompiledFilter::operator=(CompiledFilter&& other) noexcept {
  if (this != &other) {
    if (valid_) pcap_freecode(&program_);
    program_ = std::exchange(other.program_, {});
    valid_ = std::exchange(other.valid_, false);
  }
  return *this;
}

bool CompiledFilter::Compile(pcap_t* handle, const std::string& text, bool optimise, std::uint32_t netmask) {
  *this = CompiledFilter();
  valid_ = pcap_compile(handle, &program_, text.c_str(), optimise ? 1 : 0, netmask) >= 0;
  return valid_;
}

FilterCompile CompileFilter(pcap_t* handle, const std::string& text, bool optimise, std::uint32_t netmask) {
  FilterCompile out;
  out.ok = out.filter.Compile(handle, text, optimise, netmask);
  if (!out.ok) out.error = pcap_geterr(handle);
  return out;
}

bool SetFilterOnHandle(pcap_t* handle, const std::string& text, std::uint32_t netmask, UserPrompt& prompt) {
  FilterCompile compiled = CompileFilter(handle, text, true, netmask);
  if (!compiled.ok) {
    prompt.ShowMessage(kFilterCompileFailed + compiled.error, "Quorvanet", MessageIcon::Error);
    return false;
  }
  if (pcap_setfilter(handle, compiled.filter.Program()) < 0) {
    prompt.ShowMessage(kFilterSetFailed + std::string(pcap_geterr(handle)), "Quorvanet", MessageIcon::Error);
    return false;
  }
  return true;
}

FilterSlot::~FilterSlot() {
  if (ownHandle_ != nullptr) pcap_close(ownHandle_);
}

void FilterSlot::Attach(pcap_t* handle) {
  std::lock_guard lock(mutex_);
  handle_ = handle;
}

void FilterSlot::AttachElsewhere(int linkType, int snapshotLength) {
  pcap_t* own = pcap_open_dead(linkType, snapshotLength);
  std::lock_guard lock(mutex_);
  if (ownHandle_ != nullptr) pcap_close(ownHandle_);
  ownHandle_ = own;
  handle_ = own;
}

std::optional<std::string> FilterSlot::TakeHandedText() {
  std::lock_guard lock(mutex_);
  if (!handedText_ || textTaken_ || ownHandle_ == nullptr) return std::nullopt;
  std::optional<std::string> text = std::move(handedText_);
  handedText_.reset();
  pending_.reset();
  textTaken_ = true;
  return text;
}

void FilterSlot::Served(bool ok, std::string error) {
  {
    std::lock_guard lock(mutex_);
    if (!textTaken_) return;
    textTaken_ = false;
    last_ = ok ? HandResult{HandOver::Set, {}} : HandResult{HandOver::SetFailed, std::move(error)};
    // A newer text still waiting is answered with its own turn.
    if (!handedText_) done_ = handed_;
  }
  served_.notify_all();
}

void FilterSlot::Detach() {
  {
    std::lock_guard lock(mutex_);
    handle_ = nullptr;
    if (ownHandle_ != nullptr) {
      pcap_close(ownHandle_);
      ownHandle_ = nullptr;
    }
    handedText_.reset();
    textTaken_ = false;
    if (pending_ || done_ != handed_) {
      pending_.reset();
      last_ = {HandOver::NoHandle, {}};
      done_ = handed_;
    }
  }
  served_.notify_all();
}

void FilterSlot::ServePending() {
  {
    std::lock_guard lock(mutex_);
    if (!pending_ || handle_ == nullptr || ownHandle_ != nullptr) return;
    if (pcap_setfilter(handle_, pending_->Program()) < 0) {
      last_ = {HandOver::SetFailed, pcap_geterr(handle_)};
    } else {
      last_ = {HandOver::Set, {}};
    }
    pending_.reset();
    done_ = handed_;
  }
  served_.notify_all();
}

bool FilterSlot::Attached() const {
  std::lock_guard lock(mutex_);
  return handle_ != nullptr;
}

std::optional<FilterCompile> FilterSlot::Compile(const std::string& text, bool optimise, std::uint32_t netmask) {
  std::lock_guard lock(mutex_);
  if (handle_ == nullptr) return std::nullopt;
  return CompileFilter(handle_, text, optimise, netmask);
}

FilterSlot::HandResult FilterSlot::Hand(CompiledFilter filter, std::chrono::milliseconds wait, std::string text) {
  std::unique_lock lock(mutex_);
  if (handle_ == nullptr) return {HandOver::NoHandle, {}};
  // A program still pending is replaced: only the newest counts.
  pending_ = std::make_unique<CompiledFilter>(std::move(filter));
  if (ownHandle_ != nullptr) handedText_ = std::move(text);
  const std::uint64_t ticket = ++handed_;
  if (!served_.wait_for(lock, wait, [&] { return done_ >= ticket; })) return {HandOver::Pending, {}};
  return last_;
}

}  // namespace qv
