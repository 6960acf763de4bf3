#include "decode/tls.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

// --- building TLS bytes ---

Bytes U8(std::uint32_t v) { return {static_cast<std::uint8_t>(v)}; }
Bytes U16(std::uint32_t v) { return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}; }
Bytes U24(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Vec8(const Bytes& b) { return Cat({U8(static_cast<std::uint32_t>(b.size())), b}); }
Bytes Vec16(const Bytes& b) { return Cat({U16(static_cast<std::uint32_t>(b.size())), b}); }
Bytes Vec24(const Bytes& b) { return Cat({U24(static_cast<std::uint32_t>(b.size())), b}); }
Bytes List16(std::initializer_list<std::uint32_t> values) {
  Bytes b;
  for (const std::uint32_t v : values) b = Cat({b, U16(v)});
  return b;
}
Bytes Filled(std::size_t n, std::uint8_t v) { return Bytes(n, v); }
Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Ext(std::uint32_t type, const Bytes& data) { return Cat({U16(type), Vec16(data)}); }
Bytes Handshake(std::uint32_t type, const Bytes& body) { return Cat({U8(type), Vec24(body)}); }
Bytes Record(std::uint32_t type, std::uint32_t version, const Bytes& body) {
  return Cat({U8(type), U16(version), Vec16(body)});
}

Bytes ClientHelloBody(const Bytes& suites, const Bytes& extensions) {
  return Cat({U16(0x0303), Filled(32, 0x11), Vec8(Filled(32, 0x22)), Vec16(suites), Vec8({0}), Vec16(extensions)});
}

Bytes ServerName(std::string_view name) { return Ext(0, Vec16(Cat({U8(0), Vec16(Str(name))}))); }
Bytes Alpn(std::initializer_list<std::string_view> names) {
  Bytes list;
  for (const std::string_view n : names) list = Cat({list, Vec8(Str(n))});
  return Ext(16, Vec16(list));
}
Bytes KeyShareEntry(std::uint32_t group, std::size_t length) { return Cat({U16(group), Vec16(Filled(length, 0x5a))}); }
// Outer ECH: HKDF-SHA256, AES-128-GCM, config 0x42, a 32-byte key and a
// 144-byte payload.
Bytes Ech() {
  return Ext(0xfe0d, Cat({U8(0), U16(1), U16(1), U8(0x42), Vec16(Filled(32, 0xe1)), Vec16(Filled(144, 0xe2))}));
}

// A ClientHello as today's Chrome sends it: GREASE values among the suites,
// extensions, groups, key shares and versions, the post-quantum hybrid
// X25519MLKEM768 with its 1216-byte share, ALPS and ECH.
Bytes ChromeHello() {
  const Bytes suites = List16({0x4a4a, 0x1301, 0x1302, 0x1303, 0xc02b, 0xc02f, 0xcca9});
  const Bytes extensions = Cat({
      Ext(0x1a1a, {}),
      ServerName("www.example.com"),
      Ext(23, {}),
      Ext(0xff01, {0}),
      Ext(10, Vec16(List16({0x6a6a, 0x11ec, 0x001d, 0x0017, 0x0018}))),
      Ext(11, Vec8({0})),
      Ext(35, {}),
      Alpn({"h2", "http/1.1"}),
      Ext(5, {1, 0, 0, 0, 0}),
      Ext(13, Vec16(List16({0x0403, 0x0804, 0x0401}))),
      Ext(18, {}),
      Ext(51, Vec16(Cat({KeyShareEntry(0x6a6a, 1), KeyShareEntry(0x11ec, 1216), KeyShareEntry(0x001d, 32)}))),
      Ext(45, Vec8({1})),
      Ext(43, Vec8(List16({0x7a7a, 0x0304, 0x0303}))),
      Ext(27, Vec8(List16({2}))),
      Ext(17613, Vec16(Vec8(Str("h2")))),
      Ech(),
      Ext(0x2a2a, {0}),
  });
  return Handshake(1, ClientHelloBody(suites, extensions));
}

// Firefox: no GREASE, a record size limit, delegated credentials, ECH.
Bytes FirefoxHello() {
  const Bytes suites = List16({0x1301, 0x1303, 0x1302, 0xc02b});
  const Bytes extensions = Cat({
      ServerName("firefox.example"),
      Ext(23, {}),
      Ext(10, Vec16(List16({0x11ec, 0x001d, 0x0017, 0x0100}))),
      Alpn({"h2"}),
      Ext(34, List16({0x0403})),
      Ext(51, Vec16(Cat({KeyShareEntry(0x11ec, 1216), KeyShareEntry(0x001d, 32), KeyShareEntry(0x0017, 65)}))),
      Ext(43, Vec8(List16({0x0304, 0x0303}))),
      Ext(28, U16(0x4001)),
      Ech(),
      Ext(21, Filled(7, 0)),
  });
  return Handshake(1, ClientHelloBody(suites, extensions));
}

// A resumption: the identity of a ticket and its binder, early data.
Bytes ResumingHello() {
  const Bytes extensions = Cat({
      ServerName("resume.example"),
      Ext(43, Vec8(List16({0x0304}))),
      Ext(45, Vec8({1})),
      Ext(42, {}),
      Ext(41, Cat({Vec16(Cat({Vec16(Filled(16, 0x71)), Hex("01020304")})), Vec16(Vec8(Filled(32, 0x72)))})),
  });
  return Handshake(1, ClientHelloBody(List16({0x1301}), extensions));
}

constexpr std::uint32_t kTls = 54;  // after Ethernet II, IPv4 and TCP

Bytes TcpFrame(const Bytes& payload, std::uint16_t srcPort = 50000, std::uint16_t dstPort = 443) {
  return FrameBuilder()
      .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({192, 0, 2, 10}, {198, 51, 100, 7}, 6)
      .Tcp(srcPort, dstPort, 1, 1, 0x18)
      .Raw(payload)
      .Build();
}

// --- reading the decode ---

TreeDecode Tree(const Bytes& frame) { return DecodeTreeOf(frame, nullptr, EnabledDecoders::All()); }

std::string Values(const TreeDecode& t, std::span<const std::uint8_t> bytes, std::string_view abbrev) {
  return FieldValues(t.tree, bytes, abbrev);
}

bool HasLine(const TreeDecode& t, std::string_view text) {
  return t.text.find(std::string(text) + " [") != std::string::npos ||
         t.text.find(std::string(text) + "\n") != std::string::npos;
}

// The TLS layer's lines.
std::string TlsText(const TreeDecode& t) {
  const std::size_t at = t.text.find("Transport Layer Security");
  return at == std::string::npos ? std::string() : t.text.substr(at);
}

std::vector<Bytes> CaptureFrames(const std::string& name) {
  return SavefileFrames(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/tls/" + name);
}

const char* const kCaptures[] = {
    "tls13_sni_alpn.pcap",           // openssl s_client -servername x -alpn h2,http/1.1,
                                     // TLS 1.3
    "tls12_ecdhe.pcap",              // curl --tls-max 1.2: ServerHello, Certificate, ECDHE
                                     // key exchange
    "tls12_unknown_ca.pcap",         // the same, the client refusing the certificate
                                     // with an alert
    "tls12_certificate_split.pcap",  // a certificate chain spread over three
                                     // segments
    "tls13_port_4433.pcap",          // curl --tlsv1.3 to port 4433: recognised by its
                                     // records
};

// Every field line names a registered field, and a fixed-width field's
// line covers its bytes (unless it sums up an item below it).
void ExpectRegisteredFieldsOfTheirWidth(const DecodeTree& tree) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    const DecodeNode& n = tree[id];
    if (n.field == nullptr) continue;
    EXPECT_EQ(FindField(n.field->abbrev), n.field) << n.field->abbrev;
    const std::uint32_t width = FieldWidth(*n.field);
    if (width != 0 && n.HasRange() && n.firstChild == kNoNode) {
      EXPECT_EQ(n.end - n.start, width) << n.text;
    }
  }
}

void ExpectEveryCutWithin(const Bytes& frame) {
  ExpectRegisteredFieldsOfTheirWidth(DecodeTreeOf(frame, nullptr, EnabledDecoders::All()).tree);
  for (std::size_t n = 0; n <= frame.size(); ++n) {
    const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    const TreeDecode t = Tree(cut);
    ASSERT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << t.text;
    DecodeSummaryOf(cut, EnabledDecoders::All());
  }
}

// --- the real captures against tshark ---

// tshark's values (tshark -o tcp.desegment_tcp_streams:FALSE -T fields) for
// the frames of the captures: file, frame number, field, value.
TEST(Tls, RealCapturesHaveTsharksFieldValues) {
  std::ifstream in(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/tls/tshark_fields.tsv");
  ASSERT_TRUE(in) << "tshark_fields.tsv";
  std::map<std::string, std::vector<Bytes>> files;
  std::string line;
  std::size_t compared = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cols(line);
    std::string file, number, abbrev, expected;
    std::getline(cols, file, '\t');
    std::getline(cols, number, '\t');
    std::getline(cols, abbrev, '\t');
    std::getline(cols, expected);
    if (files.count(file) == 0) files[file] = CaptureFrames(file);
    const std::vector<Bytes>& frames = files[file];
    const std::size_t index = std::stoul(number) - 1;
    ASSERT_LT(index, frames.size()) << line;
    EXPECT_EQ(Values(Tree(frames[index]), frames[index], abbrev), expected)
        << file << " frame " << number << " " << abbrev;
    ++compared;
  }
  EXPECT_GT(compared, 100u);
}

TEST(Tls, RealCapturesDecodeEveryCutWithinTheCapturedBytes) {
  for (const char* name : kCaptures) {
    SCOPED_TRACE(name);
    const std::vector<Bytes> frames = CaptureFrames(name);
    ASSERT_FALSE(frames.empty());
    for (const Bytes& frame : frames) ExpectEveryCutWithin(frame);
  }
}

TEST(Tls, AlertGoldenTree) {
  const std::vector<Bytes> frames = CaptureFrames("tls12_unknown_ca.pcap");
  ASSERT_GE(frames.size(), 8u);
  EXPECT_EQ(TlsText(Tree(frames[7])),
            "Transport Layer Security [66,73)\n"
            "  TLSv1.2 Record Layer: Alert (Level: Fatal, Description: Unknown "
            "CA) [66,73)\n"
            "    Content Type: Alert (21) [66,67)\n"
            "    Version: TLS 1.2 (0x0303) [67,69)\n"
            "    Length: 2 [69,71)\n"
            "    Alert Message [71,73)\n"
            "      Level: Fatal (2) [71,72)\n"
            "      Description: Unknown CA (48) [72,73)\n");
}

// The client's TLS 1.3 flight: its compatibility ChangeCipherSpec and
// the encrypted records after it are labelled 1.3, as tshark labels them.
TEST(Tls, Tls13ClientFlightIsKnownByItsRecords) {
  const std::vector<Bytes> frames = CaptureFrames("tls13_sni_alpn.pcap");
  ASSERT_GE(frames.size(), 8u);
  const TreeDecode t = Tree(frames[7]);
  EXPECT_TRUE(HasLine(t, "  TLSv1.3 Record Layer: ChangeCipherSpec Protocol: ChangeCipherSpec")) << t.text;
  EXPECT_TRUE(HasLine(t, "  TLSv1.3 Record Layer: Application Data Protocol: Application Data")) << t.text;
  EXPECT_EQ(Values(t, frames[7], "tls.record.content_type"), "20");
  EXPECT_EQ(Values(t, frames[7], "tls.record.opaque_type"), "23");
  // TLS 1.2's ChangeCipherSpec is followed by an encrypted handshake record.
  const std::vector<Bytes> tls12 = CaptureFrames("tls12_ecdhe.pcap");
  ASSERT_GE(tls12.size(), 9u);
  EXPECT_TRUE(HasLine(Tree(tls12[8]), "  TLSv1.2 Record Layer: ChangeCipherSpec Protocol: ChangeCipherSpec"));
}

TEST(Tls, CertificateRecordSplitOverSegments) {
  const std::vector<Bytes> frames = CaptureFrames("tls12_certificate_split.pcap");
  ASSERT_GE(frames.size(), 8u);
  const TreeDecode first = Tree(frames[5]);
  EXPECT_TRUE(HasLine(first,
                      "  TLSv1.2 Record Layer: Handshake Protocol: "
                      "Certificate [record continues in a later "
                      "segment: 1345 of 2593 bytes here]"))
      << first.text;
  EXPECT_TRUE(HasLine(first, "    Handshake Protocol: Certificate [1341 of 2589 bytes here]")) << first.text;
  EXPECT_EQ(Values(first, frames[5], "tls.handshake.certificates_length"), "2586");
  EXPECT_EQ(Values(first, frames[5], "tls.handshake.certificate_length"), "1291,1289");
  // The segments after it start inside the record.
  for (const std::size_t i : {6u, 7u}) {
    const TreeDecode t = Tree(frames[i]);
    EXPECT_EQ(Values(t, frames[i], "tls.record.content_type"), "");
    EXPECT_NE(t.text.find("  Continuation Data ("), std::string::npos) << t.text;
  }
}

// --- crafted hellos ---

struct HelloCase {
  const char* name;
  Bytes hello;
  std::vector<std::pair<const char*, const char*>> values;  // field, tshark-style values
  std::vector<const char*> lines;                           // lines the tree shows
  const char* learned;
};

std::vector<HelloCase> BrowserHellos() {
  return {
      {"Chrome",
       ChromeHello(),
       {{"tls.handshake.ciphersuite", "0x4a4a,0x1301,0x1302,0x1303,0xc02b,0xc02f,0xcca9"},
        {"tls.handshake.extension.type", "6682,0,23,65281,10,11,35,16,5,13,18,51,45,43,27,17613,65037,10794"},
        {"tls.handshake.extensions_server_name", "www.example.com"},
        {"tls.handshake.extensions_alpn_str", "h2,http/1.1"},
        {"tls.handshake.extensions_supported_group", "0x6a6a,0x11ec,0x001d,0x0017,0x0018"},
        {"tls.handshake.extensions_key_share_group", "27242,4588,29"},
        {"tls.handshake.extensions_key_share_key_exchange_length", "1,1216,32"},
        {"tls.handshake.extensions.supported_version", "0x7a7a,0x0304,0x0303"},
        {"tls.handshake.sig_hash_alg", "0x0403,0x0804,0x0401"},
        {"tls.extension.psk_ke_mode", "1"},
        {"tls.handshake.extensions_status_request_type", "1"},
        {"tls.compress_certificate.algorithm", "2"},
        {"tls.handshake.extensions_alps_alpn_str", "h2"},
        {"tls.ech.client_hello_type", "0"},
        {"tls.ech.hpke.keyconfig.cipher_suite.kdf_id", "0x0001"},
        {"tls.ech.hpke.keyconfig.cipher_suite.aead_id", "0x0001"},
        {"tls.ech.config_id", "66"},
        {"tls.ech.enc_length", "32"},
        {"tls.ech.payload_length", "144"}},
       {"Cipher Suite: Reserved (GREASE) (0x4a4a)", "Extension: Reserved (GREASE) (len=0)",
        "Supported Group: Reserved (GREASE) (0x6a6a)", "Supported Group: X25519MLKEM768 (0x11ec)",
        "Key Share Entry: Group: X25519MLKEM768, Key Exchange length: 1216",
        "Key Share Entry: Group: Reserved (GREASE), Key Exchange length: 1",
        "Supported Version: Reserved (GREASE) (0x7a7a)", "Extension: encrypted_client_hello (len=186)",
        "Client Hello type: Outer Client Hello (0)", "Cipher Suite: HKDF-SHA256, AES-128-GCM",
        "Extension: application_settings (len=5)", "Algorithm: brotli (2)"},
       "TLS server name: 198.51.100.7 = www.example.com"},
      {"Firefox",
       FirefoxHello(),
       {{"tls.handshake.extension.type", "0,23,10,16,34,51,43,28,65037,21"},
        {"tls.handshake.extensions_supported_group", "0x11ec,0x001d,0x0017,0x0100"},
        {"tls.handshake.extensions_key_share_key_exchange_length", "1216,32,65"},
        {"tls.record_size_limit", "16385"},
        {"tls.handshake.extensions_padding_data", "00000000000000"},
        {"tls.ech.config_id", "66"}},
       {"Extension: delegated_credentials (len=2)", "Key Share Entry: Group: secp256r1, Key Exchange length: 65"},
       "TLS server name: 198.51.100.7 = firefox.example"},
      {"Resumption",
       ResumingHello(),
       {{"tls.handshake.extension.type", "0,43,45,42,41"},
        {"tls.handshake.extensions.psk.identities.length", "22"},
        {"tls.handshake.extensions.psk.identity.identity_length", "16"},
        {"tls.handshake.extensions.psk.identity.obfuscated_ticket_age", "16909060"},
        {"tls.handshake.extensions.psk.binders_len", "33"}},
       {"Extension: pre_shared_key (len=59)", "PSK Identity (length: 16)", "Extension: early_data (len=0)"},
       "TLS server name: 198.51.100.7 = resume.example"},
  };
}

TEST(Tls, BrowserClientHellos) {
  for (const HelloCase& c : BrowserHellos()) {
    SCOPED_TRACE(c.name);
    const Bytes frame = TcpFrame(Record(22, 0x0301, c.hello));
    const TreeDecode t = Tree(frame);
    EXPECT_TRUE(HasLine(t, "  TLSv1 Record Layer: Handshake Protocol: Client Hello")) << t.text;
    for (const auto& [abbrev, expected] : c.values) EXPECT_EQ(Values(t, frame, abbrev), expected) << abbrev;
    for (const char* text : c.lines) EXPECT_NE(t.text.find(std::string(" ") + text + " ["), std::string::npos) << text;
    const SummaryDecode s = DecodeSummaryOf(frame, EnabledDecoders::All());
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 TCP TLS ");
    EXPECT_EQ(s.sink.names, std::vector<std::string>{c.learned});
  }
}

TEST(Tls, BrowserClientHellosCutAtEveryByte) {
  for (const HelloCase& c : BrowserHellos()) {
    SCOPED_TRACE(c.name);
    ExpectEveryCutWithin(TcpFrame(Record(22, 0x0301, c.hello)));
  }
}

// A server name cut by the capture teaches nothing; the rest of the hello
// still decodes as far as it goes.
TEST(Tls, CutServerNameIsNotLearned) {
  const Bytes frame = TcpFrame(Record(22, 0x0301, ChromeHello()));
  const std::size_t name =
      std::search(frame.begin(), frame.end(), std::begin("www.ex"), std::end("www.ex") - 1) - frame.begin();
  const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(name + 5));
  EXPECT_TRUE(DecodeSummaryOf(cut, EnabledDecoders::All()).sink.names.empty());
  const TreeDecode t = Tree(cut);
  EXPECT_TRUE(HasLine(t, "          Server Name: www.e")) << t.text;
  EXPECT_NE(t.text.find("Handshake Protocol: Client Hello ["), std::string::npos);
}

// --- records and messages ---

Bytes ServerHelloBody(const Bytes& random, std::uint32_t suite, const Bytes& extensions) {
  return Cat({U16(0x0303), random, Vec8(Filled(32, 0x22)), U16(suite), U8(0), Vec16(extensions)});
}

TEST(Tls, SeveralMessagesInOneRecordAndSeveralRecordsInOneSegment) {
  const Bytes certificate = Handshake(11, Vec24(Cat({Vec24(Filled(20, 0x30)), Vec24(Filled(10, 0x31))})));
  const Bytes flight =
      Cat({Handshake(2, ServerHelloBody(Filled(32, 0x33), 0xc02f, Ext(0xff01, {0}))), certificate, Handshake(14, {})});
  const Bytes frame = TcpFrame(Cat({Record(22, 0x0303, flight), Record(21, 0x0303, {1, 0}),
                                    Record(23, 0x0303, Filled(40, 0xaa)), Record(20, 0x0303, {1})}),
                               443, 50000);
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(HasLine(t,
                      "  TLSv1.2 Record Layer: Handshake Protocol: Multiple "
                      "Handshake Messages"))
      << t.text;
  EXPECT_EQ(Values(t, frame, "tls.handshake.type"), "2,11,14");
  EXPECT_EQ(Values(t, frame, "tls.record.content_type"), "22,21,23,20");
  EXPECT_EQ(Values(t, frame, "tls.handshake.certificates_length"), "36");
  EXPECT_EQ(Values(t, frame, "tls.handshake.certificate_length"), "20,10");
  EXPECT_EQ(Values(t, frame, "tls.alert_message.level"), "1");
  EXPECT_EQ(Values(t, frame, "tls.alert_message.desc"), "0");
  EXPECT_EQ(Values(t, frame, "tls.app_data").size(), 80u);
  EXPECT_TRUE(HasLine(t,
                      "  TLSv1.2 Record Layer: Alert (Level: Warning, "
                      "Description: Close Notify)"));
  EXPECT_TRUE(HasLine(t, "    Encrypted Application Data (40 bytes)"));
  EXPECT_TRUE(HasLine(t,
                      "  TLSv1.2 Record Layer: ChangeCipherSpec Protocol: "
                      "ChangeCipherSpec"));
  ExpectEveryCutWithin(frame);
}

// A TLS 1.3 ServerHello: the version it chose comes from supported_versions,
// and the records after it are labelled 1.3; the HelloRetryRequest is known
// by its random and names the group it wants.
TEST(Tls, ServerHelloChosenVersionAndHelloRetryRequest) {
  const Bytes chosen = Cat({Ext(43, U16(0x0304)), Ext(51, KeyShareEntry(0x11ec, 1120)), Ext(41, U16(0))});
  const Bytes frame = TcpFrame(Cat({Record(22, 0x0303, Handshake(2, ServerHelloBody(Filled(32, 0x44), 0x1301, chosen))),
                                    Record(20, 0x0303, {1}), Record(23, 0x0303, Filled(30, 0xbb))}),
                               443, 50000);
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(HasLine(t, "      [Selected Version: TLS 1.3 (0x0304)]")) << t.text;
  EXPECT_TRUE(HasLine(t, "  TLSv1.3 Record Layer: Application Data Protocol: Application Data"));
  EXPECT_EQ(Values(t, frame, "tls.record.opaque_type"), "23");
  EXPECT_EQ(Values(t, frame, "tls.handshake.extensions_key_share_key_exchange_length"), "1120");
  EXPECT_EQ(Values(t, frame, "tls.handshake.random_time"),
            "");  // TLS 1.3 randoms hold no time

  const Bytes hrrRandom = Hex("cf21ad74e59a6111be1d8c021e65b891c2a211167abb8c5e079e09e2c8a8339c");
  const Bytes retry = TcpFrame(
      Record(22, 0x0303,
             Handshake(2, ServerHelloBody(hrrRandom, 0x1301, Cat({Ext(43, U16(0x0304)), Ext(51, U16(0x11ec))})))),
      443, 50000);
  const TreeDecode r = Tree(retry);
  EXPECT_TRUE(HasLine(r, "    Handshake Protocol: Server Hello (Hello Retry Request)")) << r.text;
  EXPECT_NE(r.text.find("(HelloRetryRequest magic)"), std::string::npos);
  EXPECT_EQ(Values(r, retry, "tls.handshake.extensions_key_share_selected_group"), "4588");
  ExpectEveryCutWithin(frame);
  ExpectEveryCutWithin(retry);
}

// TLS 1.2's CertificateRequest: certificate types, signature schemes and
// the names of trusted authorities; then the client's CertificateVerify.
TEST(Tls, CertificateRequestAndVerify) {
  const Bytes request = Handshake(13, Cat({Vec8({1, 64}), Vec16(List16({0x0403, 0x0804})),
                                           Vec16(Cat({Vec16(Filled(20, 0x30)), Vec16(Filled(10, 0x31))}))}));
  const Bytes verify = Handshake(15, Cat({U16(0x0804), Vec16(Filled(256, 0x77))}));
  const Bytes frame = TcpFrame(Cat({Record(22, 0x0303, request), Record(22, 0x0303, verify)}), 443, 50000);
  const TreeDecode t = Tree(frame);
  EXPECT_EQ(Values(t, frame, "tls.handshake.cert_types_count"), "2");
  EXPECT_EQ(Values(t, frame, "tls.handshake.cert_type"), "1,64");
  EXPECT_EQ(Values(t, frame, "tls.handshake.sig_hash_alg"), "0x0403,0x0804,0x0804");
  EXPECT_EQ(Values(t, frame, "tls.handshake.dnames_len"), "34");
  EXPECT_EQ(Values(t, frame, "tls.handshake.dname_len"), "20,10");
  EXPECT_EQ(Values(t, frame, "tls.handshake.sig_len"), "256");
  EXPECT_TRUE(HasLine(t, "      Certificate type: ECDSA Sign (64)")) << t.text;
  ExpectEveryCutWithin(frame);
}

// Handshake records after a ChangeCipherSpec, and those whose first
// message cannot be one, are encrypted; an alert of any length but 2 too.
TEST(Tls, EncryptedHandshakeAndAlert) {
  const Bytes frame = TcpFrame(
      Cat({Record(20, 0x0303, {1}), Record(22, 0x0303, Filled(40, 0x01)), Record(21, 0x0303, Filled(26, 0x99))}));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(HasLine(t, "    Handshake Protocol: Encrypted Handshake Message")) << t.text;
  EXPECT_TRUE(HasLine(t, "  TLSv1.2 Record Layer: Encrypted Alert"));
  EXPECT_TRUE(HasLine(t, "    Alert Message: Encrypted Alert"));
  EXPECT_EQ(Values(t, frame, "tls.handshake.type"), "");

  const Bytes alone = TcpFrame(Record(22, 0x0303, Filled(40, 0xf3)));
  EXPECT_TRUE(HasLine(Tree(alone), "    Handshake Protocol: Encrypted Handshake Message"));
}

// Messages are shown as far as their record holds them: a message longer
// than what is left of its record, a header cut by the record's end.
TEST(Tls, MessagesCutByTheirRecord) {
  const Bytes frame = TcpFrame(Record(22, 0x0303, Cat({Handshake(14, {}), U8(20), U24(12), Filled(5, 0x77)})));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(HasLine(t, "    Handshake Protocol: Finished [5 of 12 bytes here]")) << t.text;
  EXPECT_EQ(Values(t, frame, "tls.handshake.type"), "14,20");

  const Bytes header = TcpFrame(Record(22, 0x0303, Cat({Handshake(14, {}), Bytes{4, 0}})));
  const TreeDecode h = Tree(header);
  EXPECT_TRUE(HasLine(h, "    Handshake message header cut short (2 bytes of 4)")) << h.text;
}

TEST(Tls, TrailingBytesThatAreNoRecord) {
  const Bytes frame = TcpFrame(Cat({Record(23, 0x0303, Filled(8, 1)), Bytes{0x17, 0x03}}));
  EXPECT_TRUE(HasLine(Tree(frame), "  Record header cut short (2 bytes)"));
  const Bytes other = TcpFrame(Cat({Record(23, 0x0303, Filled(8, 1)), Str("GET / HTTP/1.1\r\n")}));
  EXPECT_TRUE(HasLine(Tree(other), "  Not a TLS record (16 bytes)"));
}

// --- recognising records on other ports ---

TEST(Tls, LooksLikeTlsRecord) {
  struct Case {
    const char* name;
    Bytes payload;
    bool expected;
  };
  const Case cases[] = {
      {"ClientHello", Record(22, 0x0301, FirefoxHello()), true},
      {"header only", Bytes{22, 3, 1, 0, 200}, true},
      {"ChangeCipherSpec", Record(20, 0x0303, {1}), true},
      {"alert", Record(21, 0x0303, {2, 40}), true},
      {"encrypted alert", Record(21, 0x0303, Filled(26, 0x42)), true},
      {"application data", Record(23, 0x0303, Filled(100, 0x42)), true},
      {"SSL 3.0", Record(22, 0x0300, Handshake(1, Filled(40, 0))), true},
      {"content type 19", Record(19, 0x0303, Filled(10, 0)), false},
      {"content type 25", Record(25, 0x0303, Filled(10, 0)), false},
      {"version 2.0", Record(22, 0x0200, Handshake(1, {})), false},
      {"version 3.5", Record(22, 0x0305, Handshake(1, {})), false},
      {"empty record", Bytes{23, 3, 3, 0, 0}, false},
      {"record too long", Bytes{23, 3, 3, 0x48, 0x01, 0}, false},
      {"longest record", Bytes{23, 3, 3, 0x48, 0x00, 0}, true},
      {"unknown handshake type", Record(22, 0x0303, Handshake(99, {})), false},
      {"ChangeCipherSpec of 2 bytes", Record(20, 0x0303, {1, 1}), false},
      {"alert of 1 byte", Record(21, 0x0303, {2}), false},
      {"alert level 3", Record(21, 0x0303, {3, 40}), false},
      {"four bytes", Bytes{22, 3, 1, 0}, false},
      {"text", Str("SSH-2.0-OpenSSH_9.2\r\n"), false},
  };
  for (const Case& c : cases) {
    const Bytes frame = TcpFrame(c.payload, 40000, 40001);
    const PacketDecoder d(frame, {}, nullptr, DecodeMode::Summary, nullptr, nullptr);
    EXPECT_EQ(LooksLikeTlsRecord(d, kTls), c.expected) << c.name;
    EXPECT_EQ(DecodeSummaryOf(frame, EnabledDecoders::All()).row.ProtocolsText(),
              c.expected ? "IPv4 TCP TLS " : "IPv4 TCP ")
        << c.name;
  }
  // Random payloads are not taken for records.
  std::mt19937 random(7);
  int taken = 0;
  for (int i = 0; i < 20000; ++i) {
    Bytes payload(16);
    for (std::uint8_t& b : payload) b = static_cast<std::uint8_t>(random());
    const Bytes frame = TcpFrame(payload, 40000, 40001);
    const PacketDecoder d(frame, {}, nullptr, DecodeMode::Summary, nullptr, nullptr);
    taken += LooksLikeTlsRecord(d, kTls) ? 1 : 0;
  }
  EXPECT_EQ(taken, 0);
}

TEST(Tls, RecordsOnAnotherPortAreRecognised) {
  const std::vector<Bytes> frames = CaptureFrames("tls13_port_4433.pcap");
  ASSERT_GE(frames.size(), 6u);
  const TreeDecode hello = Tree(frames[3]);
  EXPECT_EQ(Values(hello, frames[3], "tls.handshake.extensions_server_name"), "x");
  const SummaryDecode s = DecodeSummaryOf(frames[3], EnabledDecoders::All());
  EXPECT_EQ(s.sink.names, std::vector<std::string>{"TLS server name: 127.0.0.1 = x"});
  // Switched off, the classic decoders leave the payload alone.
  EXPECT_EQ(DecodeTreeOf(frames[3]).text.find("Transport Layer Security"), std::string::npos);
  EXPECT_EQ(DecodeSummaryOf(frames[3]).row.ProtocolsText(), "IPv4 TCP ");
}

// --- handshake messages without records: QUIC's CRYPTO data ---

Bytes QuicParameters() {
  return Hex(
      "01 02 6710"                // max_idle_timeout: 2-byte integer 0x2710 = 10000
      "04 04 80100000"            // initial_max_data: 1048576
      "0f 08 0102030405060708"    // initial_source_connection_id
      "1b 00"                     // a GREASE id (27)
      "6ab2 00"                   // grease_quic_bit, a two-byte id
      "c0000000ff04de1b 01 19");  // min_ack_delay, an eight-byte id, value 25
}

Bytes QuicClientHello() {
  const Bytes extensions = Cat({ServerName("quic.example"), Alpn({"h3"}), Ext(57, QuicParameters()),
                                Ext(43, Vec8(U16(0x0304))), Ext(51, Vec16(KeyShareEntry(0x001d, 32)))});
  return Handshake(1, ClientHelloBody(List16({0x1301}), extensions));
}

struct Detached {
  DecodeTree tree;
  RecordingSink sink;
  std::string text;
};

// Decodes `crypto` as a QUIC decoder does: in a detached decoder under a
// line of the frame's own.
Detached DecodeCrypto(const Bytes& crypto, DecodeMode mode) {
  Detached out;
  const Bytes frame = TcpFrame({}, 1, 2);
  PacketDecoder d(frame, {kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::All()}, &out.tree, mode, nullptr,
                  nullptr);
  d.ipDestination = frame.data() + 30;
  const NodeId parent = d.AddLayerLine("CRYPTO", 0, static_cast<std::uint32_t>(frame.size()));
  d.DecodeDetached(crypto, parent, [&](PacketDecoder& inner) {
    DecodeTlsHandshakeMessages(inner, parent, 0, static_cast<std::uint32_t>(crypto.size()), NameOrigin::QuicServerName);
  });
  out.text = out.tree.ToText();
  return out;
}

TEST(Tls, HandshakeMessagesOfQuicCryptoData) {
  const Bytes crypto = QuicClientHello();
  const Detached t = DecodeCrypto(crypto, DecodeMode::Tree);
  EXPECT_NE(t.text.find("\n  Handshake Protocol: Client Hello\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("\n    Extension: quic_transport_parameters (len=35)\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("\n      Parameter: max_idle_timeout (len=2) 10000\n"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("\n      Parameter: GREASE (len=0)\n"), std::string::npos) << t.text;
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.quic.parameter.type"), "1,4,15,27,10930,4278509083");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.quic.parameter.length"), "2,4,8,0,0,1");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.quic.parameter.initial_max_data"), "1048576");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.quic.parameter.initial_source_connection_id"), "0102030405060708");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.extensions_server_name"), "quic.example");
  // Only the frame's own line has a range.
  for (NodeId id = 2; id <= static_cast<NodeId>(t.tree.LineCount()); ++id) EXPECT_FALSE(t.tree[id].HasRange());

  EXPECT_EQ(DecodeCrypto(crypto, DecodeMode::Summary).sink.names,
            std::vector<std::string>{"QUIC server name: 198.51.100.7 = quic.example"});
  for (std::size_t n = 0; n <= crypto.size(); ++n) {
    const Bytes cut(crypto.begin(), crypto.begin() + static_cast<std::ptrdiff_t>(n));
    DecodeCrypto(cut, DecodeMode::Tree);
    DecodeCrypto(cut, DecodeMode::Summary);
  }
}

// TLS 1.3's Certificate (with its request context and per-entry
// extensions), EncryptedExtensions and NewSessionTicket, as QUIC carries
// them decrypted.
TEST(Tls, Tls13HandshakeMessages) {
  const Bytes entries = Cat({Vec24(Filled(40, 0x30)), Vec16({}), Vec24(Filled(30, 0x31)), Vec16(Ext(5, Filled(6, 0)))});
  const Bytes crypto = Cat({
      Handshake(8, Vec16(Cat({Alpn({"h3"}), Ext(57, Hex("0e 01 04"))}))),
      Handshake(11, Cat({Vec8({}), Vec24(entries)})),
      Handshake(4, Cat({Hex("00093a80 01020304"), Vec8(Filled(8, 0)), Vec16(Filled(16, 0x55)),
                        Vec16(Ext(42, Hex("ffffffff")))})),
      Handshake(13, Cat({Vec8({}), Vec16(Ext(13, Vec16(List16({0x0804}))))})),
      Handshake(15, Cat({U16(0x0807), Vec16(Filled(64, 0x77))})),
      Handshake(20, Filled(32, 0x66)),
  });
  const Detached t = DecodeCrypto(crypto, DecodeMode::Tree);
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.type"), "8,11,4,13,15,20");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.extensions_alpn_str"), "h3");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.quic.parameter.active_connection_id_limit"), "4");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.certificate_request_context_length"), "0,0");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.early_data.max_early_data_size"), "4294967295");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.sig_hash_alg"), "0x0804,0x0807");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.sig_len"), "64");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.certificates_length"), "90");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.certificate_length"), "40,30");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.extensions_length"), "16,0,10,8,8");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.session_ticket_lifetime_hint"), "604800");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.session_ticket_age_add"), "16909060");
  EXPECT_EQ(FieldValues(t.tree, {}, "tls.handshake.session_ticket_length"), "16");
  EXPECT_NE(t.text.find("Extension: early_data (len=4)"), std::string::npos) << t.text;
  EXPECT_NE(t.text.find("\n    Verify Data\n"), std::string::npos) << t.text;
  for (std::size_t n = 0; n <= crypto.size(); ++n) {
    const Bytes cut(crypto.begin(), crypto.begin() + static_cast<std::ptrdiff_t>(n));
    DecodeCrypto(cut, DecodeMode::Tree);
  }
}

}  // namespace
}  // namespace qv
