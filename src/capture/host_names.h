#pragma once
// Host names for the conversation table: reverse lookups of IPv4 addresses,
// off the capture thread and off the interface thread. Requests come in on
// the capture thread; a cached name is written back at once, a miss joins a
// queue that a small fixed pool of lookup threads serves (a storm of new
// conversations queues up, it never starts a thread per miss). Each finished
// lookup goes straight back into its row, which drops it when it shows
// another address by then.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "stats/host_name_requests.h"

namespace qv {

// Where names come from: the system's resolver in the program, a stub in tests.
class HostResolver {
 public:
  virtual ~HostResolver() = default;
  // This machine's own name; the lookups that yield it show "localhost".
  virtual std::optional<std::string> LocalName() = 0;
  // The name of `address`, or none. May block for seconds.
  virtual std::optional<std::string> ReverseLookup(const Ipv4Address& address) = 0;
};

// getnameinfo() with NI_NAMEREQD; the local name is the canonical form of
// gethostname().
class SystemResolver : public HostResolver {
 public:
  std::optional<std::string> LocalName() override;
  std::optional<std::string> ReverseLookup(const Ipv4Address& address) override;
};

class HostNameService : public HostNameRequester {
 public:
  static constexpr int kDefaultLookupThreads = 4;
  static constexpr std::size_t kBuckets = 256;

  HostNameService(HostNameTarget& target, HostResolver& resolver, int lookupThreads = kDefaultLookupThreads);
  ~HostNameService() override;
  HostNameService(const HostNameService&) = delete;
  HostNameService& operator=(const HostNameService&) = delete;

  // Starts the lookup threads (nothing when they run already).
  void Start();
  // Ends them after the lookups under way; queued requests are dropped.
  void Stop();

  void RequestName(const Ipv4Address& address, std::size_t row, int column) override;
  // Empties every bucket (a command of the statistics page).
  void ClearCache();

  // The bucket of a.b.c.d: (c mod 16) * (d mod 16), so 0..225.
  static std::size_t Bucket(const Ipv4Address& address);
  std::optional<std::string> CachedName(const Ipv4Address& address) const;
  std::size_t CachedNames() const;
  std::size_t QueueLength() const;
  int LookupThreads() const { return lookupThreads_; }
  // Waits until no request is queued or being looked up; false on time-out.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

 private:
  struct Request {
    Ipv4Address address;
    std::size_t row;
    int column;
  };
  void LookupThread();
  std::optional<std::string> Resolve(const Ipv4Address& address);

  HostNameTarget& target_;
  HostResolver& resolver_;
  const int lookupThreads_;

  mutable std::mutex cacheMutex_;
  std::array<std::vector<std::pair<Ipv4Address, std::string>>, kBuckets> cache_;

  mutable std::mutex queueMutex_;
  std::condition_variable queued_;
  std::condition_variable idle_;
  std::deque<Request> queue_;
  int busy_ = 0;  // lookups under way
  bool stopping_ = false;
  std::vector<std::thread> threads_;

  std::mutex localMutex_;
  bool localKnown_ = false;
  std::optional<std::string> localName_;
};

}  // namespace qv
