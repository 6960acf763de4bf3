#include "capture/host_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "stats/conversation_table.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// Names by the address's last byte; lookups wait while the gate is shut.
class StubResolver : public HostResolver {
 public:
  std::optional<std::string> LocalName() override { return local; }
  std::optional<std::string> ReverseLookup(const IpAddress& address) override {
    std::unique_lock lock(mutex_);
    ++lookups;
    asked.push_back(address);
    threads.insert(std::this_thread::get_id());
    ++running;
    maxRunning = std::max(maxRunning, running);
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    --running;
    changed_.notify_all();
    const auto found = names.find(address.bytes[address.Size() - 1]);
    if (found == names.end()) return std::nullopt;
    return found->second;
  }
  void Shut() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  // Waits until exactly n lookups are under way.
  bool WaitForRunning(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return running == n; });
  }

  std::map<std::uint8_t, std::string> names;
  std::optional<std::string> local = "MyBox.example";
  int lookups = 0, running = 0, maxRunning = 0;
  std::vector<IpAddress> asked;
  std::set<std::thread::id> threads;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
};

IpAddress V4(std::uint8_t last) { return IpAddress::V4({10, 0, 0, last}); }

IpConversationSample Sample(std::uint8_t src, std::uint8_t dst) {
  IpConversationSample s;
  s.source = {10, 0, 0, src};
  s.destination = {10, 0, 0, dst};
  s.totalLength = 60;
  s.destinationPort = 80;
  s.sourcePort = 1025;
  return s;
}

// 2001:db8::src > 2001:db8::dst.
IpConversationSample Sample6(std::uint8_t src, std::uint8_t dst) {
  IpConversationSample s;
  s.ipv6 = true;
  s.source6 = {0x20, 0x01, 0x0d, 0xb8};
  s.source6[15] = src;
  s.destination6 = {0x20, 0x01, 0x0d, 0xb8};
  s.destination6[15] = dst;
  s.totalLength = 80;
  s.destinationPort = 443;
  s.sourcePort = 50000;
  return s;
}

IpAddress V6(std::uint8_t last) {
  Ipv6Address a{0x20, 0x01, 0x0d, 0xb8};
  a[15] = last;
  return IpAddress::V6(a);
}

const IpAddress kLoopback6 = IpAddress::V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});

struct Fixture {
  explicit Fixture(int threads = 2) : resolverOwner(std::make_shared<StubResolver>()), resolver(*resolverOwner), service(table, resolverOwner, threads) {
    table.SetNameRequester(&service);
    service.Start();
  }
  ~Fixture() {
    resolver.Open();
    service.Stop();
    table.SetNameRequester(nullptr);
  }
  ConversationTable table;
  std::shared_ptr<StubResolver> resolverOwner;
  StubResolver& resolver;
  HostNameService service;
};

TEST(HostNames, OwnNameShowsAsLocalhostFailureAsDashesAndNamesAreCached) {
  Fixture f;
  f.resolver.names = {{1, "mybox.EXAMPLE"}, {3, "three.example"}};
  f.table.Update(Sample(1, 2));
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  EXPECT_EQ(f.table.Rows()[0].sourceName, "localhost");
  EXPECT_EQ(f.table.Rows()[0].destinationName, "----");
  EXPECT_EQ(f.service.CachedName(V4(1)), "localhost");
  EXPECT_EQ(f.service.CachedName(V4(2)), "----");  // a failure is remembered too
  EXPECT_EQ(f.service.CachedName(V4(9)), std::nullopt);

  // A cached name lands at once, while the lookups are held up.
  f.resolver.Shut();
  f.table.Update(Sample(1, 3));
  EXPECT_EQ(f.table.Rows()[1].sourceName, "localhost");
  EXPECT_EQ(f.table.Rows()[1].destinationName, "");
  f.resolver.Open();
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  EXPECT_EQ(f.table.Rows()[1].destinationName, "three.example");

  f.service.ClearCache();
  EXPECT_EQ(f.service.CachedNames(), 0u);
  EXPECT_EQ(f.service.CachedName(V4(1)), std::nullopt);
}

TEST(HostNames, Ipv6AddressesAreLookedUpAndCachedApartFromIpv4) {
  Fixture f;
  f.resolver.names = {{1, "MyBox.example"}, {2, "two.example"}};
  f.table.Update(Sample6(1, 2));
  f.table.Update(Sample(2, 1));  // the same last bytes, another family
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  EXPECT_EQ(f.table.Rows()[0].sourceName, "localhost");  // this machine's own name
  EXPECT_EQ(f.table.Rows()[0].destinationName, "two.example");
  // Four addresses, four lookups: 2001:db8::1 and 10.0.0.1 are not one entry.
  EXPECT_EQ(f.resolver.lookups, 4);
  EXPECT_EQ(f.service.CachedNames(), 4u);
  ASSERT_EQ(f.resolver.asked.size(), 4u);
  EXPECT_EQ(std::count(f.resolver.asked.begin(), f.resolver.asked.end(), V6(1)), 1);
  EXPECT_EQ(std::count(f.resolver.asked.begin(), f.resolver.asked.end(), V4(1)), 1);
  EXPECT_EQ(f.service.CachedName(V6(2)), "two.example");
  EXPECT_EQ(f.service.CachedName(V6(3)), std::nullopt);

  // A new row of known IPv6 addresses gets its names from the cache at once.
  f.resolver.Shut();
  f.table.Update(Sample6(2, 1));
  EXPECT_EQ(f.table.Rows()[2].sourceName, "two.example");
  EXPECT_EQ(f.table.Rows()[2].destinationName, "localhost");
  EXPECT_EQ(f.resolver.lookups, 4);
}

TEST(HostNames, LoopbackOfBothFamiliesIsLocalhostWithoutALookup) {
  Fixture f;
  f.resolver.local = std::nullopt;  // not even the machine's name is known
  IpConversationSample six = Sample6(0, 0);
  six.source6 = six.destination6 = kLoopback6.bytes;
  f.table.Update(six);
  IpConversationSample four = Sample(0, 0);
  four.source = {127, 0, 0, 1};
  four.destination = {127, 1, 2, 3};
  f.table.Update(four);
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  for (const ConversationRow& r : f.table.Rows()) {
    EXPECT_EQ(r.sourceName, "localhost") << r.ColumnText(0);
    EXPECT_EQ(r.destinationName, "localhost") << r.ColumnText(1);
  }
  EXPECT_EQ(f.table.Rows()[0].ColumnText(0), "::1");
  EXPECT_EQ(f.resolver.lookups, 0);
  EXPECT_EQ(f.service.CachedName(kLoopback6), "localhost");
  // ::2 and 0:0:0:0:0:1:: are not loopback.
  EXPECT_FALSE(IpAddress::V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}).IsLoopback());
  EXPECT_FALSE(IpAddress::V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}).IsLoopback());
  EXPECT_FALSE(IpAddress::V4({128, 0, 0, 1}).IsLoopback());
}

TEST(HostNames, LateNameOfAReusedRowIsDropped) {
  Fixture f(1);
  f.resolver.names = {{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}};
  f.table.SetRowLimit(1);
  f.resolver.Shut();
  f.table.Update(Sample(1, 2));
  ASSERT_TRUE(f.resolver.WaitForRunning(1));
  f.table.Update(Sample(3, 4));  // the same row, now for another pair
  f.resolver.Open();
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  const ConversationRow row = f.table.Rows().at(0);
  EXPECT_EQ(row.ColumnText(0), "10.0.0.3");
  EXPECT_EQ(row.sourceName, "three");
  EXPECT_EQ(row.destinationName, "four");
}

TEST(HostNames, AStormOfRequestsQueuesForTheFixedPool) {
  Fixture f(4);
  f.table.SetRowLimit(ConversationTable::kMaxRowLimit);
  f.resolver.Shut();
  for (int i = 0; i < 250; ++i) f.table.Update(Sample(static_cast<std::uint8_t>(i), 255));
  ASSERT_TRUE(f.resolver.WaitForRunning(4));
  // 251 addresses: every row's destination is 10.0.0.255, looked up once.
  EXPECT_EQ(f.service.QueueLength(), 251u - 4u);
  f.resolver.Open();
  ASSERT_TRUE(f.service.WaitUntilIdle(30s));
  EXPECT_EQ(f.resolver.lookups, 251);
  EXPECT_EQ(f.resolver.maxRunning, 4);
  EXPECT_LE(f.resolver.threads.size(), 4u);
  for (const ConversationRow& r : f.table.Rows()) EXPECT_EQ(r.destinationName, "----");
}

TEST(HostNames, StoppedServiceTakesNoRequests) {
  ConversationTable table;
  auto resolver = std::make_shared<StubResolver>();
  HostNameService service(table, resolver);
  service.RequestName(V4(1), 0, kSourceNameColumn);
  EXPECT_EQ(service.QueueLength(), 0u);
  EXPECT_EQ(resolver->lookups, 0);
}

TEST(HostNames, StopLeavesAHangingLookupBehindAndWritesNothingAfterwards) {
  Fixture f(1);
  f.resolver.names = {{1, "one"}};
  f.resolver.Shut();
  f.table.Update(Sample(1, 2));
  ASSERT_TRUE(f.resolver.WaitForRunning(1));
  f.service.Stop();  // returns although the lookup still hangs
  f.resolver.Open();
  ASSERT_TRUE(f.resolver.WaitForRunning(0));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(f.table.Rows()[0].sourceName, "");
  // Started again, it serves new requests.
  f.service.Start();
  f.table.Update(Sample(1, 3));
  ASSERT_TRUE(f.service.WaitUntilIdle(10s));
  EXPECT_EQ(f.table.Rows()[1].sourceName, "one");
}

TEST(HostNames, Buckets) {
  EXPECT_EQ(HostNameService::Bucket(IpAddress::V4({1, 2, 3, 4})), 12u);
  EXPECT_EQ(HostNameService::Bucket(IpAddress::V4({0, 0, 15, 255})), 225u);
  EXPECT_EQ(HostNameService::Bucket(IpAddress::V4({0, 0, 16, 7})), 0u);
  // IPv6: the last two bytes.
  EXPECT_EQ(HostNameService::Bucket(IpAddress::V6({1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 4})), 12u);
  EXPECT_EQ(HostNameService::Bucket(kLoopback6), 0u);
}

TEST(HostNames, SystemResolverFindsTheLoopbackAddress) {
  SystemResolver resolver;
  const std::optional<std::string> name = resolver.ReverseLookup(IpAddress::V4({127, 0, 0, 1}));
  ASSERT_TRUE(name.has_value());
  EXPECT_FALSE(name->empty());
}

}  // namespace
}  // namespace qv
