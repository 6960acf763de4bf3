// The adapter list as a Linux machine gives it: network adapters first with
// their addresses and state, pseudo-devices without network frames last with
// the reason, and the adapter offered when none is remembered.

#include "capture/adapter_overview.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kUpRunning = PCAP_IF_UP | PCAP_IF_RUNNING;

// The list of the machine in the report that asked for this, in libpcap's order.
std::vector<Adapter> LinuxDesktop() {
  return {
      {"eth0", "", {"192.168.1.20", "fe80::1"}, kUpRunning, 1},
      {"any", "Pseudo-device that captures on all interfaces", {}, kUpRunning, 113},
      {"lo", "", {"127.0.0.1", "::1"}, kUpRunning | PCAP_IF_LOOPBACK, 1},
      {"ifb0", "", {}, 0, 1},
      {"bluetooth-monitor", "Bluetooth Linux Monitor", {}, PCAP_IF_WIRELESS, 254},
      {"nflog", "Linux netfilter log (NFLOG) interface", {}, 0, 239},
      {"nfqueue", "Linux netfilter queue (NFQUEUE) interface", {}, 0, 228},
      {"wlan0", "", {"10.0.0.5"}, kUpRunning | PCAP_IF_WIRELESS, 1},
      {"dbus-system", "D-Bus system bus", {}, 0, 231},
  };
}

std::vector<std::string> NamesInOrder(const std::vector<Adapter>& adapters) {
  std::vector<std::string> names;
  for (const std::size_t i : AdapterDisplayOrder(adapters)) names.push_back(adapters[i].name);
  return names;
}

TEST(AdapterOverview, NetworkAdaptersFirstThenTheOthersWithTheirReason) {
  Session s;
  s.backend.adapters.adapters = LinuxDesktop();
  ASSERT_TRUE(s.doc->EnumerateAdapters());
  const std::vector<Adapter>& adapters = s.doc->Adapters();
  EXPECT_EQ(NamesInOrder(adapters), (std::vector<std::string>{"eth0", "any", "lo", "ifb0", "wlan0", "bluetooth-monitor",
                                                              "nflog", "nfqueue", "dbus-system"}));
  struct Case {
    std::size_t index;
    const char* details;
  };
  const Case cases[] = {
      {0, "192.168.1.20, fe80::1, up, running"},
      {1, "all interfaces (cooked headers), up, running"},
      {2, "127.0.0.1, ::1, up, running, loopback"},
      {3, ""},
      {4, "no network frames: Bluetooth monitor events"},
      {5, "no network frames: netfilter log messages"},
      {6, "no network frames: packets queued by firewall rules"},
      {7, "10.0.0.5, up, running, wireless"},
      {8, "no network frames: D-Bus messages"},
  };
  for (const Case& c : cases) EXPECT_EQ(AdapterDetails(adapters[c.index]), c.details) << adapters[c.index].name;
  EXPECT_EQ(PreselectedAdapter(adapters), std::optional<std::size_t>(0));
}

TEST(AdapterOverview, PreselectionNeedsUpRunningNotLoopbackAndAnAddress) {
  struct Case {
    const char* name;
    std::vector<Adapter> adapters;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {"down adapter skipped", {{"eth0", "", {"10.0.0.1"}, PCAP_IF_UP, 1}, {"eth1", "", {"10.0.0.2"}, kUpRunning, 1}}, 1},
      {"no address skipped", {{"eth0", "", {}, kUpRunning, 1}, {"wlan0", "", {"fe80::2"}, kUpRunning, 1}}, 1},
      {"loopback skipped", {{"lo", "", {"127.0.0.1"}, kUpRunning | PCAP_IF_LOOPBACK, 1}}, std::nullopt},
      {"non-network adapters never", {{"nfqueue", "", {"10.0.0.9"}, kUpRunning, 228}}, std::nullopt},
      // Listed after the network adapters, so offered after them too.
      {"listing order, not library order",
       {{"dbus-x", "", {"10.0.0.3"}, kUpRunning, 231}, {"tun0", "", {"10.8.0.1"}, kUpRunning, 12}}, 1},
      {"none fits", {{"any", "", {}, kUpRunning, 113}, {"ifb0", "", {}, 0, 1}}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(PreselectedAdapter(c.adapters), c.expected) << c.name;
}

// The dialog that Start shows receives the adapters in the library's order:
// the order and the preselection are the dialog's business, and the index
// it answers is one of the library's list.
TEST(AdapterOverview, StartWithoutARememberedAdapterOffersTheLibrarysList) {
  Session s;
  s.backend.adapters.adapters = LinuxDesktop();
  s.prompt.adapterChoice = 7;  // wlan0
  s.backend.files["wlan0"] = s.dir.File("wlan0.pcap");
  WriteTaggedFile(s.backend.files["wlan0"], 1);
  s.CaptureToEnd();
  EXPECT_EQ(s.settings.GetString("pcap", "CurrentDevice"), std::optional<std::string>("wlan0"));
}

// The real list of this machine: whatever it holds, "any" (when present)
// describes itself, and the listing order puts no pseudo-device before a
// network adapter.
TEST(AdapterOverview, TheMachinesOwnList) {
  const AdapterList list = EnumerateAdapters();
  if (list.failed || list.adapters.empty()) GTEST_SKIP() << "no adapters: " << list.error;
  bool sawNonNetwork = false;
  for (const std::size_t i : AdapterDisplayOrder(list.adapters)) {
    const Adapter& a = list.adapters[i];
    const bool network = NonNetworkReason(a).empty();
    EXPECT_FALSE(network && sawNonNetwork) << a.name;
    sawNonNetwork = sawNonNetwork || !network;
    if (a.name == "any") {
      EXPECT_EQ(a.linkType, 113);
      EXPECT_EQ(AdapterDetails(a).rfind("all interfaces (cooked headers)", 0), 0u);
    }
    if (a.name == "lo") {
      EXPECT_NE(AdapterDetails(a).find("loopback"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace qv
