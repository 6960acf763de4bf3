// The field registry: every abbreviation is unique and well formed and
// belongs to a registered protocol, and every line that names a field, in
// every frame of the real captures, names a registered one over exactly the
// bytes its type takes, with a value its field can hold.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"
#include "quic_vectors.h"

namespace qv {
namespace {

using namespace qv::testing;

namespace fs = std::filesystem;

std::string_view ProtocolOf(std::string_view abbrev) { return abbrev.substr(0, abbrev.find('.')); }

bool IsAbbrevChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'; }

// Lower-case letters, digits, '_' and '-', in parts joined by single dots,
// starting with a letter.
bool WellFormed(std::string_view abbrev) {
  if (abbrev.empty() || abbrev[0] < 'a' || abbrev[0] > 'z') return false;
  std::size_t part = 0;
  for (const char c : abbrev) {
    if (c == '.') {
      if (part == 0) return false;
      part = 0;
    } else if (IsAbbrevChar(c)) {
      ++part;
    } else {
      return false;
    }
  }
  return part != 0;
}

// The largest value a field holds: its mask shifted down, else its width.
std::uint64_t MaxValue(const FieldInfo& f) {
  if (f.mask != 0) return MaskedValue(f, f.mask);
  const std::uint32_t bytes = FieldWidth(f);
  return bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (bytes * 8)) - 1;
}

TEST(FieldRegistry, WellFormedSpellingOfTheAbbreviations) {
  for (const std::string_view good : {"ip", "ip.ttl", "ip.flags.df", "tcp.options.sack_le", "ieee8021ad.id", "ipv6.hopopts-x"}) {
    EXPECT_TRUE(WellFormed(good)) << good;
  }
  for (const std::string_view bad : {"", "Ip.ttl", "ip..ttl", ".ip", "ip.", "ip.TTL", "1ip", "ip ttl", "ip/ttl"}) {
    EXPECT_FALSE(WellFormed(bad)) << bad;
  }
}

TEST(FieldRegistry, AbbreviationsAreUniqueWellFormedAndBelongToARegisteredProtocol) {
  const std::vector<const FieldInfo*>& fields = RegisteredFields();
  std::set<std::string_view> protocols;
  for (const FieldInfo* f : fields) {
    if (f->type == FieldType::Protocol && ProtocolOf(f->abbrev) == f->abbrev) protocols.insert(f->abbrev);
  }
  std::map<std::string_view, int> seen;
  for (const FieldInfo* f : fields) {
    SCOPED_TRACE(std::string(f->abbrev));
    EXPECT_EQ(++seen[f->abbrev], 1) << "registered twice";
    EXPECT_TRUE(WellFormed(f->abbrev));
    EXPECT_FALSE(f->name.empty());
    EXPECT_EQ(protocols.count(ProtocolOf(f->abbrev)), 1u) << "no protocol field " << ProtocolOf(f->abbrev);
    EXPECT_EQ(FindField(f->abbrev), f);
    // A mask selects bits of the container, and only integers have one.
    if (f->mask != 0) {
      EXPECT_TRUE(IsIntegerField(*f)) << "a mask on a field that is not an integer";
      const std::uint32_t bits = FieldWidth(*f) * 8;
      if (bits < 64) {
        EXPECT_EQ(f->mask >> bits, 0u) << "mask wider than the field's " << bits << " bits";
      }
    }
  }
}

// Every savefile of a folder, in name order.
std::vector<fs::path> Savefiles(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    const std::string ext = e.path().extension().string();
    if (e.is_regular_file() && (ext == ".pcap" || ext == ".pcapng" || ext == ".cap")) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Frame {
  std::vector<std::uint8_t> bytes;
  int linkType;
};

std::vector<Frame> ReadFrames(const fs::path& file) {
  std::vector<Frame> frames;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_open_offline(file.c_str(), errbuf);
  if (handle == nullptr) return frames;
  const int linkType = pcap_datalink(handle);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  while (pcap_next_ex(handle, &header, &data) == 1) {
    frames.push_back({std::vector<std::uint8_t>(data, data + header->caplen), linkType});
  }
  pcap_close(handle);
  return frames;
}

// The checks on every line of one decode that names a field.
void CheckFieldLines(const DecodeTree& tree, const std::set<const FieldInfo*>& registered) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr) continue;
    const FieldInfo& f = *n.field;
    SCOPED_TRACE(std::string(f.abbrev) + " on \"" + n.text + "\"");
    ASSERT_EQ(registered.count(n.field), 1u) << "a field that is not registered";
    const std::uint32_t width = FieldWidth(f);
    // A line of a fixed-width field covers exactly its bytes, except the
    // summary line of a type-length-value item (a DHCP option), which the
    // peers too tag with the type it starts with and stretch over the item.
    // QUIC's variable-length integers (1, 2, 4 or 8 bytes) and its packet
    // number (1 to 4) are 64-bit fields that cover the bytes they take.
    const bool quicVarint = f.type == FieldType::UInt64 && ProtocolOf(f.abbrev) == "quic";
    if (width != 0 && n.HasRange() && !quicVarint) {
      const bool itemSummary = n.firstChild != kNoNode && n.end - n.start > width;
      if (!itemSummary) EXPECT_EQ(n.end - n.start, width);
    }
    if (quicVarint && n.HasRange()) {
      EXPECT_GE(n.end - n.start, 1u);
      EXPECT_LE(n.end - n.start, width);
    }
    if (f.type == FieldType::Protocol && ProtocolOf(f.abbrev) == f.abbrev) {
      EXPECT_EQ(n.parent, kRootNode) << "a protocol's line below another line";
    }
    if (IsIntegerField(f)) {
      EXPECT_LE(n.value, MaxValue(f));
    }
  }
}

// No real capture holds QUIC yet: the sample packets of its RFCs stand in.
TEST(FieldRegistry, EveryFieldLineOfTheQuicSamplesNamesARegisteredFieldOfItsWidth) {
  const std::set<const FieldInfo*> registered(RegisteredFields().begin(), RegisteredFields().end());
  for (const char* packet : {kV1ClientInitial, kV1ServerInitial, kV2ClientInitial}) {
    const Bytes frame = FrameBuilder()
                                     .Ethernet({2, 0, 0, 0, 0, 2}, {2, 0, 0, 0, 0, 1}, 0x0800)
                                     .Ipv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17)
                                     .Udp(50000, 443)
                                     .Raw(Hex(packet))
                                     .Build();
    const TreeDecode t = DecodeTreeOf(frame, nullptr, EnabledDecoders::All());
    ASSERT_NE(t.text.find("QUIC IETF"), std::string::npos);
    ASSERT_NO_FATAL_FAILURE(CheckFieldLines(t.tree, registered));
  }
}

TEST(FieldRegistry, EveryFieldLineOfTheRealCapturesNamesARegisteredFieldOfItsWidth) {
  const fs::path corpus = QUORVANET_CORPUS_DIR;
  std::vector<fs::path> files = Savefiles(corpus);
  const std::vector<fs::path> more = Savefiles(corpus / "linktypes");
  files.insert(files.end(), more.begin(), more.end());
  if (files.empty()) GTEST_SKIP() << "no captures in " << corpus;

  const std::set<const FieldInfo*> registered(RegisteredFields().begin(), RegisteredFields().end());
  std::size_t frames = 0;
  for (const fs::path& file : files) {
    const std::vector<Frame> read = ReadFrames(file);
    for (std::size_t i = 0; i < read.size(); ++i) {
      SCOPED_TRACE(file.filename().string() + " frame " + std::to_string(i + 1));
      for (const EnabledDecoders decoders : {EnabledDecoders::All(), EnabledDecoders::Classic()}) {
        const TreeDecode t = DecodeTreeOf(read[i].bytes, nullptr, decoders, read[i].linkType);
        ASSERT_NO_FATAL_FAILURE(CheckFieldLines(t.tree, registered));
      }
      ++frames;
    }
  }
  EXPECT_GT(frames, 0u);
}

}  // namespace
}  // namespace qv
