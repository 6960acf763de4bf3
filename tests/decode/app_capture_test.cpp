// Real programs talking to real servers (dig and dnsmasq, dhclient and
// dnsmasq, curl and Python's http.server, curl and openssl s_client against
// openssl s_server), captured by tools/make_app_captures.sh. For every frame
// of those captures, our decoders' values of a list of fields equal the ones
// tshark shows for the same frame; tshark's values are kept beside the
// captures in app_captures_tshark.tsv, so tshark need not run here.
//
// A capture whose protocol has no decoder yet (no frame shows a field of it)
// is skipped with that reason rather than failed; once the decoder shows any
// of its fields, every value is compared.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using testing::Bytes;
using testing::FieldValues;
using testing::SavefileFrames;

const std::string kData = std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/";

struct Expected {
  std::uint32_t frame = 0;  // 1-based, as tshark numbers them
  std::string field;        // "*": the frame shows none of the capture's fields
  std::string value;        // tshark -T fields: several occurrences joined by commas
};

// The rows of the table that belong to `capture`.
std::vector<Expected> TsharkValues(const std::string& capture) {
  std::vector<Expected> out;
  std::ifstream in(kData + "app_captures_tshark.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    std::string file, frame;
    Expected e;
    if (!std::getline(row, file, '\t') || file != capture || !std::getline(row, frame, '\t') ||
        !std::getline(row, e.field, '\t')) {
      continue;
    }
    std::getline(row, e.value);  // may be empty
    e.frame = static_cast<std::uint32_t>(std::stoul(frame));
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<Bytes> Frames(const std::string& capture) { return SavefileFrames(kData + capture); }

// Whether any line of the tree shows the protocol or one of its fields.
bool ShowsProtocol(const DecodeTree& tree, std::string_view protocol) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const FieldInfo* f = tree[id].field;
    if (f == nullptr) continue;
    const std::string_view a = f->abbrev;
    if (a.starts_with(protocol) && a.size() > protocol.size() && a[protocol.size()] == '.') return true;
  }
  return false;
}

struct AppCapture {
  const char* name;              // the test's name
  const char* file;
  const char* protocol;          // the fields' prefix in the table: "dns", "tls", ...
  const char* rowName;           // the protocol the row names last for a frame that carries it
  std::set<std::string> names;   // what summary mode learns for addresses
};

const AppCapture kCaptures[] = {
    {"Dns", "app_dns.pcap", "dns", "DNS",
     {"DNS answer: 192.0.2.80 = www.example.test", "DNS answer: 2001:db8::80 = www.example.test"}},
    {"Dhcp", "app_dhcp.pcap", "dhcp", "DHCP", {}},
    {"Http", "app_http.pcap", "http", "HTTP", {"HTTP Host: 192.0.2.1 = www.example.test"}},
    {"Tls12", "app_tls12.pcap", "tls", "TLS", {"TLS server name: 192.0.2.1 = www.example.test"}},
    {"Tls13", "app_tls13.pcap", "tls", "TLS", {"TLS server name: 192.0.2.1 = www.example.test"}},
    {"TlsAlpn", "app_tls_alpn.pcap", "tls", "TLS", {"TLS server name: 192.0.2.1 = www.example.test"}},
};

void PrintTo(const AppCapture& c, std::ostream* os) { *os << c.file; }

class AppCaptureTest : public ::testing::TestWithParam<AppCapture> {
 protected:
  void SetUp() override {
    const AppCapture& c = GetParam();
    frames_ = Frames(c.file);
    ASSERT_FALSE(frames_.empty()) << "cannot read " << kData << c.file;
    bool shown = false;
    for (const Bytes& frame : frames_) {
      trees_.push_back(testing::DecodeTreeOf(frame, nullptr, EnabledDecoders::All()));
      shown = shown || ShowsProtocol(trees_.back().tree, c.protocol);
    }
    if (!shown) GTEST_SKIP() << "no decoder shows " << c.protocol << " fields yet";
  }

  std::vector<Bytes> frames_;
  std::vector<testing::TreeDecode> trees_;
};

// Where our values differ from tshark's on purpose.
//
// tshark writes the type of DHCP's End option, the last of every message
// here, as 0; ours is the option's byte.
std::string OurValue(std::string_view field, std::string value) {
  if (field == "dhcp.option.type" && value.ends_with(",0")) value.replace(value.size() - 1, 1, "255");
  return value;
}

// tshark follows the connection: once its ServerHello said TLS 1.3, the type
// of every later encrypted record is tls.record.opaque_type. A frame decoded
// by itself that holds nothing but such records cannot tell the version and
// shows their type as tls.record.content_type, as in TLS 1.2. (A frame that
// also holds the ServerHello or a ChangeCipherSpec can tell, and is
// compared as it is.)
void OurFrameValues(std::map<std::string, std::string>& frame) {
  const auto opaque = frame.find("tls.record.opaque_type");
  const auto type = frame.find("tls.record.content_type");
  if (opaque == frame.end() || type == frame.end() || !type->second.empty()) return;
  std::swap(type->second, opaque->second);
}

TEST_P(AppCaptureTest, EveryFrameShowsTsharksValues) {
  const AppCapture& c = GetParam();
  const std::vector<Expected> expected = TsharkValues(c.file);
  ASSERT_FALSE(expected.empty()) << "no rows for " << c.file << " in app_captures_tshark.tsv";
  std::set<std::string> fields;
  for (const Expected& e : expected) {
    if (e.field != "*") fields.insert(e.field);
  }
  ASSERT_FALSE(fields.empty());
  // Frame number -> field -> the value ours should show; a "*" row stands
  // for every field, none shown.
  std::map<std::uint32_t, std::map<std::string, std::string>> frames;
  for (const Expected& e : expected) {
    ASSERT_GE(e.frame, 1u);
    ASSERT_LE(e.frame, frames_.size()) << e.field;
    std::map<std::string, std::string>& frame = frames[e.frame];
    if (e.field == "*") {
      for (const std::string& field : fields) frame[field] = "";
    } else {
      frame[e.field] = OurValue(e.field, e.value);
    }
  }
  EXPECT_EQ(frames.size(), frames_.size()) << "the table names every frame of " << c.file;
  for (auto& [number, values] : frames) {
    OurFrameValues(values);
    const std::size_t i = number - 1;
    for (const auto& [field, value] : values) {
      EXPECT_EQ(FieldValues(trees_[i].tree, frames_[i], field), value)
          << c.file << " frame " << number << " " << field << "\n"
          << trees_[i].text;
    }
  }
}

TEST_P(AppCaptureTest, RowsNameTheProtocol) {
  const AppCapture& c = GetParam();
  // The frames for which tshark shows any field of the protocol.
  std::set<std::uint32_t> carrying;
  for (const Expected& e : TsharkValues(c.file)) {
    if (!e.value.empty()) carrying.insert(e.frame);
  }
  ASSERT_FALSE(carrying.empty());
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    EXPECT_TRUE(testing::RangesWithin(trees_[i].tree, static_cast<std::uint32_t>(frames_[i].size())))
        << c.file << " frame " << i + 1;
    if (!carrying.contains(static_cast<std::uint32_t>(i + 1))) continue;
    const testing::SummaryDecode s = testing::DecodeSummaryOf(frames_[i], EnabledDecoders::All());
    ASSERT_GT(s.row.protocolCount, 0) << c.file << " frame " << i + 1;
    EXPECT_EQ(InfoOf(s.row.protocols[s.row.protocolCount - 1]).name, std::string_view(c.rowName))
        << c.file << " frame " << i + 1;
  }
}

TEST_P(AppCaptureTest, SummaryModeLearnsTheNames) {
  const AppCapture& c = GetParam();
  std::set<std::string> names;
  for (const Bytes& frame : frames_) {
    const testing::SummaryDecode s = testing::DecodeSummaryOf(frame, EnabledDecoders::All());
    names.insert(s.sink.names.begin(), s.sink.names.end());
  }
  if (names.empty() && !c.names.empty()) GTEST_SKIP() << "no decoder learns names from " << c.protocol << " yet";
  EXPECT_EQ(names, c.names) << c.file;
}

std::string NameOf(const ::testing::TestParamInfo<AppCapture>& p) { return p.param.name; }

INSTANTIATE_TEST_SUITE_P(RealClients, AppCaptureTest, ::testing::ValuesIn(kCaptures), NameOf);

}  // namespace
}  // namespace qv
