// Every built-in decoder that ends a layer offers the rest of the frame to
// the scripts under its own parent name, after its own header. A claimed
// offer takes the place of the unsupported mark.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

// Records each offer as "parent@first byte offered"; claims them all when
// asked to, the way a matching script does: a layer start and a top-level line.
class ClaimingScripts : public ScriptHost {
 public:
  explicit ClaimingScripts(bool claim) : claim_(claim) {}
  bool ApplyScripts(PacketDecoder& d, std::uint32_t headerLength, std::string_view parentName) override {
    const std::uint32_t start = d.offset + headerLength;
    offers.push_back(std::string(parentName) + "@" + std::to_string(start));
    if (!claim_) return false;
    d.AddLayerStart(start);
    d.AddLine(kRootNode, "CLAIMED", start, d.capturedLength);
    return true;
  }
  std::vector<std::string> offers;

 private:
  bool claim_;
};

const framegen::Mac kDst{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const framegen::Mac kSrc{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
const framegen::Ip4 kA{10, 0, 0, 1};
const framegen::Ip4 kB{10, 0, 0, 2};

// IPX header to and from `socket`, with this length and packet type.
Bytes Ipx(const char* lengthAndType, const char* socket) {
  return Hex(std::string("ffff") + lengthAndType + "00000000 ffffffffffff" + socket + "a8f87967 0013206183a3" + socket);
}

struct Case {
  const char* what;
  Bytes frame;
  const char* offer;
};

TEST(DecoderOffers, ParentNamesAndHeaderLengths) {
  const Case cases[] = {
      {"Ethernet II, unknown type", FrameBuilder().Ethernet(kDst, kSrc, 0x88b5).Zeros(46).Build(), "eth@14"},
      {"IEEE 802.3 without a captured LLC header", FrameBuilder().Ieee8023(kDst, kSrc).Build(), "eth@14"},
      {"LLC, unknown SAP", FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xfe, 0xfe, 0x03).Zeros(43).Build(), "llc@17"},
      {"SNAP, undecoded type",
       FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xaa, 0xaa, 0x03).Snap(0, 0x0800).Zeros(38).Build(), "snap@22"},
      {"IPv4, unknown protocol", FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kA, kB, 0x99).Zeros(8).Build(),
       "ipv4@34"},
      {"IPv4 with options", FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kA, kB, 0x99, Hex("01010100")).Zeros(8).Build(),
       "ipv4@38"},
      {"UDP", FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kA, kB, 17).Udp(1024, 53).Zeros(10).Build(), "udp@42"},
      {"TCP with options",
       FrameBuilder().Ethernet(kDst, kSrc, 0x0800).Ipv4(kA, kB, 6).Tcp(1025, 80, 1, 0, 0x18, Hex("01010101")).Zeros(10).Build(),
       "tcp@58"},
      {"IPX to the RIP socket", FrameBuilder().Ethernet(kDst, kSrc, 0x8137).Raw(Ipx("0028 00 01", "0453")).PadTo(60).Build(),
       "ipx@44"},
      {"NBIPX name packet",
       FrameBuilder().Ethernet(kDst, kSrc, 0x8137).Raw(Ipx("0050 00 14", "0455")).Zeros(50).Build(), "nbipx@94"},
      {"NBIPX connection header without SMB",
       FrameBuilder().Ethernet(kDst, kSrc, 0x8137).Raw(Ipx("0040 00 04", "0455")).Raw(Hex("10 04 0102 3412 0500 2301 0000 ff00 0001 0200"))
           .Zeros(20).Build(),
       "nbipx@62"},
      {"NetBIOS, short header",
       FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xf0, 0xf0, 0x03).Raw(Hex("0e00 ffef 0a 05 3412 7856 bc9a 2a 2b")).PadTo(60).Build(),
       "netbios@31"},
      {"NetBIOS, long header", FrameBuilder().Ieee8023(kDst, kSrc).Llc(0xf0, 0xf0, 0x03).Raw(Hex("2c00 ffef 0a 00 0000 0100 0000"))
           .Zeros(32).PadTo(70).Build(),
       "netbios@61"},
  };
  for (const Case& c : cases) {
    ClaimingScripts watching(false);
    const TreeDecode unclaimed = DecodeTreeOf(c.frame, &watching);
    EXPECT_EQ(watching.offers, (std::vector<std::string>{c.offer})) << c.what << "\n" << unclaimed.text;
    // Unclaimed, the offered bytes are marked as a layer of their own.
    const std::string offer = c.offer;
    const int start = std::stoi(offer.substr(offer.find('@') + 1));
    ASSERT_FALSE(unclaimed.layerStarts.empty()) << c.what;
    EXPECT_EQ(unclaimed.layerStarts.back(), start) << c.what;

    ClaimingScripts claiming(true);
    const TreeDecode claimed = DecodeTreeOf(c.frame, &claiming);
    EXPECT_EQ(claiming.offers, watching.offers) << c.what;
    // The claim's own start stands where the mark stood, and nothing follows it.
    EXPECT_EQ(claimed.layerStarts, unclaimed.layerStarts) << c.what;
    const auto top = claimed.tree.TopLevel();
    ASSERT_FALSE(top.empty()) << c.what;
    EXPECT_EQ(claimed.tree[top.back()].text, "CLAIMED") << c.what;
  }
}

}  // namespace
}  // namespace qv
