// Random script texts and random frames: the parser either loads or throws
// its own exception, and decoding with whatever loaded never reads outside
// the frame (each frame sits in a buffer of exactly its size, so the
// sanitizer sees any over-read) and never gives a range beyond it.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode_helpers.h"
#include "temp_dir.h"
#include "scripts/script_applier.h"
#include "scripts/script_parser.h"
#include "scripts/script_registry.h"

namespace qv {
namespace {

using testing::Bytes;

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Int(0, static_cast<int>(from.size()) - 1))];
  }
  std::string Number() {
    static const std::vector<std::string> edges = {"0", "1", "-1", "2", "4", "255", "256", "65535", "2147483647",
                                                   "-2147483648", "99999999999", "+3", "007"};
    return Chance(50) ? Pick(edges) : std::to_string(Int(-20, 80));
  }
  std::string Junk() {
    std::string s;
    const int n = Int(0, 12);
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(Int(0, 255)));
    return s;
  }

 private:
  std::mt19937 engine_;
};

const std::vector<std::string> kParents = {"udp", "tcp", "ipv4", "eth", "llc", "ipx", "nbipx", "netbios",
                                           "snap", "A", "B", "C", "x"};

// A script that is mostly well formed, with numbers and pieces that are not.
std::string RandomScript(Random& r, const std::string& ownName) {
  std::string s = r.Pick(kParents) + "\n";
  const int conditions = r.Int(0, 3);
  s += (r.Chance(95) ? std::to_string(conditions) : r.Number()) + "\n";
  for (int i = 0; i < conditions; ++i) {
    s += std::string(1, "pPcCx "[r.Int(0, 5)]) + " " + std::to_string(r.Int(-1, 60)) + " " +
         std::string(1, "=!<>?"[r.Int(0, 4)]) + " " + std::to_string(r.Int(0, 300));
    if (r.Chance(5)) s += r.Junk();
    s += "\n";
  }
  const std::vector<std::string> sizes = {"FULL", "full", "&" + r.Number() + " " + r.Number(), r.Number(), "",
                                          "& 1 2", "&0 1", "&1 2", "12 x"};
  s += r.Pick(sizes) + "\n" + ownName + "\n";
  const int fields = r.Int(0, 6);
  for (int i = 0; i < fields; ++i) {
    const bool conditional = r.Chance(40);
    s += conditional ? "condit: " : "single: ";
    s += r.Number() + " " + r.Number() + " ";
    if (conditional) s += r.Number() + " ";
    const std::vector<std::string> labels = {"\"v %d %x %X %u %c\"", "\"%04x %% 100%\"", "\"%s%", "\"plain\"",
                                             "\"\"", "\"%c%c%c\""};
    s += r.Pick(labels);
    if (r.Chance(70)) s += ", " + std::to_string(r.Int(0, 70)) + " " + std::to_string(r.Int(0, 5));
    if (r.Chance(5)) s += r.Junk();
    s += r.Chance(10) ? "\r\n\n" : "\n";
  }
  return s;
}

// A frame that reaches the offers often: real headers, random lengths and bytes.
Bytes RandomFrame(Random& r) {
  static const std::vector<Bytes> heads = {
      testing::FrameBuilder().Ethernet({}, {}, 0x0800).Ipv4({1, 2, 3, 4}, {5, 6, 7, 8}, 17).Udp(1, 53).Build(),
      testing::FrameBuilder().Ethernet({}, {}, 0x0800).Ipv4({1, 2, 3, 4}, {5, 6, 7, 8}, 6).Tcp(1, 2, 3, 4, 0x18).Build(),
      testing::FrameBuilder().Ethernet({}, {}, 0x88b5).Build(),
      testing::FrameBuilder().Ieee8023({}, {}).Llc(0xfe, 0xfe, 0x03).Build(),
  };
  Bytes frame = heads[static_cast<std::size_t>(r.Int(0, static_cast<int>(heads.size()) - 1))];
  const int extra = r.Int(0, 80);
  for (int i = 0; i < extra; ++i) frame.push_back(static_cast<std::uint8_t>(r.Chance(30) ? r.Int(0, 8) : r.Int(0, 255)));
  frame.resize(static_cast<std::size_t>(r.Int(0, static_cast<int>(frame.size()))));
  return frame;
}

TEST(ScriptRobustness, RandomTextsLoadOrThrowTheScriptException) {
  Random r(20261210);
  const std::vector<std::string> parents = {"tcp", "ipv4", "udp", "eth", "llc", "ipx", "nbipx", "netbios", "A"};
  int loaded = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string text = i % 2 == 0 ? RandomScript(r, "A") : r.Junk() + "\n" + r.Junk() + "\n" + r.Junk();
    try {
      ParseScriptText(text, "random.ssc", parents);
      ++loaded;
    } catch (const CScriptExc& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Line ", 0), 0u) << e.what();
    }
  }
  EXPECT_GT(loaded, 100);  // the generator reaches the loading paths too
}

TEST(ScriptRobustness, RandomScriptsOnRandomFramesStayInsideTheFrame) {
  Random r(7);
  testing::TempDir folder;
  for (int round = 0; round < 40; ++round) {
    ScriptRegistry registry;
    const std::vector<std::string> names = {"A", "B", "C", "udp", "A"};
    for (int i = 0; i < 30 && registry.Scripts().size() < 10; ++i) {
      try {
        registry.LoadScript(folder.Write("r.ssc", RandomScript(r, r.Pick(names))));
      } catch (const CScriptExc&) {
      }
    }
    ScriptApplier applier(registry);
    for (int f = 0; f < 50; ++f) {
      const Bytes frame = RandomFrame(r);
      const testing::TreeDecode t = testing::DecodeTreeOf(frame, &applier);
      ASSERT_TRUE(testing::RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size()))) << t.text;
      for (std::int32_t start : t.layerStarts) {
        ASSERT_GE(start, 0);
        ASSERT_LE(start, static_cast<std::int32_t>(frame.size()));
      }
    }
  }
}

}  // namespace
}  // namespace qv
