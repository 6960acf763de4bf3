// `quorvanet-cli -T json` and `-G fields` as a user runs them: every frame of
// the real captures becomes one line of valid JSON that says what the decode
// tree says, whatever bytes the frame holds; and the field list has the
// layout, and for the fields tshark knows the types, of `tshark -G fields`.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/savefile_reader.h"
#include "capture/packet_row.h"
#include "cli/json_text.h"
#include "decode/packet_decoder.h"
#include "savefile_writing.h"
#include "shell_command.h"
#include "veth_namespace.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

using testing::CommandRun;

const std::string kCli = QUORVANET_CLI_PATH;
const std::string kDemo = std::string(QUORVANET_SOURCE_DIR) + "/samples/demo.pcap";
const fs::path kCorpus = QUORVANET_CORPUS_DIR;

// Standard output alone: the totals line goes to standard error.
CommandRun RunCli(const std::string& args) { return testing::RunShell(kCli + " " + args, false); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t nl = text.find('\n', at);
    if (nl == std::string::npos) {
      out.push_back(text.substr(at));
      break;
    }
    out.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> out(1);
  for (const char c : text) {
    if (c == by) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// One line of output as a JSON object; fails the test when it is not one.
QJsonObject ParseLine(const std::string& line) {
  const QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
  // Valid UTF-8 survives a round trip through UTF-16 unchanged.
  EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "not valid UTF-8: " << line;
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << " at " << error.offset
                                                   << ": " << line;
  EXPECT_TRUE(doc.isObject()) << line;
  return doc.object();
}

// What a text of arbitrary bytes reads as in the JSON: each valid UTF-8
// character as itself, each other byte as the Latin-1 character of its value.
// Qt tells which sequences are valid.
QString AsJsonReadsIt(std::string_view bytes) {
  QString out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    bool taken = false;
    for (std::size_t length = 1; length <= 4 && at + length <= bytes.size() && !taken; ++length) {
      const QByteArray piece(bytes.data() + at, static_cast<qsizetype>(length));
      const QString s = QString::fromUtf8(piece);
      const bool one = s.size() == 1 || (s.size() == 2 && s[0].isHighSurrogate());
      if (one && s.toUtf8() == piece) {
        out += s;
        at += length;
        taken = true;
      }
    }
    if (!taken) out += QChar(static_cast<unsigned char>(bytes[at++]));
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

TEST(JsonText, EscapesQuotesBackslashesAndControlsAndKeepsValidUtf8) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"", R"("")"},
      {"Time to live: 64", R"("Time to live: 64")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {std::string_view("\n\r\t\b\f\x01\x1f\x00", 8), R"("\n\r\t\b\f\u0001\u001f\u0000")"},
      {"\x7f", "\"\x7f\""},
      {"Źródło ▶ 😀", "\"Źródło ▶ 😀\""},
      // Bytes outside valid UTF-8, each as its Latin-1 character: a lone
      // byte, a stray continuation, overlong forms, a surrogate, a code point
      // beyond U+10FFFF, a sequence cut short by the end or by another byte.
      {"\xff", R"("\u00ff")"},
      {"\x80", R"("\u0080")"},
      {"\xc0\x80", R"("\u00c0\u0080")"},
      {"\xe0\x80\xaf", R"("\u00e0\u0080\u00af")"},
      {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},
      {"\xf4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},
      {"\xe2\x82", R"("\u00e2\u0082")"},
      {"\xe2\x82\"x", R"("\u00e2\u0082\"x")"},
      {"\xc3\xa9\xc3", "\"\xc3\xa9\\u00c3\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.out;
}

TEST(JsonText, EveryPairOfBytesGivesAStringThatParsesBackToItsCharacters) {
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      const char pair[2] = {static_cast<char>(a), static_cast<char>(b)};
      const std::string_view text(pair, 2);
      const std::string json = "[" + JsonString(text) + "]";
      const QByteArray bytes(json.data(), static_cast<qsizetype>(json.size()));
      ASSERT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << a << " " << b;
      QJsonParseError error{};
      const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
      ASSERT_EQ(error.error, QJsonParseError::NoError) << a << " " << b << ": " << json;
      ASSERT_EQ(doc.array().at(0).toString(), AsJsonReadsIt(text)) << a << " " << b;
    }
  }
}

// `-G fields`: abbreviation -> its columns; protocols from the P lines.
struct Glossary {
  std::map<std::string, std::vector<std::string>> fields;  // the F line's columns
  std::set<std::string> protocols;
};

Glossary ReadGlossary(const std::string& text) {
  Glossary g;
  for (const std::string& line : Lines(text)) {
    const std::vector<std::string> columns = Split(line, '\t');
    if (columns[0] == "P" && columns.size() == 3) g.protocols.insert(columns[2]);
    if (columns[0] == "F" && columns.size() >= 8) g.fields[columns[2]] = columns;
  }
  return g;
}

const Glossary& OurGlossary() {
  static const Glossary g = ReadGlossary(RunCli("-G fields").out);
  return g;
}

TEST(FieldList, OneLinePerRegisteredFieldInTsharksLayout) {
  const CommandRun run = RunCli("-G fields");
  ASSERT_EQ(run.status, 0);
  std::size_t lines = 0;
  std::string protocol;  // of the last P line
  std::set<std::string> seen;
  for (const std::string& line : Lines(run.out)) {
    ++lines;
    const std::vector<std::string> c = Split(line, '\t');
    if (c[0] == "P") {
      ASSERT_EQ(c.size(), 3u) << line;
      protocol = c[2];
      EXPECT_EQ(protocol.find('.'), std::string::npos) << line;
    } else {
      // F, name, abbreviation, type, protocol, base, mask and an empty description.
      ASSERT_EQ(c.size(), 8u) << line;
      EXPECT_EQ(c[0], "F");
      EXPECT_FALSE(c[1].empty()) << line;
      EXPECT_EQ(c[3].rfind("FT_", 0), 0u) << line;
      EXPECT_EQ(c[4], c[2].substr(0, c[2].find('.'))) << line;
      // Each protocol's fields follow its own line.
      if (OurGlossary().protocols.count(c[4]) != 0) {
        EXPECT_EQ(c[4], protocol) << line;
      }
      EXPECT_EQ(c[6].rfind("0x", 0), 0u) << line;
      EXPECT_EQ(c[7], "") << line;
    }
    EXPECT_TRUE(seen.insert(c[2]).second) << "listed twice: " << line;
  }
  EXPECT_EQ(lines, RegisteredFields().size());
}

// For the fields tshark has too, the type, the mask and a decimal or
// hexadecimal base are tshark's.
TEST(FieldList, FieldsTsharkKnowsHaveItsTypeMaskAndBase) {
  const CommandRun tshark = testing::RunShell("tshark -G fields", false);
  if (tshark.status != 0 || tshark.out.empty()) GTEST_SKIP() << "tshark is not installed";
  const Glossary theirs = ReadGlossary(tshark.out);
  // Types we name differently: the kinds of string and of byte array.
  auto same = [](const std::string& ours, const std::string& their) {
    if (ours == their) return true;
    if (ours == "FT_STRING") return their == "FT_STRINGZ" || their == "FT_UINT_STRING" || their == "FT_STRINGZPAD";
    if (ours == "FT_BYTES") return their == "FT_UINT_BYTES";
    return false;
  };
  // Fields whose definition differs from tshark's list on purpose.
  const std::set<std::string> deliberate = {
      // tshark lists bytes but writes a 6-byte address as an Ethernet address,
      // which is what ours are.
      "icmpv6.opt.src_linkaddr", "icmpv6.opt.target_linkaddr",
      // The version nibble: ours is the top four bits of the first byte.
      "ipv6.version",
      // A 32-bit IPX network number, shown in hexadecimal.
      "ipx.dst.net", "ipx.src.net", "nmpi.ipx_network",
      // tshark lists it as a hexadecimal field but writes it in decimal, as we do.
      "dns.rr.udp_payload_size",
      // The bits of mode-7 words that share their bytes: ours carry their masks.
      "ntp.priv.err", "ntp.priv.itemsize", "ntp.priv.numitems", "ntp.priv.reserved",
      // tshark lists it as 16 bits, the width of SSL 2.0's; a TLS hello's is one byte.
      "tls.handshake.session_id_length",
  };
  std::size_t compared = 0;
  for (const auto& [abbrev, ours] : OurGlossary().fields) {
    const auto their = theirs.fields.find(abbrev);
    if (their == theirs.fields.end() || deliberate.count(abbrev) != 0) continue;
    ++compared;
    const std::vector<std::string>& t = their->second;
    EXPECT_TRUE(same(ours[3], t[3])) << abbrev << ": " << ours[3] << ", tshark " << t[3];
    EXPECT_EQ(ours[6], t[6]) << abbrev << " mask";
    if (ours[3] != "FT_BOOLEAN" && (t[5] == "BASE_DEC" || t[5] == "BASE_HEX")) {
      EXPECT_EQ(ours[5], t[5]) << abbrev << " base";
    }
  }
  if (OurGlossary().fields.count("ip.ttl") != 0) {
    EXPECT_GT(compared, 0u);
  }
}

// --- the JSON lines against the decode of the same frames ---

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

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files = Savefiles(kCorpus);
  const std::vector<fs::path> more = Savefiles(kCorpus / "linktypes");
  files.insert(files.end(), more.begin(), more.end());
  return files;
}

struct Frame {
  std::vector<std::uint8_t> bytes;
  pcap_pkthdr header;
  int linkType;
};

// The file's frames as the program's own reader gives them (whole, where
// libpcap would cut a record longer than the snapshot length).
std::vector<Frame> ReadFrames(const fs::path& file) {
  std::vector<Frame> frames;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return frames;
  SavefileReader reader(fd, {});
  SavefileFrame f;
  while (reader.Next(f) == SavefileReader::Result::Packet) {
    pcap_pkthdr header{};
    header.ts.tv_sec = f.header.seconds;
    header.ts.tv_usec = f.header.microseconds;
    header.caplen = f.header.capturedLength;
    header.len = f.header.wireLength;
    frames.push_back({std::vector<std::uint8_t>(f.bytes, f.bytes + f.header.capturedLength), header, f.linkType});
  }
  ::close(fd);
  return frames;
}

QString Q(std::string_view text) { return AsJsonReadsIt(text); }

// The JSON nodes say what the tree's lines below `parent` say.
void ExpectSameNodes(const QJsonArray& nodes, const DecodeTree& tree, NodeId parent, const Frame& frame) {
  const std::vector<NodeId> children = tree.Children(parent);
  ASSERT_EQ(static_cast<std::size_t>(nodes.size()), children.size());
  static const QStringList kKeys = {"text", "field", "value", "start", "end", "children"};
  for (std::size_t i = 0; i < children.size(); ++i) {
    const DecodeNode& n = tree[children[i]];
    SCOPED_TRACE(n.text);
    ASSERT_TRUE(nodes[static_cast<qsizetype>(i)].isObject());
    const QJsonObject o = nodes[static_cast<qsizetype>(i)].toObject();
    for (const QString& key : o.keys()) EXPECT_TRUE(kKeys.contains(key)) << key.toStdString();
    EXPECT_EQ(o["text"].toString(), Q(n.text));
    if (n.field != nullptr) {
      const std::string abbrev(n.field->abbrev);
      EXPECT_EQ(o["field"].toString().toStdString(), abbrev);
      EXPECT_TRUE(OurGlossary().fields.count(abbrev) + OurGlossary().protocols.count(abbrev) != 0) << abbrev;
      EXPECT_TRUE(o["value"].isString());
      EXPECT_EQ(o["value"].toString(), Q(NodeValueText(n, frame.bytes)));
    } else {
      EXPECT_FALSE(o.contains("field") || o.contains("value"));
    }
    if (n.HasRange()) {
      EXPECT_EQ(o["start"].toInteger(-1), n.start);
      EXPECT_EQ(o["end"].toInteger(-1), n.end);
      EXPECT_LE(o["start"].toInteger(), o["end"].toInteger());
      EXPECT_LE(o["end"].toInteger(), static_cast<qint64>(frame.header.caplen));
    } else {
      EXPECT_FALSE(o.contains("start") || o.contains("end"));
    }
    if (n.firstChild != kNoNode) {
      ASSERT_TRUE(o["children"].isArray());
      ASSERT_NO_FATAL_FAILURE(ExpectSameNodes(o["children"].toArray(), tree, children[i], frame));
    } else {
      EXPECT_FALSE(o.contains("children"));
    }
  }
}

// The keys of a frame's object, in their order.
void ExpectKeysInOrder(const std::string& line) {
  std::size_t at = 0;
  for (const char* key : {"{\"number\":", ",\"time\":\"", ",\"length\":", ",\"captured\":", ",\"linktype\":",
                          ",\"row\":[", ",\"tree\":["}) {
    // A quote inside a string is escaped, so these never match inside one.
    const std::size_t found = line.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in " << line;
    if (at == 0) {
      EXPECT_EQ(found, 0u);
    }
    at = found + 1;
  }
}

// Runs `-T json ARGS -r FILE` and holds every line against the frames of the
// file decoded here with `decoders`; `rows` (the tab-separated rows of the
// same file) gives the expected "row" arrays when not empty.
void ExpectFileAsJson(const fs::path& file, const std::string& args, EnabledDecoders decoders,
                      const std::vector<std::string>& rows) {
  const std::vector<Frame> frames = ReadFrames(file);
  const CommandRun run = RunCli("-T json " + args + " -r '" + file.string() + "'");
  ASSERT_EQ(run.status, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), frames.size());
  ASSERT_TRUE(run.out.empty() || run.out.back() == '\n');
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    const Frame& f = frames[i];
    ASSERT_NO_FATAL_FAILURE(ExpectKeysInOrder(lines[i]));
    const QJsonObject o = ParseLine(lines[i]);
    EXPECT_EQ(o.size(), 7);
    EXPECT_EQ(o["number"].toInteger(), static_cast<qint64>(i + 1));
    char time[40];
    std::snprintf(time, sizeof time, "%ld.%06ld", static_cast<long>(f.header.ts.tv_sec),
                  static_cast<long>(f.header.ts.tv_usec));
    EXPECT_EQ(o["time"].toString().toStdString(), time);
    EXPECT_EQ(o["length"].toInteger(), static_cast<qint64>(f.header.len));
    EXPECT_EQ(o["captured"].toInteger(), static_cast<qint64>(f.header.caplen));
    EXPECT_EQ(o["linktype"].toInteger(), f.linkType);
    const QJsonArray row = o["row"].toArray();
    ASSERT_EQ(row.size(), kColumnCount);
    if (!rows.empty()) {
      const std::vector<std::string> columns = Split(rows[i], '\t');
      ASSERT_EQ(columns.size(), static_cast<std::size_t>(kColumnCount)) << rows[i];
      for (int c = 0; c < kColumnCount; ++c) EXPECT_EQ(row[c].toString(), Q(columns[static_cast<std::size_t>(c)]));
    }
    DecodeTree tree;
    PacketDecoder d(f.bytes, {f.linkType, nullptr, nullptr, decoders}, &tree, DecodeMode::Tree, nullptr, nullptr);
    d.Decode();
    ASSERT_TRUE(o["tree"].isArray());
    ASSERT_NO_FATAL_FAILURE(ExpectSameNodes(o["tree"].toArray(), tree, kRootNode, f));
  }
}

TEST(JsonOutput, EveryFrameOfTheRealCapturesIsOneObjectThatSaysWhatItsTreeSays) {
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no captures in " << kCorpus;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const CommandRun rows = RunCli("-r '" + file.string() + "'");
    ASSERT_EQ(rows.status, 0);
    ExpectFileAsJson(file, "", EnabledDecoders::All(), Lines(rows.out));
  }
}

TEST(JsonOutput, DecodersSwitchedOffLeaveTheClassicTree) {
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no captures in " << kCorpus;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    if (name.find("QinQ") == std::string::npos && name.find("ipv6") == std::string::npos &&
        name.find("vxlan") == std::string::npos && name.find("gre") == std::string::npos) {
      continue;
    }
    SCOPED_TRACE(name);
    ExpectFileAsJson(file, "--disable-protocol ALL", EnabledDecoders::Classic(), {});
  }
}

// The first node anywhere below `nodes` whose field is `abbrev`.
QJsonObject FindField(const QJsonArray& nodes, const QString& abbrev) {
  for (const QJsonValue& v : nodes) {
    const QJsonObject o = v.toObject();
    if (o["field"].toString() == abbrev) return o;
    const QJsonObject below = FindField(o["children"].toArray(), abbrev);
    if (!below.isEmpty()) return below;
  }
  return {};
}

TEST(JsonOutput, FieldValuesOfAKnownFrameAreTsharks) {
  if (OurGlossary().fields.count("ip.ttl") == 0) GTEST_SKIP() << "the IPv4 decoder names no fields";
  const fs::path file = kCorpus / "print-flags.pcap";
  if (!fs::exists(file)) GTEST_SKIP() << "no capture " << file;
  const CommandRun run = RunCli("-T json -c 1 -r '" + file.string() + "'");
  ASSERT_EQ(run.status, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  const QJsonArray tree = ParseLine(lines[0])["tree"].toArray();
  // tshark -r print-flags.pcap -c 1 -T fields -e ip.ttl -e ip.flags.df -e tcp.flags.syn -e eth.src
  // (our Flags line covers the flags byte alone, so it is tcp.flags_byte, not tshark's 12-bit tcp.flags)
  const struct {
    const char* field;
    const char* value;
  } expected[] = {{"ip.ttl", "64"}, {"ip.flags.df", "1"}, {"tcp.flags.syn", "1"}, {"tcp.flags_byte", "0x02"}, {"eth.src", "00:00:00:00:00:00"}};
  for (const auto& e : expected) {
    const QJsonObject node = FindField(tree, e.field);
    EXPECT_FALSE(node.isEmpty()) << e.field;
    EXPECT_EQ(node["value"].toString().toStdString(), e.value) << e.field;
  }
}

// Scripts are often written in a single-byte code page, so their labels may
// hold bytes that are not UTF-8; each such byte reads as its Latin-1 character.
TEST(JsonOutput, ScriptLabelsThatAreNotUtf8StillParse) {
  const std::string path = ::testing::TempDir() + "/json-cp1250-" + std::to_string(::getpid()) + ".ssc";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("udp\n2\np 2 < 1\np 3 = 53\n12\nDNS \xb3\nsingle: 0 2 \"Identyfikator \xb3\xea\xff: %u\", 0 2\n", f);
  std::fclose(f);
  const CommandRun run = RunCli("-T json -c 3 --script " + path + " -r " + kDemo);
  std::remove(path.c_str());
  ASSERT_EQ(run.status, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[2].find(R"({"text":"DNS \u00b3","start":42,"end":54,)"
                          R"("children":[{"text":"Identyfikator \u00b3\u00ea\u00ff: 6699","start":42,"end":44}]})"),
            std::string::npos)
      << lines[2];
  const QJsonArray tree = ParseLine(lines[2])["tree"].toArray();
  const QJsonObject dns = tree.at(tree.size() - 1).toObject();
  EXPECT_EQ(dns["text"].toString(), QString("DNS ") + QChar(0xB3));
  EXPECT_EQ(dns["children"].toArray().at(0).toObject()["text"].toString(),
            QString("Identyfikator ") + QChar(0xB3) + QChar(0xEA) + QChar(0xFF) + ": 6699");
}

// A NetBIOS name is raw bytes of the frame: its line shows them as Latin-1,
// and a string field's value holds them as they are.
TEST(JsonOutput, ANameOfBytesThatAreNotUtf8StillParses) {
  // A NetBIOS-over-IPX broadcast whose 16-byte name holds a stray byte, a
  // valid "é", an overlong form, a surrogate, a cut sequence, a quote, a
  // backslash, a control character and a code point beyond U+10FFFF.
  const std::string name("A\xff\xc3\xa9\xc0\x80\xed\xa0\x80\xe2\x82\"\\\x01\xf4\x90", 16);
  std::vector<std::uint8_t> frame = framegen::Hex(
      "ffffffffffff 0003471bc1a8 0054 e0e003"
      "ffff 0050 00 14 00000000 ffffffffffff 0455 a8f87967 000000000001 0455"
      "0000000000000000000000000000000000000000000000000000000000000000 00 01");
  frame.insert(frame.end(), name.begin(), name.end());
  frame.push_back(0);
  ASSERT_EQ(frame.size(), 98u);
  const std::string path = ::testing::TempDir() + "/json-names-" + std::to_string(::getpid()) + ".pcap";
  ASSERT_NO_FATAL_FAILURE(testing::WriteEthernetSavefile(path, {frame}));
  const CommandRun run = RunCli("-T json -r " + path);
  std::remove(path.c_str());
  ASSERT_EQ(run.status, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  const QJsonObject o = ParseLine(lines[0]);
  EXPECT_EQ(o["time"].toString(), "1120622255.938066");
  bool found = false;
  for (const QJsonValue& layer : o["tree"].toArray()) {
    for (const QJsonValue& v : layer.toObject()["children"].toArray()) {
      const QJsonObject line = v.toObject();
      if (!line["text"].toString().startsWith("Name: ")) continue;
      found = true;
      EXPECT_EQ(line["text"].toString(), "Name: " + QString::fromLatin1(name.data(), 16));
      const auto field = OurGlossary().fields.find(line["field"].toString().toStdString());
      if (field != OurGlossary().fields.end() && field->second[3] == "FT_STRING") {
        const char16_t expected[] = {u'A', 0xFF, 0xE9, 0xC0, 0x80, 0xED, 0xA0, 0x80,
                                     0xE2, 0x82, u'"', u'\\', 0x01, 0xF4, 0x90};
        EXPECT_EQ(line["value"].toString(), QString::fromUtf16(expected, std::size(expected)));
      }
    }
  }
  EXPECT_TRUE(found) << lines[0];
}

TEST(JsonOutput, CountFilterAndScriptsApply) {
  EXPECT_EQ(Lines(RunCli("-T json -c 3 -r " + kDemo).out).size(), 3u);

  // Only the TCP frames, as many as the rows say there are.
  std::size_t tcpRows = 0;
  for (const std::string& row : Lines(RunCli("-r " + kDemo).out)) tcpRows += row.find("\tIPv4 TCP ") != std::string::npos;
  const std::vector<std::string> tcp = Lines(RunCli("-T json -f tcp -r " + kDemo).out);
  EXPECT_GT(tcpRows, 0u);
  EXPECT_EQ(tcp.size(), tcpRows);
  for (const std::string& line : tcp) {
    EXPECT_NE(ParseLine(line)["row"].toArray()[kColumnProtocols].toString().indexOf("TCP "), -1) << line;
  }

  // A script's layer is a node of its own.
  const std::string samples = std::string(QUORVANET_SOURCE_DIR) + "/samples/";
  const CommandRun scripted = RunCli("-T json -c 3 --script " + samples + "dns.ssc -r " + kDemo);
  ASSERT_EQ(scripted.status, 0);
  EXPECT_NE(scripted.out.find(R"({"text":"DNS","start":42,"end":54,"children":[{"text":"Transaction ID: 0x1A2B","start":42,"end":44})"),
            std::string::npos)
      << scripted.out;
}

TEST(JsonOutput, UsageErrorsNameWhatIsAccepted) {
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"-T xml -r x", "-T needs an output format: json"},
      {"-T", "option -T needs a value"},
      {"-G protocols", "-G needs a report: fields"},
      {"-T json -q -r x", "-T json excludes"},
      {"-T json -V -r x", "-T json excludes"},
      {"-T json -x -r x", "-T json excludes"},
      {"-T json --stats -r x", "-T json excludes"},
  };
  for (const auto& c : cases) {
    const CommandRun run = testing::RunShell(kCli + " " + c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << "\n" << run.out;
  }
}

// A live capture with a count and a filter, on a veth pair in a namespace of
// the test's own; the frames go from qv1 to qv0 and nowhere else.
TEST(JsonOutput, LiveCaptureWithCountAndFilter) {
  testing::VethNamespace ns("qvjson");
  if (const std::string why = ns.Make(); !why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
  const framegen::Mac qv0 = {0x02, 0x51, 0x56, 0, 0, 0x10};
  const framegen::Mac source = {0x02, 0x51, 0x56, 0, 0, 0x01};
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::thread sender([&] {
    if (!ns.Enter().empty()) return;
    {
      testing::FrameSender to(qv0);
      const std::vector<std::uint8_t> udp = framegen::FrameBuilder()
                                                .Ethernet(qv0, source, 0x0800)
                                                .Ipv4({169, 254, 7, 1}, {169, 254, 7, 2}, 17)
                                                .Udp(40000, 40001)
                                                .Text("json")
                                                .PadTo(60)
                                                .Build();
      const std::vector<std::uint8_t> arp = framegen::FrameBuilder()
                                                .Ethernet(framegen::kBroadcast, source, 0x0806)
                                                .Arp(1, source, {169, 254, 7, 1}, {0, 0, 0, 0, 0, 0}, {169, 254, 7, 2})
                                                .PadTo(60)
                                                .Build();
      // At most 10 s of frames, every 20 ms a UDP frame and an ARP frame.
      for (int i = 0; i < 500 && !done; ++i) {
        to.Send(arp);
        if (to.Send(udp)) ++sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    ns.Leave();
  });
  const std::string name = "qvjson" + std::to_string(::getpid());
  const CommandRun run = testing::RunShell("timeout 20 ip netns exec " + name + " " + kCli +
                                               " -T json -c 3 -f 'udp and ether src 02:51:56:00:00:01' -i qv0",
                                           false);
  done = true;
  sender.join();
  ASSERT_GT(sent.load(), 0);
  ASSERT_EQ(run.status, 0) << run.out;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QJsonObject o = ParseLine(lines[i]);
    EXPECT_EQ(o["number"].toInteger(), static_cast<qint64>(i + 1));
    EXPECT_EQ(o["linktype"].toInteger(), 1);
    EXPECT_EQ(o["captured"].toInteger(), 60);
    EXPECT_EQ(o["row"].toArray()[kColumnProtocols].toString(), "IPv4 UDP ");
    EXPECT_EQ(o["tree"].toArray().at(0).toObject()["text"].toString(), "Ethernet II");
  }
}

}  // namespace
}  // namespace qv
