#include "capture/host_names.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace qv {

// --- the system's resolver -------------------------------------------------------

std::optional<std::string> SystemResolver::LocalName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::nullopt;
  std::string name = host;
  addrinfo hints{};
  // Either family: a machine with IPv6 addresses only has a canonical name too.
  hints.ai_family = AF_UNSPEC;
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

std::optional<std::string> SystemResolver::ReverseLookup(const IpAddress& address) {
  sockaddr_storage storage{};
  socklen_t length;
  if (address.IsV6()) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    length = sizeof *in6;
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, address.bytes.data(), 4);
    length = sizeof *in;
  }
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, host, sizeof host, nullptr, 0, NI_NAMEREQD) !=
      0) {
    return std::nullopt;
  }
  return std::string(host);
}

// --- the service -------------------------------------------------------------------

// What the lookup threads use. A thread left behind by Stop() keeps it alive
// until its lookup returns; it then sees the newer generation and ends.
//
// A lookup runs once per address however many rows wait for it: requests for
// an address already queued or under way join its list of waiters. Failures
// are remembered like names, so a storm of conversations with unknown hosts
// asks the resolver once per address, not once per row.
struct HostNameService::Shared {
  explicit Shared(HostNameTarget& t, std::shared_ptr<HostResolver> r) : target(t), resolver(std::move(r)) {}

  struct Waiter {
    std::size_t row;
    int column;
    friend bool operator==(const Waiter&, const Waiter&) = default;
  };
  using Lookup = std::optional<std::string>;  // none: the resolver found no name

  std::optional<Lookup> Cached(const IpAddress& address) const {
    std::lock_guard lock(cacheMutex);
    for (const auto& [cached, name] : cache[Bucket(address)]) {
      if (cached == address) return name;
    }
    return std::nullopt;
  }
  void Remember(const IpAddress& address, const Lookup& name) {
    std::lock_guard lock(cacheMutex);
    auto& bucket = cache[Bucket(address)];
    for (const auto& entry : bucket) {
      if (entry.first == address) return;
    }
    bucket.emplace_back(address, name);
  }
  Lookup Resolve(const IpAddress& address) {
    // Not every hosts file names ::1 (some call it ip6-localhost, some leave
    // it out, and then the lookup fails), so loopback is known without one.
    if (address.IsLoopback()) return "localhost";
    {
      std::lock_guard lock(localMutex);
      if (!localKnown) {
        localName = resolver->LocalName();
        localKnown = true;
      }
    }
    Lookup name = resolver->ReverseLookup(address);
    if (name && localName && strcasecmp(name->c_str(), localName->c_str()) == 0) name = "localhost";
    return name;
  }
  // Only a thread of the running generation writes names.
  void Apply(const IpAddress& address, const Waiter& w, const Lookup& name, std::uint64_t from) {
    std::lock_guard lock(targetMutex);
    if (generation.load() == from) target.ApplyName(address, w.row, w.column, name);
  }

  std::mutex targetMutex;  // held while a name is written
  HostNameTarget& target;
  const std::shared_ptr<HostResolver> resolver;

  mutable std::mutex cacheMutex;
  std::array<std::vector<std::pair<IpAddress, Lookup>>, kBuckets> cache;

  mutable std::mutex queueMutex;
  std::condition_variable queued;
  std::condition_variable idle;
  std::deque<IpAddress> queue;  // addresses to look up, first come first
  std::unordered_map<IpAddress, std::vector<Waiter>, IpAddressHash> waiting;  // queued or under way -> its rows
  int busy = 0;                                                             // lookups under way
  bool running = false;
  std::atomic<std::uint64_t> generation{0};  // a thread of an older generation ends

  std::mutex localMutex;
  bool localKnown = false;
  std::optional<std::string> localName;
};

HostNameService::HostNameService(HostNameTarget& target, std::shared_ptr<HostResolver> resolver, int lookupThreads)
    : lookupThreads_(lookupThreads < 1 ? 1 : lookupThreads),
      shared_(std::make_shared<Shared>(target, std::move(resolver))) {}

HostNameService::~HostNameService() { Stop(); }

void HostNameService::Start() {
  std::lock_guard lock(shared_->queueMutex);
  if (shared_->running) return;
  shared_->running = true;
  const std::uint64_t generation = ++shared_->generation;
  for (int i = 0; i < lookupThreads_; ++i) threads_.emplace_back(&HostNameService::LookupThread, shared_, generation);
}

void HostNameService::Stop() {
  bool idle;
  {
    std::unique_lock lock(shared_->queueMutex);
    if (!shared_->running) return;
    shared_->queue.clear();
    shared_->waiting.clear();
    idle = shared_->idle.wait_for(lock, kStopWait, [this] { return shared_->busy == 0; });
    shared_->running = false;
    ++shared_->generation;
  }
  shared_->queued.notify_all();
  // A name being written now is the last one.
  { std::lock_guard lock(shared_->targetMutex); }
  for (std::thread& t : threads_) {
    if (idle) {
      t.join();
    } else {
      t.detach();
    }
  }
  threads_.clear();
  shared_->idle.notify_all();
}

std::size_t HostNameService::Bucket(const IpAddress& address) {
  const std::size_t last = address.Size() - 1;
  return static_cast<std::size_t>(address.bytes[last - 1] % 16) * static_cast<std::size_t>(address.bytes[last] % 16);
}

std::optional<std::string> HostNameService::CachedName(const IpAddress& address) const {
  const std::optional<Shared::Lookup> cached = shared_->Cached(address);
  if (!cached) return std::nullopt;
  return cached->value_or("----");
}

std::size_t HostNameService::CachedNames() const {
  std::lock_guard lock(shared_->cacheMutex);
  std::size_t n = 0;
  for (const auto& bucket : shared_->cache) n += bucket.size();
  return n;
}

void HostNameService::ClearCache() {
  std::lock_guard lock(shared_->cacheMutex);
  for (auto& bucket : shared_->cache) {
    bucket.clear();
    bucket.shrink_to_fit();
  }
}

std::size_t HostNameService::QueueLength() const {
  std::lock_guard lock(shared_->queueMutex);
  return shared_->queue.size();
}

void HostNameService::RequestName(const IpAddress& address, std::size_t row, int column) {
  std::uint64_t generation;
  {
    std::lock_guard lock(shared_->queueMutex);
    if (!shared_->running) return;
    generation = shared_->generation;
  }
  const Shared::Waiter waiter{row, column};
  if (const std::optional<Shared::Lookup> name = shared_->Cached(address)) {
    shared_->Apply(address, waiter, *name, generation);
    return;
  }
  {
    std::lock_guard lock(shared_->queueMutex);
    if (!shared_->running) return;
    auto [entry, added] = shared_->waiting.try_emplace(address);
    if (std::find(entry->second.begin(), entry->second.end(), waiter) == entry->second.end()) {
      entry->second.push_back(waiter);
    }
    if (!added) return;  // its lookup is queued or under way already
    shared_->queue.push_back(address);
  }
  shared_->queued.notify_one();
}

bool HostNameService::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(shared_->queueMutex);
  return shared_->idle.wait_for(
      lock, timeout, [this] { return (shared_->queue.empty() && shared_->busy == 0) || !shared_->running; });
}

void HostNameService::LookupThread(std::shared_ptr<Shared> shared, std::uint64_t generation) {
  // Lookups wait on the network; the capture and the window come first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
  std::unique_lock lock(shared->queueMutex);
  for (;;) {
    shared->queued.wait(lock, [&] { return shared->generation != generation || !shared->queue.empty(); });
    if (shared->generation != generation) return;
    const IpAddress address = shared->queue.front();
    shared->queue.pop_front();
    ++shared->busy;
    lock.unlock();

    const Shared::Lookup name = shared->Resolve(address);
    shared->Remember(address, name);
    // Requests that come now find the cache; the waiters so far get it here.
    lock.lock();
    if (shared->generation != generation) {
      // Left behind by Stop(): the waiting list belongs to a newer start.
      --shared->busy;
      shared->idle.notify_all();
      return;
    }
    std::vector<Shared::Waiter> waiters;
    if (auto entry = shared->waiting.find(address); entry != shared->waiting.end()) {
      waiters = std::move(entry->second);
      shared->waiting.erase(entry);
    }
    lock.unlock();
    for (const Shared::Waiter& w : waiters) shared->Apply(address, w, name, generation);

    lock.lock();
    --shared->busy;
    if (shared->queue.empty() && shared->busy == 0) shared->idle.notify_all();
  }
}

}  // namespace qv
