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

// What the lookup threads use. A thread left behind by Stop() keeps it alive
// until its lookup returns; it then sees the newer generation and ends.
struct HostNameService::Shared {
  explicit Shared(HostNameTarget& t, std::shared_ptr<HostResolver> r) : target(t), resolver(std::move(r)) {}

  struct Request {
    Ipv4Address address;
    std::size_t row;
    int column;
  };

  std::optional<std::string> Cached(const Ipv4Address& address) const {
    std::lock_guard lock(cacheMutex);
    for (const auto& [cached, name] : cache[Bucket(address)]) {
      if (cached == address) return name;
    }
    return std::nullopt;
  }
  void Remember(const Ipv4Address& address, const std::string& name) {
    std::lock_guard lock(cacheMutex);
    auto& bucket = cache[Bucket(address)];
    for (const auto& entry : bucket) {
      if (entry.first == address) return;
    }
    bucket.emplace_back(address, name);
  }
  std::optional<std::string> Resolve(const Ipv4Address& address) {
    {
      std::lock_guard lock(localMutex);
      if (!localKnown) {
        localName = resolver->LocalName();
        localKnown = true;
      }
    }
    std::optional<std::string> name = resolver->ReverseLookup(address);
    if (name && localName && strcasecmp(name->c_str(), localName->c_str()) == 0) name = "localhost";
    return name;
  }
  // Only a thread of the running generation writes names.
  void Apply(const Request& r, const std::optional<std::string>& name, std::uint64_t from) {
    std::lock_guard lock(targetMutex);
    if (generation.load() == from) target.ApplyName(r.address, r.row, r.column, name);
  }

  std::mutex targetMutex;  // held while a name is written
  HostNameTarget& target;
  const std::shared_ptr<HostResolver> resolver;

  mutable std::mutex cacheMutex;
  std::array<std::vector<std::pair<Ipv4Address, std::string>>, kBuckets> cache;

  mutable std::mutex queueMutex;
  std::condition_variable queued;
  std::condition_variable idle;
  std::deque<Request> queue;
  int busy = 0;  // lookups under way
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

std::size_t HostNameService::Bucket(const Ipv4Address& address) {
  return static_cast<std::size_t>(address[2] % 16) * static_cast<std::size_t>(address[3] % 16);
}

std::optional<std::string> HostNameService::CachedName(const Ipv4Address& address) const {
  return shared_->Cached(address);
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

void HostNameService::RequestName(const Ipv4Address& address, std::size_t row, int column) {
  std::uint64_t generation;
  {
    std::lock_guard lock(shared_->queueMutex);
    if (!shared_->running) return;
    generation = shared_->generation;
  }
  if (std::optional<std::string> name = shared_->Cached(address)) {
    shared_->Apply({address, row, column}, name, generation);
    return;
  }
  {
    std::lock_guard lock(shared_->queueMutex);
    if (!shared_->running) return;
    shared_->queue.push_back({address, row, column});
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
    const Shared::Request request = shared->queue.front();
    shared->queue.pop_front();
    ++shared->busy;
    lock.unlock();

    // An earlier request for the same address may have filled the cache.
    std::optional<std::string> name = shared->Cached(request.address);
    if (!name) {
      name = shared->Resolve(request.address);
      if (name) shared->Remember(request.address, *name);
    }
    shared->Apply(request, name, generation);

    lock.lock();
    --shared->busy;
    if (shared->queue.empty() && shared->busy == 0) shared->idle.notify_all();
  }
}

}  // namespace qv
