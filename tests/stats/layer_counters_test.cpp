#include <gtest/gtest.h>

#include "stats/layer_chart.h"
#include "stats/layer_counters.h"

namespace qv {
namespace {

std::vector<std::string> Labels(const LayerCounters& counters, int layer) {
  std::vector<std::string> out;
  for (const ChartPoint& p : LayerChartPoints(counters.Snapshot(layer))) out.push_back(p.label);
  return out;
}

TEST(LayerCounters, NewestFirstWithColoursByPosition) {
  LayerCounters c;
  c.AddProtocol("TCP", 3);
  c.AddProtocol("UDP", 3);
  c.AddProtocol("TCP", 3);
  const LayerSnapshot s = c.Snapshot(3);
  ASSERT_EQ(s.protocols.size(), 2u);
  EXPECT_EQ(s.protocols[0].name, "UDP");
  EXPECT_EQ(s.protocols[0].colour, (Rgb{255, 0, 255}));
  EXPECT_EQ(s.protocols[1].name, "TCP");
  EXPECT_EQ(s.protocols[1].count, 2u);
  EXPECT_EQ(s.protocols[1].colour, (Rgb{255, 0, 0}));
  EXPECT_EQ(Labels(c, 3), (std::vector<std::string>{"", "UDP - 1", "TCP - 2"}));
}

TEST(LayerCounters, AFramesReportsAtOnceCountAsOneByOne) {
  // The order of first appearance gives the colours and the list order, so
  // a frame's batch must leave exactly what its reports one by one leave.
  const std::vector<std::vector<Protocol>> frames = {
      {Protocol::EthernetII, Protocol::Ipv4, Protocol::Tcp},
      {Protocol::EthernetII, Protocol::Ipv4, Protocol::Udp, Protocol::Dns},
      {Protocol::EthernetII, Protocol::Arp},
      {Protocol::EthernetII, Protocol::Ipv4, Protocol::Udp, Protocol::Dns},
      {Protocol::Ieee8022, Protocol::Llc, Protocol::Bpdu},
      {Protocol::EthernetII, Protocol::Ipv4, Protocol::Tcp}};
  LayerCounters batched, single;
  for (const std::vector<Protocol>& frame : frames) {
    batched.AddProtocols(frame);
    for (const Protocol p : frame) single.AddProtocol(InfoOf(p).name, InfoOf(p).layer);
  }
  for (int layer = 1; layer <= LayerCounters::kLayers; ++layer) {
    const LayerSnapshot a = batched.Snapshot(layer), b = single.Snapshot(layer);
    ASSERT_EQ(a.protocols.size(), b.protocols.size()) << layer;
    for (std::size_t i = 0; i < a.protocols.size(); ++i) {
      EXPECT_EQ(a.protocols[i].name, b.protocols[i].name);
      EXPECT_EQ(a.protocols[i].count, b.protocols[i].count);
      EXPECT_EQ(a.protocols[i].colour, b.protocols[i].colour);
    }
  }
  EXPECT_EQ(Labels(batched, 1), (std::vector<std::string>{"", "BPDU - 1", "LLC - 1", "IEEE 802.2 - 1", "ARP - 1",
                                                            "Ethernet II - 5"}));
}

TEST(LayerCounters, FifteenthNameWrapsToTheFirstColourAndCaseMatters) {
  LayerCounters c;
  for (int i = 0; i < 14; ++i) c.AddProtocol("P" + std::to_string(i), 2);
  c.AddProtocol("IPv4", 2);
  c.AddProtocol("ipv4", 2);
  const LayerSnapshot s = c.Snapshot(2);
  ASSERT_EQ(s.protocols.size(), 16u);
  EXPECT_EQ(s.protocols[1].name, "IPv4");
  EXPECT_EQ(s.protocols[1].colour, (Rgb{255, 0, 0}));
  EXPECT_EQ(s.protocols[0].colour, (Rgb{255, 0, 255}));
  EXPECT_EQ(s.protocols[2].colour, (Rgb{0, 0, 0}));  // the fourteenth, index 13
}

TEST(LayerCounters, OthersOutOfRangeLayersAndReset) {
  LayerCounters c;
  c.AddProtocol("", 1);
  c.AddProtocol("", 1);
  c.AddProtocol("Ethernet II", 1);
  c.AddProtocol("X", 0);
  c.AddProtocol("X", 5);
  const std::vector<ChartPoint> points = LayerChartPoints(c.Snapshot(1));
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].value, 0u);
  EXPECT_EQ(points[0].colour, (Rgb{255, 255, 255}));
  EXPECT_EQ(points[1].label, "Ethernet II - 1");
  EXPECT_EQ(points[1].protocol, "Ethernet II");
  EXPECT_EQ(points[2].label, "others - 2");
  EXPECT_EQ(points[2].colour, (Rgb{255, 128, 128}));
  EXPECT_EQ(points[2].protocol, "");
  for (int layer : {2, 3, 4}) EXPECT_EQ(Labels(c, layer), std::vector<std::string>{""});

  c.Reset();
  EXPECT_EQ(Labels(c, 1), std::vector<std::string>{""});
  c.AddProtocol("ARP", 1);
  EXPECT_EQ(c.Snapshot(1).protocols.at(0).colour, (Rgb{255, 0, 0}));
}

TEST(LayerCounters, ListsAsText) {
  LayerCounters c;
  c.AddProtocol("Ethernet II", 1);
  c.AddProtocol("IPv4", 2);
  c.AddProtocol("", 4);
  EXPECT_EQ(FormatLayerLists(c),
            "LINK LAYER\nEthernet II - 1\nNETWORK LAYER\nIPv4 - 1\nTRANSPORT LAYER\nAPPLICATION LAYER\nothers - 1\n");
}

}  // namespace
}  // namespace qv
