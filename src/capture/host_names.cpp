#include "capture/host_names.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace qv {

// --- the system's resolver -------------------------------------------------------

std::optional<std::string> SystemResolver::LocalName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::nullopt;
  std::string name = host;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) == 0) {
    if (found != nullptr && found->ai_canonname != nullptr && found->ai_canonname[0] != '\0') {
      name = found->ai_canonname;
    }
    freeaddrinfo(found);
  }
  return name;
}

std::optional<std::string> SystemResolver::ReverseLookup(const Ipv4Address& address) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  std::memcpy(&in.sin_addr, address.data(), 4);
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0, NI_NAMEREQD) !=
      0) {
    return std::nullopt;
  }
  return std::string(host);
}

// --- the service -------------------------------------------------------------------

HostNameService::HostNameService(HostNameTarget& target, HostResolver& resolver, int lookupThreads)
    : target_(target), resolver_(resolver), lookupThreads_(lookupThreads < 1 ? 1 : lookupThreads) {}

HostNameService::~HostNameService() { Stop(); }

void HostNameService::Start() {
  std::lock_guard lock(queueMutex_);
  if (!threads_.empty()) return;
  stopping_ = false;
  for (int i = 0; i < lookupThreads_; ++i) threads_.emplace_back([this] { LookupThread(); });
}

void HostNameService::Stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
    queue_.clear();
    threads.swap(threads_);
  }
  queued_.notify_all();
  for (std::thread& t : threads) t.join();
  idle_.notify_all();
}

std::size_t HostNameService::Bucket(const Ipv4Address& address) {
  return static_cast<std::size_t>(address[2] % 16) * static_cast<std::size_t>(address[3] % 16);
}

std::optional<std::string> HostNameService::CachedName(const Ipv4Address& address) const {
  std::lock_guard lock(cacheMutex_);
  for (const auto& [cached, name] : cache_[Bucket(address)]) {
    if (cached == address) return name;
  }
  return std::nullopt;
}

std::size_t HostNameService::CachedNames() const {
  std::lock_guard lock(cacheMutex_);
  std::size_t n = 0;
  for (const auto& bucket : cache_) n += bucket.size();
  return n;
}

void HostNameService::ClearCache() {
  std::lock_guard lock(cacheMutex_);
  for (auto& bucket : cache_) {
    bucket.clear();
    bucket.shrink_to_fit();
  }
}

std::size_t HostNameService::QueueLength() const {
  std::lock_guard lock(queueMutex_);
  return queue_.size();
}

void HostNameService::RequestName(const Ipv4Address& address, std::size_t row, int column) {
  if (std::optional<std::string> name = CachedName(address)) {
    target_.ApplyName(address, row, column, name);
    return;
  }
  {
    std::lock_guard lock(queueMutex_);
    if (threads_.empty()) return;  // not started, or stopped
    queue_.push_back({address, row, column});
  }
  queued_.notify_one();
}

bool HostNameService::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queueMutex_);
  return idle_.wait_for(lock, timeout, [this] { return (queue_.empty() && busy_ == 0) || threads_.empty(); });
}

std::optional<std::string> HostNameService::Resolve(const Ipv4Address& address) {
  {
    std::lock_guard lock(localMutex_);
    if (!localKnown_) {
      localName_ = resolver_.LocalName();
      localKnown_ = true;
    }
  }
  std::optional<std::string> name = resolver_.ReverseLookup(address);
  if (name && localName_ && strcasecmp(name->c_str(), localName_->c_str()) == 0) name = "localhost";
  return name;
}

void HostNameService::LookupThread() {
  // Lookups wait on the network; the capture and the window come first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
  std::unique_lock lock(queueMutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Request request = queue_.front();
    queue_.pop_front();
    ++busy_;
    lock.unlock();

    // An earlier request for the same address may have filled the cache.
    std::optional<std::string> name = CachedName(request.address);
    if (!name) {
      name = Resolve(request.address);
      if (name) {
        std::lock_guard cacheLock(cacheMutex_);
        auto& bucket = cache_[Bucket(request.address)];
        bool known = false;
        for (const auto& entry : bucket) known = known || entry.first == request.address;
        if (!known) bucket.emplace_back(request.address, *name);
      }
    }
    target_.ApplyName(request.address, request.row, request.column, name);

    lock.lock();
    --busy_;
    if (queue_.empty() && busy_ == 0) idle_.notify_all();
  }
}

}  // namespace qv
