#pragma once
// Host names for the conversation table: reverse lookups of IPv4 and IPv6
// addresses, off the capture thread and off the interface thread. Requests come in on
// the capture thread; a cached name (or a remembered failure) is written back
// at once, a miss joins a queue that a small fixed pool of lookup threads
// serves (a storm of new conversations queues up, it never starts a thread
// per miss), and an address already queued is looked up only once. Each
// finished lookup goes straight back into its rows, which drop it when they
// show another address by then. Loopback addresses (127.0.0.0/8, ::1) and
// addresses whose name is this machine's own show as "localhost".

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
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
  // The name of `address` (either family), or none. May block for seconds.
  virtual std::optional<std::string> ReverseLookup(const IpAddress& address) = 0;
};

// getnameinfo() with NI_NAMEREQD on a sockaddr_in or sockaddr_in6; the local
// name is the canonical form of gethostname().
class SystemResolver : public HostResolver {
 public:
  std::optional<std::string> LocalName() override;
  std::optional<std::string> ReverseLookup(const IpAddress& address) override;
};

// Finds no name and asks nobody: for runs that must stay off the network.
class NoLookupResolver : public HostResolver {
 public:
  std::optional<std::string> LocalName() override { return std::nullopt; }
  std::optional<std::string> ReverseLookup(const IpAddress&) override { return std::nullopt; }
};

class HostNameService : public HostNameRequester {
 public:
  static constexpr int kDefaultLookupThreads = 4;
  static constexpr std::size_t kBuckets = 256;
  // How long Stop() waits for lookups under way before it leaves them behind.
  static constexpr std::chrono::milliseconds kStopWait{200};

  HostNameService(HostNameTarget& target, std::shared_ptr<HostResolver> resolver,
                  int lookupThreads = kDefaultLookupThreads);
  ~HostNameService() override;
  HostNameService(const HostNameService&) = delete;
  HostNameService& operator=(const HostNameService&) = delete;

  // Starts the lookup threads (nothing when they run already).
  void Start();
  // Ends them; queued requests are dropped and no name reaches the target
  // afterwards. A lookup that hangs in the resolver is left to finish on its
  // own (it keeps what it uses alive) instead of holding up the caller.
  void Stop();

  void RequestName(const IpAddress& address, std::size_t row, int column) override;
  // Empties every bucket (a command of the statistics page).
  void ClearCache();

  // The bucket of a.b.c.d: (c mod 16) * (d mod 16), so 0..225; an IPv6
  // address takes its last two bytes for c and d.
  static std::size_t Bucket(const IpAddress& address);
  // What the cache knows of the address: its name, "----" for a lookup that
  // found none, or nothing when it was never looked up (or the cache was
  // emptied since).
  std::optional<std::string> CachedName(const IpAddress& address) const;
  std::size_t CachedNames() const;
  std::size_t QueueLength() const;
  int LookupThreads() const { return lookupThreads_; }
  // Waits until no request is queued or being looked up; false on time-out.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

 private:
  struct Shared;
  static void LookupThread(std::shared_ptr<Shared> shared, std::uint64_t generation);

  const int lookupThreads_;
  std::shared_ptr<Shared> shared_;
  std::vector<std::thread> threads_;
};

}  // namespace qv
