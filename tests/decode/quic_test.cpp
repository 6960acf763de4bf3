#include "decode/quic.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "decode/app_field_lines.h"
#include "decode/quic_frames.h"
#include "decode/quic_initial_keys.h"
#include "decode/quic_initial_memory.h"
#include "decode_helpers.h"
#include "quic_vectors.h"
#include "shell_command.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kQuic = 42;  // after Ethernet II, IPv4 and UDP

// From the client 10.0.0.1 to the server 10.0.0.2, or back when the source port is 443.
Bytes Datagram(const Bytes& payload, std::uint16_t source = 50000, std::uint16_t destination = 443) {
  const bool fromServer = source == 443;
  return FrameBuilder()
      .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({10, 0, 0, static_cast<std::uint8_t>(fromServer ? 2 : 1)},
            {10, 0, 0, static_cast<std::uint8_t>(fromServer ? 1 : 2)}, 17)
      .Udp(source, destination)
      .Raw(payload)
      .Build();
}

Bytes ServerDatagram(const Bytes& payload, std::uint16_t clientPort = 50000) {
  return Datagram(payload, 443, clientPort);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TreeDecode Tree(const Bytes& frame, QuicInitialMemory* memory = nullptr) {
  TreeDecode out;
  DecodeContext context{kLinkTypeEthernet, nullptr, nullptr, EnabledDecoders::All()};
  context.quicInitials = memory;
  PacketDecoder d(frame, context, &out.tree, DecodeMode::Tree, &out.layerStarts, nullptr);
  d.Decode();
  out.text = out.tree.ToText();
  return out;
}

SummaryDecode Summary(const Bytes& frame, QuicInitialMemory* memory = nullptr) {
  SummaryDecode out;
  DecodeContext context{kLinkTypeEthernet, &out.sink, nullptr, EnabledDecoders::All()};
  context.quicInitials = memory;
  PacketDecoder d(frame, context, nullptr, DecodeMode::Summary, nullptr, &out.row);
  d.Decode();
  return out;
}

bool Has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// The stored bytes of the first line whose text starts with `prefix`.
std::string StoredBytesOf(const DecodeTree& tree, std::string_view prefix) {
  for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
    if (tree[id].text.rfind(prefix, 0) == 0) return tree[id].storedBytes;
  }
  return "<none>";
}

// Seals an Initial (AES-128-GCM, then header protection) with a 2-byte
// packet number, so that tests can build their own payloads: `side`'s keys
// come from the client's original destination id `original`.
Bytes SealInitial(std::uint32_t version, const Bytes& dcid, const Bytes& scid, std::uint16_t pn, const Bytes& frames,
                  QuicSide side = QuicSide::Client, const Bytes& original = {}) {
  const QuicPacketKeys keys = *DeriveQuicInitialKeys(version, original.empty() ? dcid : original, side);
  Bytes header = {0xc1};
  for (int i = 3; i >= 0; --i) header.push_back(static_cast<std::uint8_t>(version >> (8 * i)));
  header.push_back(static_cast<std::uint8_t>(dcid.size()));
  header.insert(header.end(), dcid.begin(), dcid.end());
  header.push_back(static_cast<std::uint8_t>(scid.size()));
  header.insert(header.end(), scid.begin(), scid.end());
  header.push_back(0);  // no token
  const std::size_t length = 2 + frames.size() + 16;
  header.push_back(static_cast<std::uint8_t>(0x40 | length >> 8));
  header.push_back(static_cast<std::uint8_t>(length));
  const std::size_t pnOffset = header.size();
  header.push_back(static_cast<std::uint8_t>(pn >> 8));
  header.push_back(static_cast<std::uint8_t>(pn));

  std::array<std::uint8_t, 12> nonce = keys.iv;
  nonce[10] ^= static_cast<std::uint8_t>(pn >> 8);
  nonce[11] ^= static_cast<std::uint8_t>(pn);
  Bytes sealed(frames.size() + 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_EncryptInit_ex(ctx, EVP_aes_128_gcm(), nullptr, keys.key.data(), nonce.data());
  EVP_EncryptUpdate(ctx, nullptr, &n, header.data(), static_cast<int>(header.size()));
  EVP_EncryptUpdate(ctx, sealed.data(), &n, frames.data(), static_cast<int>(frames.size()));
  EVP_EncryptFinal_ex(ctx, sealed.data() + frames.size(), &n);
  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, sealed.data() + frames.size());
  EVP_CIPHER_CTX_free(ctx);

  Bytes packet = Concat({header, sealed});
  const auto mask = *QuicHeaderMask(keys.hp, std::span<const std::uint8_t, 16>(packet.data() + pnOffset + 4, 16));
  packet[0] ^= mask[0] & 0x0f;
  packet[pnOffset] ^= mask[1];
  packet[pnOffset + 1] ^= mask[2];
  return packet;
}

TEST(Quic, ClientInitialIsDecryptedAndItsFramesShown) {
  const Bytes frame = Datagram(Hex(kV1ClientInitial));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(Has(t.text, "QUIC IETF (Initial, DCID=8394c8f03e515708) [42,1242)\n")) << t.text;
  EXPECT_TRUE(Has(t.text,
                  "  1... .... = Header Form: Long Header (1) [42,43)\n"
                  "  .1.. .... = Fixed Bit: True [42,43)\n"
                  "  ..00 .... = Packet Type: Initial (0) [42,43)\n"
                  "  Version: 1 (0x00000001) [43,47)\n"
                  "  Destination Connection ID Length: 8 [47,48)\n"
                  "  Destination Connection ID: 8394c8f03e515708 [48,56)\n"
                  "  Source Connection ID Length: 0 [56,57)\n"
                  "  Token Length: 0 [57,58)\n"
                  "  Length: 1182 [58,60)\n"
                  "  .... 00.. = Reserved: 0 [42,43)\n"
                  "  .... ..11 = Packet Number Length: 4 bytes (3) [42,43)\n"
                  "  Packet Number: 2 [60,64)\n"
                  "  Payload (1,178 bytes, protected) [64,1242)\n"
                  "  Decrypted payload (1,162 bytes)\n"
                  "    CRYPTO offset=0 length=241\n"
                  "      Frame Type: CRYPTO (0x0000000000000006)\n"
                  "      Offset: 0\n"
                  "      Length: 241\n"
                  "      Crypto Data\n"
                  "        Handshake Protocol: Client Hello\n"))
      << t.text;
  EXPECT_TRUE(Has(t.text, "              Server Name: example.com\n"));
  EXPECT_TRUE(Has(t.text,
                  "    PADDING Length: 917\n"
                  "      Frame Type: PADDING (0x0000000000000000)\n"
                  "      Padding Length: 917\n"));
  // The values tshark gives the same packet.
  for (const auto& [abbrev, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"quic.header_form", "1"},
           {"quic.fixed_bit", "1"},
           {"quic.long.packet_type", "0"},
           {"quic.version", "0x00000001"},
           {"quic.dcil", "8"},
           {"quic.dcid", "8394c8f03e515708"},
           {"quic.scil", "0"},
           {"quic.token_length", "0"},
           {"quic.length", "1182"},
           {"quic.packet_number", "2"},
           {"quic.long.reserved", "0"},
           {"quic.packet_number_length", "3"},
           {"quic.frame_type", "0x0000000000000006"},
           {"quic.crypto.offset", "0"},
           {"quic.crypto.length", "241"},
           {"quic.padding_length", "917"},
       }) {
    EXPECT_EQ(FieldValue(t.tree, frame, abbrev), value) << abbrev;
  }
  EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size())));

  // The capture thread opens it too, and learns the server's name.
  const SummaryDecode s = Summary(frame);
  EXPECT_TRUE(Has(s.row.ProtocolsText() + " ", "UDP QUIC ")) << s.row.ProtocolsText();
  EXPECT_EQ(s.sink.names, std::vector<std::string>{"QUIC server name: 10.0.0.2 = example.com"});
}

TEST(Quic, VersionTwoNumbersItsPacketTypesDifferently) {
  const Bytes frame = Datagram(Hex(kV2ClientInitial));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(Has(t.text, "  ..01 .... = Packet Type: Initial (1) [42,43)\n")) << t.text;
  EXPECT_TRUE(Has(t.text, "  Version: 2 (0x6b3343cf) [43,47)\n"));
  EXPECT_TRUE(Has(t.text, "  Decrypted payload (1,162 bytes)\n"));
  EXPECT_EQ(FieldValue(t.tree, frame, "quic.long.packet_type_v2"), "1");
  EXPECT_EQ(FieldValue(t.tree, frame, "quic.long.packet_type"), "<absent>");
  EXPECT_EQ(FieldValue(t.tree, frame, "quic.packet_number"), "2");
}

// The server's Initial is sealed with keys from the client's first
// destination id, which only the client's Initial carries. The sample
// client gives itself no id: it is found by its address and port.
TEST(Quic, ServerInitialOpensOnlyOnceTheClientsWasSeen) {
  struct Case {
    const char* client;
    const char* server;
  };
  for (const Case& c : {Case{kV1ClientInitial, kV1ServerInitial}, Case{kV2ClientInitial, kV2ServerInitial}}) {
    const Bytes server = ServerDatagram(Hex(c.server));
    const TreeDecode alone = Tree(server);
    EXPECT_TRUE(Has(alone.text, "Initial could not be decrypted (keys unknown: the client's first Initial was not seen)"))
        << alone.text;
    EXPECT_FALSE(Has(alone.text, "Decrypted payload"));
    EXPECT_TRUE(Has(alone.text, "Source Connection ID: f067a5502a4262b5"));

    QuicInitialMemory memory;
    Summary(Datagram(Hex(c.client)), &memory);  // as the capture thread sees it
    EXPECT_EQ(memory.Size(), 1u);
    const TreeDecode opened = Tree(server, &memory);
    EXPECT_TRUE(Has(opened.text,
                    "  Packet Number: 1 [60,62)\n"
                    "  Payload (115 bytes, protected) [62,177)\n"
                    "  Decrypted payload (99 bytes)\n"
                    "    ACK\n"
                    "      Frame Type: ACK (0x0000000000000002)\n"
                    "      Largest Acknowledged: 0\n"
                    "      ACK Delay: 0\n"
                    "      ACK Range Count: 0\n"
                    "      First ACK Range: 0\n"
                    "    CRYPTO offset=0 length=90\n"))
        << opened.text;
    // Another client at another port is another connection.
    EXPECT_TRUE(Has(Tree(ServerDatagram(Hex(c.server), 50001), &memory).text, "could not be decrypted"));
  }
}

// The memory of Initials, filled on the capture thread (summary mode) by the
// client's first Initial, opens the server's answer and the client's next
// Initial (sent to the server's id), and names the ids of short headers.
TEST(Quic, RememberedConnectionOpensBothSidesAndShortHeaderIds) {
  const Bytes original = Hex("0011223344556677");
  const Bytes clientId = Hex("c1c2c3c4");
  const Bytes serverId = Hex("5a5b5c5d5e");
  const Bytes padded = Concat({Hex("01"), Bytes(1160, 0)});
  QuicInitialMemory memory;
  Summary(Datagram(SealInitial(1, original, clientId, 0, padded)), &memory);
  EXPECT_EQ(memory.Size(), 1u);
  EXPECT_EQ(*memory.OriginalDcidFor(clientId), std::string(original.begin(), original.end()));

  const Bytes ack = Hex("02 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  const Bytes server = ServerDatagram(SealInitial(1, clientId, serverId, 0, ack, QuicSide::Server, original));
  EXPECT_TRUE(Has(Tree(server).text, "keys unknown: the client's first Initial was not seen"));
  const TreeDecode opened = Tree(server, &memory);
  EXPECT_TRUE(Has(opened.text, "  Decrypted payload (20 bytes)\n    ACK\n")) << opened.text;
  EXPECT_EQ(memory.Size(), 2u);

  const Bytes second = Datagram(SealInitial(1, serverId, clientId, 1, padded, QuicSide::Client, original));
  const TreeDecode next = Tree(second, &memory);
  EXPECT_TRUE(Has(next.text, "  Packet Number: 1 [")) << next.text;
  EXPECT_TRUE(Has(next.text, "    PING\n"));

  // A short header to the client's id: the id is shown when remembered.
  const Bytes shortPacket = Concat({Hex("41"), clientId, Hex("00112233445566778899aabbccddeeff0011")});
  const TreeDecode known = Tree(Datagram(shortPacket), &memory);
  EXPECT_TRUE(Has(known.text, "QUIC IETF (1-RTT) [42,65)\n"
                              "  QUIC Short Header [42,47)\n"
                              "    0... .... = Header Form: Short Header (0) [42,43)\n"
                              "    .1.. .... = Fixed Bit: True [42,43)\n"
                              "    ..0. .... = Spin Bit: False [42,43)\n"
                              "    Destination Connection ID: c1c2c3c4 [43,47)\n"
                              "  Protected Payload (18 bytes) [47,65)\n"))
      << known.text;
  const TreeDecode unknown = Tree(Datagram(shortPacket));
  EXPECT_TRUE(Has(unknown.text, "  Protected Payload (22 bytes) [43,65)\n")) << unknown.text;
  EXPECT_FALSE(Has(unknown.text, "Destination Connection ID"));
}

TEST(Quic, DamagedInitialSaysSoAndShowsNothingOfItsPayload) {
  Bytes packet = Hex(kV1ClientInitial);
  packet[700] ^= 0x80;
  const Bytes damaged = Datagram(packet);
  Bytes cutSample = Hex("c000000001088394c8f03e5157080000" "4011" "7b9aec34d1b1c98dd7689fb8ec11d242b1");
  for (const Bytes& frame : {damaged, Datagram(cutSample)}) {
    const TreeDecode t = Tree(frame);
    EXPECT_TRUE(Has(t.text, "Initial could not be decrypted (")) << t.text;
    EXPECT_TRUE(Has(t.text, "Destination Connection ID: 8394c8f03e515708"));
    for (const char* absent : {"Decrypted payload", "CRYPTO", "PADDING", "Packet Number", "Payload ("}) {
      EXPECT_FALSE(Has(t.text, absent)) << absent << "\n" << t.text;
    }
  }
  EXPECT_TRUE(Has(Tree(damaged).text, "(the authentication tag does not match)"));
  EXPECT_TRUE(Has(Tree(Datagram(cutSample)).text, "(too short for the header protection sample)"));
}

// Each sample connection written to a capture of its own (tshark takes
// both versions' clients, which share their ids, for one connection), and
// the values tshark reads from it beside ours: it opens the server's
// Initial from the client's that precedes it.
TEST(Quic, FieldValuesAgreeWithTshark) {
  const char* const fields[] = {
      "quic.header_form", "quic.fixed_bit", "quic.long.packet_type", "quic.long.packet_type_v2", "quic.version",
      "quic.dcil", "quic.dcid", "quic.scil", "quic.scid", "quic.token_length", "quic.length", "quic.long.reserved",
      "quic.packet_number_length", "quic.packet_number", "quic.crypto.offset", "quic.crypto.length",
      "quic.padding_length", "quic.ack.largest_acknowledged", "quic.ack.ack_delay", "quic.ack.ack_range_count",
      "quic.ack.first_ack_range",
  };
  const std::vector<std::vector<Bytes>> captures = {
      {Datagram(Hex(kV1ClientInitial)), ServerDatagram(Hex(kV1ServerInitial))},
      {Datagram(Hex(kV2ClientInitial)), ServerDatagram(Hex(kV2ServerInitial))},
  };
  for (const std::vector<Bytes>& frames : captures) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quic-fields-" + std::to_string(::getpid()) + ".pcap")).string();
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      pcap_pkthdr header{};
      header.ts.tv_sec = static_cast<time_t>(1700000000 + i);
      header.caplen = header.len = static_cast<bpf_u_int32>(frames[i].size());
      pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);

    std::string command = "tshark -r " + path + " -T fields -E separator=/t";
    for (const char* f : fields) command += std::string(" -e ") + f;
    const CommandRun tshark = RunShell(command, false);
    std::filesystem::remove(path);
    if (tshark.status != 0 || tshark.out.empty()) GTEST_SKIP() << "tshark is not installed";

    QuicInitialMemory memory;
    std::size_t at = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const std::size_t end = tshark.out.find('\n', at);
      ASSERT_NE(end, std::string::npos);
      const std::string line = tshark.out.substr(at, end - at);
      at = end + 1;
      const TreeDecode t = Tree(frames[i], &memory);
      std::size_t column = 0;
      for (const char* f : fields) {
        const std::size_t tab = line.find('\t', column);
        const std::string theirs = line.substr(column, tab == std::string::npos ? std::string::npos : tab - column);
        column = tab == std::string::npos ? line.size() : tab + 1;
        EXPECT_EQ(FieldValues(t.tree, frames[i], f), theirs) << "frame " << i + 1 << " " << f;
      }
    }
  }
}

// One datagram: the server's Initial, a Handshake packet whose Length says
// where it ends, and a short header packet that takes the rest.
TEST(Quic, CoalescedPacketsAreEachDecoded) {
  const Bytes handshake = Hex("e0 00000001 00 04 a1a2a3a4 4014 0102030405060708090a0b0c0d0e0f1011121314");
  const Bytes shortPacket = Hex("5f 0102030405060708090a0b0c0d0e0f101112");
  const Bytes frame = ServerDatagram(Concat({Hex(kV1ServerInitial), handshake, shortPacket}));
  const TreeDecode t = Tree(frame);
  const std::uint32_t serverEnd = kQuic + 135;
  const std::uint32_t handshakeEnd = serverEnd + static_cast<std::uint32_t>(handshake.size());
  EXPECT_TRUE(Has(t.text, Format("QUIC IETF (Initial, SCID=f067a5502a4262b5) [42,%u)\n", serverEnd))) << t.text;
  EXPECT_TRUE(Has(t.text, Format("QUIC IETF (Handshake, SCID=a1a2a3a4) [%u,%u)\n", serverEnd, handshakeEnd)));
  EXPECT_TRUE(Has(t.text, Format("  Protected Payload (20 bytes) [%u,%u)\n", handshakeEnd - 20, handshakeEnd)));
  EXPECT_TRUE(Has(t.text, Format("QUIC IETF (1-RTT) [%u,%zu)\n", handshakeEnd, frame.size())));
  EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size())));
  EXPECT_EQ(t.tree.TopLevel().size(), 6u) << t.text;  // Ethernet, IPv4, UDP and three QUIC packets
}

// Zero bytes after the last packet fill the datagram up.
TEST(Quic, ZerosAfterTheLastPacketArePadding) {
  const Bytes frame = ServerDatagram(Concat({Hex(kV1ServerInitial), Bytes(30, 0)}));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(Has(t.text, "  Coalesced Padding Data (30 bytes) [177,207)\n")) << t.text;
}

TEST(Quic, VersionNegotiationListsTheSupportedVersions) {
  const Bytes vn = Hex("c5 00000000 04 01020304 04 05060708 00000001 6b3343cf ff00001d 1a2a3a4a");
  const Bytes frame = Datagram(vn, 443, 50000);
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(Has(t.text,
                  "QUIC IETF (Version Negotiation) [42,73)\n"
                  "  1... .... = Header Form: Long Header (1) [42,43)\n"
                  "  .100 0101 = Unused: 0x45 [42,43)\n"
                  "  Version: Negotiation (0x00000000) [43,47)\n"
                  "  Destination Connection ID Length: 4 [47,48)\n"
                  "  Destination Connection ID: 01020304 [48,52)\n"
                  "  Source Connection ID Length: 4 [52,53)\n"
                  "  Source Connection ID: 05060708 [53,57)\n"
                  "  Supported Version: 1 (0x00000001) [57,61)\n"
                  "  Supported Version: 2 (0x6b3343cf) [61,65)\n"
                  "  Supported Version: draft-29 (0xff00001d) [65,69)\n"
                  "  Supported Version: Unknown (0x1a2a3a4a) [69,73)\n"))
      << t.text;
}

TEST(Quic, RetryShowsItsTokenAndIntegrityTag) {
  const Bytes retry = Hex("f0 00000001 04 01020304 04 05060708 aabbccdd 00112233445566778899aabbccddeeff");
  const TreeDecode t = Tree(Datagram(retry, 443, 50000));
  EXPECT_TRUE(Has(t.text, "  ..11 .... = Packet Type: Retry (3) [42,43)\n")) << t.text;
  EXPECT_TRUE(Has(t.text, "  Retry Token: aabbccdd [57,61)\n  Retry Integrity Tag: 00112233445566778899aabbccddeeff [61,77)\n"));
}

// Any port: a long header of a known version is QUIC; the classic decoders
// and unknown versions leave it alone.
TEST(Quic, RecognisedOnAnyPortByItsLongHeader) {
  struct Case {
    const char* name;
    Bytes payload;
    bool quic;
  };
  const Bytes ids = Hex("08 8394c8f03e515708 00");
  const Case cases[] = {
      {"v1 Initial", Hex(kV1ClientInitial), true},
      {"v2 Initial", Hex(kV2ClientInitial), true},
      {"draft-29", Concat({Hex("c0ff00001d"), ids, Hex("00 4010"), Bytes(16, 0)}), true},
      {"draft-34", Concat({Hex("c0ff000022"), ids, Hex("00 4010"), Bytes(16, 0)}), true},
      {"unknown version", Concat({Hex("c0ff000099"), ids, Hex("00 4010"), Bytes(16, 0)}), false},
      {"fixed bit clear", Concat({Hex("8000000001"), ids, Hex("00 4010"), Bytes(16, 0)}), false},
      {"short header", Hex("4001020304050607080910"), false},
      {"id longer than 20", Concat({Hex("c000000001 15"), Bytes(21, 1), Hex("00 00 4010")}), false},
      {"id past the end", Hex("c000000001 08 0102"), false},
      {"negotiation", Hex("80 00000000 00 00 00000001"), true},
      {"negotiation, no whole version", Hex("80 00000000 00 00 000001"), false},
  };
  for (const Case& c : cases) {
    const Bytes frame = Datagram(c.payload, 50000, 4433);
    EXPECT_EQ(Has(Tree(frame).text, "QUIC IETF"), c.quic) << c.name;
    EXPECT_FALSE(Has(DecodeTreeOf(frame).text, "QUIC")) << c.name;
  }
}

// Chrome spreads its ClientHello over CRYPTO frames out of order; the TLS
// decoder gets the bytes contiguous from offset 0 in one piece.
TEST(Quic, CryptoFramesAreJoinedFromOffsetZero) {
  // The ClientHello of the RFC 9001 sample, for example.com.
  const Bytes hello = Hex(
      "010000ed0303ebf8fa56f12939b9584a3896472ec40bb863cfd3e86804fe3a47f06a2b69484c00000413011302010000c000000010000e"
      "00000b6578616d706c652e636f6dff01000100000a00080006001d00170018001000070005"
      "04616c706e000500050100000000003300260024001d00209370b2c9caa47fbabaf4559fedba753de171fa71f50f1ce15d43e994ec74d748"
      "002b0003020304000d0010000e0403050306030203080408050806002d00020101001c00024001003900320408ffffffffffffffff0504"
      "8000ffff07048000ffff0801100104800075300901100f088394c8f03e51570806048000ffff");
  ASSERT_EQ(hello.size(), 241u);
  auto piece = [&hello](std::size_t from, std::size_t to) {
    // Offset and length as two-byte variable-length integers.
    const std::size_t length = to - from;
    Bytes frame = {0x06, static_cast<std::uint8_t>(0x40 | from >> 8), static_cast<std::uint8_t>(from),
                   static_cast<std::uint8_t>(0x40 | length >> 8), static_cast<std::uint8_t>(length)};
    frame.insert(frame.end(), hello.begin() + static_cast<std::ptrdiff_t>(from),
                 hello.begin() + static_cast<std::ptrdiff_t>(to));
    return frame;
  };
  // Offsets 150, 0 and 60 (overlapping the first piece by ten bytes), then a
  // piece beyond a gap.
  const Bytes frames = Concat({piece(150, 241), Hex("01"), piece(0, 70), piece(60, 150),
                               Hex("06 4190 02 aabb"), Bytes(900, 0)});
  const Bytes frame = Datagram(SealInitial(1, Hex("0102030405060708"), {}, 7, frames));
  const TreeDecode t = Tree(frame);
  EXPECT_TRUE(Has(t.text, "    CRYPTO data from offset 0 (241 bytes from 3 frames)\n"
                          "      Handshake Protocol: Client Hello\n"))
      << t.text;
  EXPECT_EQ(StoredBytesOf(t.tree, "CRYPTO data from offset 0"), std::string(hello.begin(), hello.end()));
  EXPECT_TRUE(Has(t.text, "            Server Name: example.com\n"));
  EXPECT_TRUE(Has(t.text, "    CRYPTO offset=400 length=2\n"));
  EXPECT_TRUE(Has(t.text, "    PING\n"));
  EXPECT_EQ(FieldValue(t.tree, frame, "quic.packet_number"), "7");
  EXPECT_EQ(Summary(frame).sink.names, std::vector<std::string>{"QUIC server name: 10.0.0.2 = example.com"});

  // Without the first piece nothing is decoded as TLS.
  const Bytes later = Datagram(SealInitial(1, Hex("0102030405060708"), {}, 8,
                                           Concat({piece(60, 150), piece(150, 241), Bytes(900, 0)})));
  const TreeDecode l = Tree(later);
  EXPECT_FALSE(Has(l.text, "Handshake Protocol")) << l.text;
  EXPECT_FALSE(Has(l.text, "CRYPTO data from offset 0"));
  EXPECT_TRUE(Summary(later).sink.names.empty());
}

// The frames of an opened payload, each decoded; every cut of them too.
struct FrameCase {
  const char* name;
  const char* hex;
  const char* expected;
};

const FrameCase kFrameCases[] = {
    {"ping and padding", "01 000000",
     "PING\n"
     "  Frame Type: PING (0x0000000000000001)\n"
     "PADDING Length: 3\n"
     "  Frame Type: PADDING (0x0000000000000000)\n"
     "  Padding Length: 3\n"},
    {"ack with a range", "02 4064 05 01 02 03 04",
     "ACK\n"
     "  Frame Type: ACK (0x0000000000000002)\n"
     "  Largest Acknowledged: 100\n"
     "  ACK Delay: 5\n"
     "  ACK Range Count: 1\n"
     "  First ACK Range: 2\n"
     "  Gap: 3\n"
     "  ACK Range: 4\n"},
    {"ack with ecn counts", "03 0a 00 00 01 07 08 09",
     "ACK_ECN\n"
     "  Frame Type: ACK_ECN (0x0000000000000003)\n"
     "  Largest Acknowledged: 10\n"
     "  ACK Delay: 0\n"
     "  ACK Range Count: 0\n"
     "  First ACK Range: 1\n"
     "  ECT(0) Count: 7\n"
     "  ECT(1) Count: 8\n"
     "  ECN-CE Count: 9\n"},
    {"crypto", "06 4400 03 aabbcc",
     "CRYPTO offset=1024 length=3\n"
     "  Frame Type: CRYPTO (0x0000000000000006)\n"
     "  Offset: 1024\n"
     "  Length: 3\n"
     "  Crypto Data\n"},
    {"new token", "07 02 abcd",
     "NEW_TOKEN\n"
     "  Frame Type: NEW_TOKEN (0x0000000000000007)\n"
     "  (Token) Length: 2\n"
     "  Token: abcd\n"},
    {"transport close", "1c 0a 06 03 626164",
     "CONNECTION_CLOSE (Transport) Error code: PROTOCOL_VIOLATION\n"
     "  Frame Type: CONNECTION_CLOSE (Transport) (0x000000000000001c)\n"
     "  Error code: PROTOCOL_VIOLATION (10)\n"
     "  Frame Type: 6\n"
     "  Reason phrase Length: 3\n"
     "  Reason phrase: bad\n"},
    {"tls alert close", "1c 4128 00 00",
     "CONNECTION_CLOSE (Transport) Error code: CRYPTO_ERROR (TLS alert 40)\n"
     "  Frame Type: CONNECTION_CLOSE (Transport) (0x000000000000001c)\n"
     "  Error code: CRYPTO_ERROR (TLS alert 40) (296)\n"
     "  Frame Type: 0\n"
     "  Reason phrase Length: 0\n"},
    {"application close", "1d 4100 00",
     "CONNECTION_CLOSE (Application) Error code: 256\n"
     "  Frame Type: CONNECTION_CLOSE (Application) (0x000000000000001d)\n"
     "  Application Error code: 256\n"
     "  Reason phrase Length: 0\n"},
    {"another type", "0f 04 00 01 ff",
     "STREAM\n"
     "  Frame Type: STREAM (0x000000000000000f)\n"
     "  Remaining Payload (4 bytes)\n"},
    {"unknown type", "4020 01",
     "Unknown\n"
     "  Frame Type: Unknown (0x0000000000000020)\n"
     "  Remaining Payload (1 byte)\n"},
};

std::string FramesText(const Bytes& plain) {
  DecodeTree tree;
  PacketDecoder d(plain, {kLinkTypeEthernet, nullptr, nullptr, EnabledDecoders::All()}, &tree, DecodeMode::Tree,
                  nullptr, nullptr);
  DecodeQuicFrames(d, kRootNode);
  std::string text = tree.ToText();
  // The ranges are the plaintext's; these cases look at the texts.
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    const std::size_t range = line.rfind(" [");
    if (range != std::string::npos && line.back() == ')') line.erase(range);
    out += line + "\n";
    at = end + 1;
  }
  return out;
}

TEST(QuicFrames, EachKindIsDecoded) {
  for (const FrameCase& c : kFrameCases) EXPECT_EQ(FramesText(Hex(c.hex)), c.expected) << c.name;
}

TEST(QuicFrames, EveryCutOfEveryFrameStaysWithinItsBytes) {
  for (const FrameCase& c : kFrameCases) {
    const Bytes whole = Hex(c.hex);
    for (std::size_t n = 0; n <= whole.size(); ++n) {
      // A copy of exactly n bytes, so that a read past them is a read past the allocation.
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      DecodeTree tree;
      PacketDecoder d(cut, {kLinkTypeEthernet, nullptr, nullptr, EnabledDecoders::All()}, &tree, DecodeMode::Tree,
                      nullptr, nullptr);
      DecodeQuicFrames(d, kRootNode);
      EXPECT_TRUE(RangesWithin(tree, static_cast<std::uint32_t>(n))) << c.name << " cut at " << n;
      PacketDecoder summary(cut, {kLinkTypeEthernet, nullptr, nullptr, EnabledDecoders::All()}, nullptr,
                            DecodeMode::Summary, nullptr, nullptr);
      DecodeQuicFrames(summary, kRootNode);
    }
  }
  // An ACK whose range count claims far more than follows stops at the end.
  EXPECT_TRUE(Has(FramesText(Hex("02 00 00 bfffffff 00 01 02")), "Frame cut short by the end of the payload"));
}

// Every cut of each sample datagram, through the whole decoder, in both modes.
TEST(Quic, EveryCutOfTheSamplePacketsStaysWithinTheCapturedBytes) {
  QuicInitialMemory memory;
  for (const Bytes& full : {Datagram(Hex(kV1ClientInitial)), ServerDatagram(Hex(kV1ServerInitial)),
                            Datagram(Hex("c5 00000000 04 01020304 04 05060708 00000001 6b3343cf")),
                            Datagram(Hex("f0 00000001 04 01020304 04 05060708 aabbccdd 00112233445566778899aabbccddeeff"))}) {
    for (std::size_t n = kQuic; n <= full.size(); ++n) {
      const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      const TreeDecode t = Tree(cut, &memory);
      ASSERT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << t.text;
      Summary(cut, &memory);
    }
  }
}

TEST(QuicInitialMemory, KeepsTheNewestEntriesWithinItsCapacity) {
  QuicInitialMemory memory(2);
  memory.Remember(Hex("01"), Hex("a1"));
  memory.Remember(Hex("02"), Hex("a2"));
  memory.Remember(Hex("03"), Hex("a3"));
  EXPECT_EQ(memory.Size(), 2u);
  EXPECT_FALSE(memory.OriginalDcidFor(Hex("01")));
  EXPECT_EQ(*memory.OriginalDcidFor(Hex("03")), "\xa3");
  memory.Remember({}, Hex("a4"));  // an empty id names no connection
  EXPECT_EQ(memory.Size(), 2u);
}

}  // namespace
}  // namespace qv
