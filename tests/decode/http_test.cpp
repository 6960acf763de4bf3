#include "decode/http.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <string_view>
#include <vector>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kTcpPayload = 54;  // after Ethernet II, IPv4 and TCP
constexpr std::uint32_t kUdpPayload = 42;  // after Ethernet II, IPv4 and UDP

Bytes TcpFrame(std::string_view payload, std::uint16_t src = 40000, std::uint16_t dst = 80) {
  return FrameBuilder()
      .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({192, 168, 100, 1}, {192, 168, 100, 2}, 6)
      .Tcp(src, dst, 1, 1, 0x18)
      .Text(payload)
      .Build();
}

Bytes SsdpFrame(std::string_view payload, std::uint16_t src = 50000, std::uint16_t dst = 1900) {
  return FrameBuilder()
      .Ethernet({0x01, 0x00, 0x5e, 0x7f, 0xff, 0xfa}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({192, 168, 100, 1}, {239, 255, 255, 250}, 17)
      .Udp(src, dst)
      .Text(payload)
      .Build();
}

TreeDecode TreeOf(std::span<const std::uint8_t> frame) { return DecodeTreeOf(frame, nullptr, EnabledDecoders::All()); }
SummaryDecode SummaryOf(std::span<const std::uint8_t> frame) { return DecodeSummaryOf(frame, EnabledDecoders::All()); }

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The lines from the first one that starts with `prefix` on.
std::string From(const std::string& text, std::string_view prefix) {
  if (text.starts_with(prefix)) return text;
  const std::size_t at = text.find("\n" + std::string(prefix));
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}

// The HTTP or SSDP layers of the frame's tree, as text.
std::string MessageText(const Bytes& frame) {
  const std::string text = TreeOf(frame).text;
  const std::string http = From(text, "HTTP (");
  return http.empty() ? From(text, "SSDP (") : http;
}

const Bytes kRequest = TcpFrame(
    "GET /index.html?q=1 HTTP/1.1\r\n"
    "Host: www.example.com\r\n"
    "User-Agent: curl/8.5.0\r\n"
    "Accept: */*\r\n"
    "\r\n");

const Bytes kResponse = TcpFrame(
    "HTTP/1.1 200 OK\r\n"
    "Server: nginx\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Length: 5\r\n"
    "Connection: close\r\n"
    "\r\n"
    "hello",
    80, 40000);

TEST(Http, RequestGoldenTree) {
  EXPECT_EQ(MessageText(kRequest),
       "HTTP (GET request) [54,146)\n"
       "  GET /index.html?q=1 HTTP/1.1\\r\\n [54,84)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: /index.html?q=1 [58,73)\n"
       "    Request Version: HTTP/1.1 [74,82)\n"
       "  Host: www.example.com\\r\\n [84,107)\n"
       "    Host: www.example.com [90,105)\n"
       "  User-Agent: curl/8.5.0\\r\\n [107,131)\n"
       "    User-Agent: curl/8.5.0 [119,129)\n"
       "  Accept: */*\\r\\n [131,144)\n"
       "    Accept: */* [139,142)\n"
       "  \\r\\n [144,146)\n");
  // Each header line is a request line with its line end, as in tshark;
  // the known ones carry their value as a field of its own.
  EXPECT_EQ(FieldsText(TreeOf(kRequest).tree, kRequest, {"http"}),
       "http=HTTP (GET request) [54,146)\n"
       "    http.request.method=GET [54,57)\n"
       "    http.request.uri=/index.html?q=1 [58,73)\n"
       "    http.request.version=HTTP/1.1 [74,82)\n"
       "  http.request.line=Host: www.example.com\r\n [84,107)\n"
       "    http.host=www.example.com [90,105)\n"
       "  http.request.line=User-Agent: curl/8.5.0\r\n [107,131)\n"
       "    http.user_agent=curl/8.5.0 [119,129)\n"
       "  http.request.line=Accept: */*\r\n [131,144)\n"
       "    http.accept=*/* [139,142)\n");
}

TEST(Http, ResponseGoldenFields) {
  // The status code is a number in digits: its line has no range of the
  // field's width, like the content length worked out from its header.
  EXPECT_EQ(FieldsText(TreeOf(kResponse).tree, kResponse, {"http"}),
       "http=HTTP (200 response) [54,157)\n"
       "    http.response.version=HTTP/1.1 [54,62)\n"
       "    http.response.code=200\n"
       "    http.response.code.desc=OK\n"
       "    http.response.phrase=OK [67,69)\n"
       "  http.response.line=Server: nginx\r\n [71,86)\n"
       "    http.server=nginx [79,84)\n"
       "  http.response.line=Content-Type: text/plain\r\n [86,112)\n"
       "    http.content_type=text/plain [100,110)\n"
       "  http.response.line=Content-Length: 5\r\n [112,131)\n"
       "    http.content_length_header=5 [128,129)\n"
       "      http.content_length=5\n"
       "  http.response.line=Connection: close\r\n [131,150)\n"
       "    http.connection=close [143,148)\n"
       "  http.file_data=hello [152,157)\n");
}

struct MessageCase {
  const char* name;
  Bytes frame;
  std::string expected;  // MessageText()
};

std::vector<MessageCase> OddMessages() {
  return {
      {"folded headers: the value is read as one line",
       TcpFrame("GET / HTTP/1.1\r\n"
                "User-Agent: one\r\n"
                "  two\r\n"
                "\tthree\r\n"
                "X-Folded: a\r\n"
                " b\r\n"
                "\r\n"),
       "HTTP (GET request) [54,121)\n"
       "  GET / HTTP/1.1\\r\\n [54,70)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: / [58,59)\n"
       "    Request Version: HTTP/1.1 [60,68)\n"
       "  User-Agent: one\\r\\n  two\\r\\n\\tthree\\r\\n [70,102)\n"
       "    User-Agent: one two three [82,100)\n"
       "  X-Folded: a\\r\\n b\\r\\n [102,119)\n"
       "  \\r\\n [119,121)\n"},
      {"no colon, no blank after the colon, an empty value, an empty name",
       TcpFrame("GET / HTTP/1.1\r\n"
                "Host:a.example\r\n"
                "Junk line\r\n"
                "Cookie:\r\n"
                ": nameless\r\n"
                "\r\n"),
       "HTTP (GET request) [54,120)\n"
       "  GET / HTTP/1.1\\r\\n [54,70)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: / [58,59)\n"
       "    Request Version: HTTP/1.1 [60,68)\n"
       "  Host:a.example\\r\\n [70,86)\n"
       "    Host: a.example [75,84)\n"
       "  Junk line\\r\\n [86,97)\n"
       "    [not a header field: the line has no colon]\n"
       "  Cookie:\\r\\n [97,106)\n"
       "    Cookie:  [104,104)\n"
       "  : nameless\\r\\n [106,118)\n"
       "    [not a header field: the name is empty]\n"
       "  \\r\\n [118,120)\n"},
      {"bare line feeds, names in any case",
       TcpFrame("HTTP/1.0 404 Not Found\n"
                "sErVeR: x\n"
                "CONTENT-LENGTH: 3\n"
                "\n"
                "abc",
                80, 40000),
       "HTTP (404 response) [54,109)\n"
       "  HTTP/1.0 404 Not Found\\n [54,77)\n"
       "    Response Version: HTTP/1.0 [54,62)\n"
       "    Status Code: 404\n"
       "    Status Code Description: Not Found\n"
       "    Response Phrase: Not Found [67,76)\n"
       "  sErVeR: x\\n [77,87)\n"
       "    Server: x [85,86)\n"
       "  CONTENT-LENGTH: 3\\n [87,105)\n"
       "    Content-Length: 3 [103,104)\n"
       "      Content length: 3\n"
       "  \\n [105,106)\n"
       "  File Data: 3 bytes [106,109)\n"},
      {"no headers at all", TcpFrame("GET / HTTP/1.0\r\n\r\n"),
       "HTTP (GET request) [54,72)\n"
       "  GET / HTTP/1.0\\r\\n [54,70)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: / [58,59)\n"
       "    Request Version: HTTP/1.0 [60,68)\n"
       "  \\r\\n [70,72)\n"},
      {"a request of HTTP/0.9 has no version", TcpFrame("GET /\r\n\r\n"),
       "HTTP (GET request) [54,63)\n"
       "  GET /\\r\\n [54,61)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: / [58,59)\n"
       "  \\r\\n [61,63)\n"},
      {"the header block cut inside a line",
       TcpFrame("GET /a HTTP/1.1\r\n"
                "Host: example.com\r\n"
                "User-Ag"),
       "HTTP (GET request) [54,97)\n"
       "  GET /a HTTP/1.1\\r\\n [54,71)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: /a [58,60)\n"
       "    Request Version: HTTP/1.1 [61,69)\n"
       "  Host: example.com\\r\\n [71,90)\n"
       "    Host: example.com [77,88)\n"
       "  User-Ag [90,97)\n"
       "  [header block continues in a later segment]\n"},
      {"the header block cut between lines",
       TcpFrame("HTTP/1.1 200 OK\r\n"
                "Server: x\r\n",
                80, 40000),
       "HTTP (200 response) [54,82)\n"
       "  HTTP/1.1 200 OK\\r\\n [54,71)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 200\n"
       "    Status Code Description: OK\n"
       "    Response Phrase: OK [67,69)\n"
       "  Server: x\\r\\n [71,82)\n"
       "    Server: x [79,80)\n"
       "  [header block continues in a later segment]\n"},
      {"the start line cut", TcpFrame("GET /very/long/pa"),
       "HTTP (GET request) [54,71)\n"
       "  GET /very/long/pa [54,71)\n"
       "    Request Method: GET [54,57)\n"
       "  [header block continues in a later segment]\n"},
      {"a body cut by the segment's end",
       TcpFrame("HTTP/1.1 200 OK\r\n"
                "Content-Length: 100\r\n"
                "\r\n"
                "01234",
                80, 40000),
       "HTTP (200 response) [54,99)\n"
       "  HTTP/1.1 200 OK\\r\\n [54,71)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 200\n"
       "    Status Code Description: OK\n"
       "    Response Phrase: OK [67,69)\n"
       "  Content-Length: 100\\r\\n [71,92)\n"
       "    Content-Length: 100 [87,90)\n"
       "      Content length: 100\n"
       "  \\r\\n [92,94)\n"
       "  File Data: 5 of 100 bytes [94,99)\n"},
      {"the body in a later segment",
       TcpFrame("HTTP/1.1 200 OK\r\n"
                "Content-Length: 23\r\n"
                "\r\n",
                80, 40000),
       "HTTP (200 response) [54,93)\n"
       "  HTTP/1.1 200 OK\\r\\n [54,71)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 200\n"
       "    Status Code Description: OK\n"
       "    Response Phrase: OK [67,69)\n"
       "  Content-Length: 23\\r\\n [71,91)\n"
       "    Content-Length: 23 [87,89)\n"
       "      Content length: 23\n"
       "  \\r\\n [91,93)\n"
       "  [body of 23 bytes continues in a later segment]\n"},
      {"chunked: the body runs to the end, its length not believed",
       TcpFrame("HTTP/1.1 200 OK\r\n"
                "Transfer-Encoding: gzip, chunked\r\n"
                "Content-Length: 2\r\n"
                "\r\n"
                "5\r\nhello\r\n0\r\n\r\n",
                80, 40000),
       "HTTP (200 response) [54,141)\n"
       "  HTTP/1.1 200 OK\\r\\n [54,71)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 200\n"
       "    Status Code Description: OK\n"
       "    Response Phrase: OK [67,69)\n"
       "  Transfer-Encoding: gzip, chunked\\r\\n [71,105)\n"
       "    Transfer-Encoding: gzip, chunked [90,103)\n"
       "  Content-Length: 2\\r\\n [105,124)\n"
       "    Content-Length: 2 [121,122)\n"
       "      Content length: 2\n"
       "  \\r\\n [124,126)\n"
       "  File Data: 15 bytes [126,141)\n"},
      {"a length that is no number",
       TcpFrame("HTTP/1.1 200 OK\r\n"
                "Content-Length: 12abc\r\n"
                "\r\n"
                "xy",
                80, 40000),
       "HTTP (200 response) [54,98)\n"
       "  HTTP/1.1 200 OK\\r\\n [54,71)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 200\n"
       "    Status Code Description: OK\n"
       "    Response Phrase: OK [67,69)\n"
       "  Content-Length: 12abc\\r\\n [71,94)\n"
       "    Content-Length: 12abc [87,92)\n"
       "      [not a length in decimal digits]\n"
       "  \\r\\n [94,96)\n"
       "  File Data: 2 bytes [96,98)\n"},
      {"a response that never has a body, and bytes after it",
       TcpFrame("HTTP/1.1 304 Not Modified\r\n"
                "Content-Length: 9\r\n"
                "\r\n"
                "\r\n",
                80, 40000),
       "HTTP (304 response) [54,104)\n"
       "  HTTP/1.1 304 Not Modified\\r\\n [54,81)\n"
       "    Response Version: HTTP/1.1 [54,62)\n"
       "    Status Code: 304\n"
       "    Status Code Description: Not Modified\n"
       "    Response Phrase: Not Modified [67,79)\n"
       "  Content-Length: 9\\r\\n [81,100)\n"
       "    Content-Length: 9 [97,98)\n"
       "      Content length: 9\n"
       "  \\r\\n [100,102)\n"
       "  Data (2 bytes) [102,104)\n"},
      {"two requests in one segment",
       TcpFrame("POST /a HTTP/1.1\r\n"
                "Content-Length: 2\r\n"
                "\r\n"
                "{}"
                "GET /b HTTP/1.1\r\n"
                "\r\n"),
       "HTTP (POST request) [54,95)\n"
       "  POST /a HTTP/1.1\\r\\n [54,72)\n"
       "    Request Method: POST [54,58)\n"
       "    Request URI: /a [59,61)\n"
       "    Request Version: HTTP/1.1 [62,70)\n"
       "  Content-Length: 2\\r\\n [72,91)\n"
       "    Content-Length: 2 [88,89)\n"
       "      Content length: 2\n"
       "  \\r\\n [91,93)\n"
       "  File Data: 2 bytes [93,95)\n"
       "HTTP (GET request) [95,114)\n"
       "  GET /b HTTP/1.1\\r\\n [95,112)\n"
       "    Request Method: GET [95,98)\n"
       "    Request URI: /b [99,101)\n"
       "    Request Version: HTTP/1.1 [102,110)\n"
       "  \\r\\n [112,114)\n"},
      {"control bytes and bytes beyond ASCII are shown escaped",
       TcpFrame("GET /\x01\xff HTTP/1.1\r\n"
                "X-Bin: a\\b\x7f\r\n"
                "\r\n"),
       "HTTP (GET request) [54,87)\n"
       "  GET /\\x01\\xff HTTP/1.1\\r\\n [54,72)\n"
       "    Request Method: GET [54,57)\n"
       "    Request URI: /\\x01\\xff [58,61)\n"
       "    Request Version: HTTP/1.1 [62,70)\n"
       "  X-Bin: a\\x5cb\\x7f\\r\\n [72,85)\n"
       "  \\r\\n [85,87)\n"},
  };
}

TEST(Http, OddHeaderBlocks) {
  for (const MessageCase& c : OddMessages()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MessageText(c.frame), c.expected);
  }
}

// --- SSDP ---

const Bytes kNotify = SsdpFrame(
    "NOTIFY * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "CACHE-CONTROL: max-age=1800\r\n"
    "LOCATION: http://192.168.100.1:49152/desc.xml\r\n"
    "NT: upnp:rootdevice\r\n"
    "NTS: ssdp:alive\r\n"
    "SERVER: Linux/5.10 UPnP/1.0 Example/1.0\r\n"
    "USN: uuid:0f0e0d0c-0b0a-0908-0706-050403020100::upnp:rootdevice\r\n"
    "\r\n");

const Bytes kSearch = SsdpFrame(
    "M-SEARCH * HTTP/1.1\r\n"
    "Host:239.255.255.250:1900\r\n"
    "ST:urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "Man:\"ssdp:discover\"\r\n"
    "MX:3\r\n"
    "\r\n");

const Bytes kSearchAnswer = SsdpFrame(
    "HTTP/1.1 200 OK\r\n"
    "CACHE-CONTROL: max-age=120\r\n"
    "ST: upnp:rootdevice\r\n"
    "USN: uuid:0f0e0d0c::upnp:rootdevice\r\n"
    "EXT:\r\n"
    "SERVER: Example/1.0 UPnP/1.1\r\n"
    "LOCATION: http://192.168.100.7:1900/gw.xml\r\n"
    "\r\n",
    1900, 50000);

TEST(Ssdp, NotifySearchAndAnswer) {
  // The same lines as HTTP's, under SSDP's own layer.
  EXPECT_EQ(MessageText(kSearch),
            "SSDP (M-SEARCH request) [42,175)\n"
            "  M-SEARCH * HTTP/1.1\\r\\n [42,63)\n"
            "    Request Method: M-SEARCH [42,50)\n"
            "    Request URI: * [51,52)\n"
            "    Request Version: HTTP/1.1 [53,61)\n"
            "  Host:239.255.255.250:1900\\r\\n [63,90)\n"
            "    Host: 239.255.255.250:1900 [68,88)\n"
            "  ST:urn:schemas-upnp-org:device:InternetGatewayDevice:1\\r\\n [90,146)\n"
            "  Man:\"ssdp:discover\"\\r\\n [146,167)\n"
            "  MX:3\\r\\n [167,173)\n"
            "  \\r\\n [173,175)\n");
  EXPECT_EQ(FieldsText(TreeOf(kNotify).tree, kNotify, {"ssdp"}),
            "ssdp=SSDP (NOTIFY request) [42,311)\n"
            "    http.request.method=NOTIFY [42,48)\n"
            "    http.request.uri=* [49,50)\n"
            "    http.request.version=HTTP/1.1 [51,59)\n"
            "  http.request.line=HOST: 239.255.255.250:1900\r\n [61,89)\n"
            "    http.host=239.255.255.250:1900 [67,87)\n"
            "  http.request.line=CACHE-CONTROL: max-age=1800\r\n [89,118)\n"
            "    http.cache_control=max-age=1800 [104,116)\n"
            "  http.request.line=LOCATION: http://192.168.100.1:49152/desc.xml\r\n [118,165)\n"
            "    http.location=http://192.168.100.1:49152/desc.xml [128,163)\n"
            "  http.request.line=NT: upnp:rootdevice\r\n [165,186)\n"
            "  http.request.line=NTS: ssdp:alive\r\n [186,203)\n"
            "  http.request.line=SERVER: Linux/5.10 UPnP/1.0 Example/1.0\r\n [203,244)\n"
            "    http.server=Linux/5.10 UPnP/1.0 Example/1.0 [211,242)\n"
            "  http.request.line=USN: uuid:0f0e0d0c-0b0a-0908-0706-050403020100::upnp:rootdevice\r\n [244,309)\n");
  const TreeDecode answer = TreeOf(kSearchAnswer);
  EXPECT_EQ(FieldValue(answer.tree, kSearchAnswer, "ssdp"), "SSDP (200 response)");
  EXPECT_EQ(FieldValue(answer.tree, kSearchAnswer, "http.response.code"), "200");
  EXPECT_EQ(FieldValue(answer.tree, kSearchAnswer, "http.location"), "http://192.168.100.7:1900/gw.xml");
  EXPECT_EQ(FieldValue(answer.tree, kSearchAnswer, "http.file_data"), "<absent>");
  for (const Bytes* frame : {&kNotify, &kSearch, &kSearchAnswer}) {
    const SummaryDecode s = SummaryOf(*frame);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 UDP SSDP ");
    EXPECT_EQ(s.sink.protocols.back(), "SSDP/4");
    // SSDP's Host is the multicast group; it names no server.
    EXPECT_TRUE(s.sink.names.empty());
  }
}

// --- the row, continuations and the heuristic ---

TEST(Http, ContinuationOnAnHttpPortIsNotTakenForAMessage) {
  // A body that goes on from an earlier segment, on either side's port.
  for (const Bytes& frame : {TcpFrame("some body bytes\r\nHost: not-a-header\r\n", 40000, 8080),
                             TcpFrame("GET-like but no space", 3128, 40000)}) {
    const std::size_t rest = frame.size() - kTcpPayload;
    EXPECT_EQ(MessageText(frame), "HTTP (continuation) [54," + std::to_string(frame.size()) +
                                      ")\n  Continuation data (" + std::to_string(rest) + " bytes) [54," +
                                      std::to_string(frame.size()) + ")\n");
    const SummaryDecode s = SummaryOf(frame);
    EXPECT_EQ(s.row.ProtocolsText(), "IPv4 TCP HTTP ");
    EXPECT_TRUE(s.sink.names.empty());
  }
}

TEST(Http, EachMessageOfASegmentStartsALayer) {
  const Bytes frame = TcpFrame(
      "GET /a HTTP/1.1\r\nHost: a.example\r\n\r\n"
      "GET /b HTTP/1.1\r\nHost: b.example\r\n\r\n");
  const TreeDecode t = TreeOf(frame);
  ASSERT_GE(t.layerStarts.size(), 2u);
  EXPECT_EQ(t.layerStarts[t.layerStarts.size() - 2], 54);
  EXPECT_EQ(t.layerStarts.back(), 90);
  const SummaryDecode s = SummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 TCP HTTP ");
  // The first request names the server; the row reads no further.
  EXPECT_EQ(s.sink.names, (std::vector<std::string>{"HTTP Host: 192.168.100.2 = a.example"}));
}

TEST(Http, SwitchedOffTheClassicDecodersShowTheSegments) {
  EnabledDecoders noHttp = EnabledDecoders::All();
  noHttp.Set(OptionalDecoder::Http, false);
  for (const Bytes* frame : {&kRequest, &kResponse, &kNotify}) {
    const TreeDecode off = DecodeTreeOf(*frame, nullptr, noHttp);
    EXPECT_FALSE(Contains(off.text, "HTTP (") || Contains(off.text, "SSDP (")) << off.text;
    EXPECT_EQ(off.text, DecodeTreeOf(*frame).text);
    EXPECT_FALSE(Contains(DecodeSummaryOf(*frame, noHttp).row.ProtocolsText(), "HTTP"));
  }
  EXPECT_EQ(SummaryOf(kRequest).row.ProtocolsText(), "IPv4 TCP HTTP ");
  EXPECT_EQ(SummaryOf(kResponse).row.ProtocolsText(), "IPv4 TCP HTTP ");
}

TEST(Http, OnOtherPortsOnlyAClearStartIsTaken) {
  struct Case {
    std::string_view payload;
    bool taken;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", true},
      {"POST /form HTTP/1.0\r\n", true},
      {"OPTIONS * HTTP/1.1\r\n", true},
      {"CONNECT proxy.example:443 HTTP/1.1\r\n", true},
      {"M-SEARCH * HTTP/1.1\r\n", true},
      {"NOTIFY * HTTP/1.1\r\n", true},
      {"HTTP/1.1 200 OK\r\n\r\n", true},
      {"HTTP/1.0 404 Not Found\r\n", true},
      {"HTTP/1.1 204\r\n", true},
      {"GET /a/request/line/cut/by/the/segment", true},  // its end not captured
      {"GET", false},
      {"GET\r\n", false},
      {"get / HTTP/1.1\r\n", false},        // methods are case-sensitive
      {"GETS / HTTP/1.1\r\n", false},
      {"GET / FTP/1.0\r\n", false},
      {"GET /\r\n", false},                 // no version
      {"GET  / HTTP/1.1\r\n", false},       // no target after the space
      {"GET /\x01\x02 HTTP/1.1\r\n", false},
      {"GET /caf\xc3\xa9 HTTP/1.1\r\n", false},
      {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", false},
      {"HTTP/2 200\r\n", false},
      {"HTTP/1.1 20\r\n", false},
      {"HTTP/1.1 2000\r\n", false},
      {"HTTP/1.2 200 OK\r\n", false},
      {"HTTP/1.1 OK\r\n", false},
      {"SSH-2.0-OpenSSH_9.6\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.payload));
    const Bytes frame = TcpFrame(c.payload, 40000, 5000);
    EXPECT_EQ(Contains(TreeOf(frame).text, "\nHTTP ("), c.taken);
    EXPECT_EQ(Contains(SummaryOf(frame).row.ProtocolsText(), "HTTP"), c.taken);
  }
}

TEST(Http, RandomPayloadsOnOtherPortsAreNotTaken) {
  std::uint32_t state = 20261210;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 16);
  };
  for (int round = 0; round < 4000; ++round) {
    // Half of them start with a method and its space, the rest of the
    // line being random bytes.
    std::string payload = round % 2 == 0 ? "" : std::string(round % 4 == 1 ? "GET " : "HTTP/1.1 ");
    const std::size_t length = 24 + next() % 200;
    for (std::size_t i = 0; i < length; ++i) payload += static_cast<char>(next());
    const Bytes frame = TcpFrame(payload, 40000, 5000);
    ASSERT_FALSE(Contains(SummaryOf(frame).row.ProtocolsText(), "HTTP")) << round;
  }
}

// --- the server name ---

TEST(Http, ARequestsHostNamesItsServer) {
  struct Case {
    std::string headers;  // after the request line
    std::vector<std::string> names;
  };
  const std::string learned = "HTTP Host: 192.168.100.2 = ";
  const Case cases[] = {
      {"Host: www.example.com\r\n", {learned + "www.example.com"}},
      {"Host: www.example.com:8080\r\n", {learned + "www.example.com"}},
      {"host:   Mixed.Example.COM.  \r\n", {learned + "Mixed.Example.COM"}},
      {"User-Agent: x\r\nHOST: late.example\r\n", {learned + "late.example"}},
      {"Host:\r\n folded.example\r\n", {learned + "folded.example"}},
      {"Host: 192.0.2.7\r\n", {}},
      {"Host: 192.0.2.7:80\r\n", {}},
      {"Host: [2001:db8::1]:8080\r\n", {}},
      {"Host: [::1]\r\n", {}},
      {"Host: 2001:db8::1\r\n", {}},
      {"Host: \r\n", {}},
      {"Host: bad host!\r\n", {}},
      {"X-Host: other.example\r\n", {}},
      {"\r\nHost: after-the-block.example\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headers);
    const Bytes frame = TcpFrame("GET / HTTP/1.1\r\n" + c.headers + "\r\n");
    EXPECT_EQ(SummaryOf(frame).sink.names, c.names);
  }
  // A Host line whose end was not captured may be cut inside the name; a
  // response's Host (there should be none) names nobody, nor does a
  // request cut inside its start line.
  EXPECT_TRUE(SummaryOf(TcpFrame("GET / HTTP/1.1\r\nHost: cut.exam")).sink.names.empty());
  EXPECT_TRUE(SummaryOf(TcpFrame("HTTP/1.1 200 OK\r\nHost: x.example\r\n\r\n", 80, 40000)).sink.names.empty());
  EXPECT_TRUE(SummaryOf(TcpFrame("GET /Host: x.example")).sink.names.empty());

  // Over IPv6 the name goes to the IPv6 destination.
  const Bytes v6 = FrameBuilder()
                       .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x86DD)
                       .Ipv6(6)
                       .Tcp(40000, 80, 1, 1, 0x18)
                       .Text("GET / HTTP/1.1\r\nHost: v6.example\r\n\r\n")
                       .Build();
  EXPECT_EQ(SummaryOf(v6).sink.names, (std::vector<std::string>{"HTTP Host: ::1 = v6.example"}));
}

// --- hostile and cut input ---

// Every frame of the tests above, cut after every byte: no line reaches past
// the cut, and a header block cut short says so.
TEST(Http, EveryCutOfEveryFrameStaysWithinTheCapture) {
  std::vector<Bytes> frames = {kRequest, kResponse, kNotify, kSearch, kSearchAnswer};
  for (const MessageCase& c : OddMessages()) frames.push_back(c.frame);
  for (const Bytes& frame : frames) {
    const bool tcp = frame[23] == 6;
    const std::uint32_t payload = tcp ? kTcpPayload : kUdpPayload;
    const std::string whole(frame.begin() + payload, frame.end());
    // Where the header block of the first message ends (past the frame
    // when it never does).
    const std::size_t crlf = whole.find("\r\n\r\n");
    const std::size_t lf = whole.find("\n\n");
    const std::size_t blockEnd = crlf != std::string::npos ? payload + crlf + 4
                                 : lf != std::string::npos ? payload + lf + 2
                                                           : frame.size() + 1;
    for (std::size_t n = 0; n <= frame.size(); ++n) {
      const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
      const TreeDecode t = TreeOf(cut);
      ASSERT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(n))) << "cut at " << n << "\n" << t.text;
      SummaryOf(cut);
      const bool message = Contains(t.text, " request) [") || Contains(t.text, " response) [");
      if (message && n < blockEnd) {
        EXPECT_TRUE(Contains(t.text, tcp ? "[header block continues in a later segment]"
                                         : "[header block cut short by the end of the captured data]"))
            << "cut at " << n << "\n" << t.text;
      }
    }
  }
}

// The same frames with bytes overwritten by the ones the reader looks for
// (blanks, colons, line ends, digits), so that lines fold, split, lose
// their colons and claim odd lengths.
TEST(Http, OverwrittenBytesStayWithinTheCapture) {
  std::uint32_t state = 7;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 16;
  };
  const char interesting[] = {' ', '\t', ':', '\r', '\n', '0', '9', 'H', '\0', '\xff', 'G'};
  std::vector<Bytes> frames = {kRequest, kResponse, kNotify, kSearchAnswer};
  for (const MessageCase& c : OddMessages()) frames.push_back(c.frame);
  for (int round = 0; round < 3000; ++round) {
    Bytes frame = frames[static_cast<std::size_t>(round) % frames.size()];
    const std::uint32_t payload = frame[23] == 6 ? kTcpPayload : kUdpPayload;
    for (int k = 0; k < 4; ++k) {
      const std::size_t at = payload + next() % (frame.size() - payload);
      frame[at] = static_cast<std::uint8_t>(interesting[next() % sizeof interesting]);
    }
    const TreeDecode t = TreeOf(frame);
    ASSERT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(frame.size()))) << round << "\n" << t.text;
    SummaryOf(frame);
  }
}

TEST(Http, VeryLongLinesAreShownCutButKeptWhole) {
  const std::string cookie(3000, 'c');
  const Bytes frame = TcpFrame("GET / HTTP/1.1\r\nCookie: " + cookie + "\r\n\r\n");
  const TreeDecode t = TreeOf(frame);
  EXPECT_EQ(FieldValue(t.tree, frame, "http.cookie"), cookie);
  EXPECT_EQ(FieldValue(t.tree, frame, "http.request.line"), "Cookie: " + cookie + "\r\n");
  EXPECT_TRUE(Contains(t.text, "  Cookie: " + std::string(1016, 'c') + "...\\r\\n [70,3080)\n")) << t.text;
}

// --- a real exchange ---

// curl fetching a file and a missing one from a small HTTP server on the
// loopback adapter; the values were compared with tshark's.
std::vector<Bytes> CurlFrames() {
  return SavefileFrames(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/http_curl.pcap");
}

TEST(Http, CurlAgainstAServerOnPort8000) {
  const std::vector<Bytes> frames = CurlFrames();
  ASSERT_EQ(frames.size(), 24u);
  struct Expect {
    std::size_t number;  // from 1, as tshark counts
    const char* title;
    std::vector<std::pair<const char*, const char*>> fields;
  };
  const Expect expected[] = {
      {4, "HTTP (GET request)",
       {{"http.request.method", "GET"},
        {"http.request.uri", "/hello.txt"},
        {"http.request.version", "HTTP/1.1"},
        {"http.host", "files.quorvanet.test:8000"},
        {"http.user_agent", "curl-fixture/1.0"},
        {"http.accept", "*/*"}}},
      // The server sends its header block and the body in two segments.
      {6, "HTTP (200 response)",
       {{"http.response.version", "HTTP/1.0"},
        {"http.response.code", "200"},
        {"http.response.phrase", "OK"},
        {"http.server", "SimpleHTTP/0.6 Python/3.11.7"},
        {"http.content_type", "text/plain"},
        {"http.content_length_header", "23"},
        {"http.content_length", "23"},
        {"http.file_data", "<absent>"}}},
      {8, "HTTP (continuation)", {}},
      {16, "HTTP (GET request)", {{"http.request.uri", "/missing"}}},
      {18, "HTTP (404 response)",
       {{"http.response.code", "404"},
        {"http.response.phrase", "File not found"},
        {"http.connection", "close"},
        {"http.content_type", "text/html;charset=utf-8"},
        {"http.content_length", "335"}}},
      {20, "HTTP (continuation)", {}},
  };
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    const Expect* e = nullptr;
    for (const Expect& x : expected) {
      if (x.number == i + 1) e = &x;
    }
    const SummaryDecode s = SummaryOf(frames[i]);
    EXPECT_EQ(s.row.ProtocolsText(), e != nullptr ? "IPv4 TCP HTTP " : "IPv4 TCP ");
    const bool request = e != nullptr && std::string_view(e->title).ends_with("request)");
    EXPECT_EQ(s.sink.names, request ? std::vector<std::string>{"HTTP Host: 127.0.0.1 = files.quorvanet.test"}
                                    : std::vector<std::string>{});
    if (e == nullptr) continue;
    const TreeDecode t = TreeOf(frames[i]);
    EXPECT_EQ(FieldValue(t.tree, frames[i], "http"), e->title);
    for (const auto& [abbrev, value] : e->fields) EXPECT_EQ(FieldValue(t.tree, frames[i], abbrev), value) << abbrev;
  }
}

TEST(Http, RealCapturesAgreeWithTshark) {
  // tshark -r print-flags.pcap -Y http -T fields -e http.host -e http.server ...
  const std::vector<Bytes> web = CorpusFrames("print-flags.pcap");
  const std::vector<Bytes> upnp = CorpusFrames("eapon1.pcap");
  if (web.size() < 6 || upnp.size() < 67) GTEST_SKIP() << "no corpus";
  const TreeDecode request = TreeOf(web[3]);
  EXPECT_EQ(FieldValue(request.tree, web[3], "http.host"), "localhost");
  EXPECT_EQ(FieldValue(request.tree, web[3], "http.user_agent"),
            "ELinks/0.10.4-7-debian (textmode; Linux 2.6.11-1-686-smp i686; 132x56-2)");
  EXPECT_EQ(FieldValue(request.tree, web[3], "http.connection"), "Keep-Alive");
  EXPECT_EQ(SummaryOf(web[3]).sink.names, (std::vector<std::string>{"HTTP Host: 127.0.0.1 = localhost"}));
  const TreeDecode response = TreeOf(web[5]);
  EXPECT_EQ(FieldValue(response.tree, web[5], "http.server"), "Apache/1.3.33");
  EXPECT_EQ(FieldValue(response.tree, web[5], "http.content_type"), "text/html; charset=iso-8859-1");
  EXPECT_EQ(FieldValue(response.tree, web[5], "http.content_length"), "5258");
  EXPECT_TRUE(Contains(response.text, "  File Data: 5258 bytes [367,5625)\n")) << response.text;
  for (const std::size_t number : {43, 51, 67}) {
    const Bytes& frame = upnp[number - 1];
    EXPECT_EQ(SummaryOf(frame).row.ProtocolsText(), "IPv4 UDP SSDP ") << number;
    const TreeDecode t = TreeOf(frame);
    EXPECT_EQ(FieldValue(t.tree, frame, "http.request.method"), "M-SEARCH") << number;
    EXPECT_EQ(FieldValue(t.tree, frame, "http.host"), "239.255.255.250:1900") << number;
  }
}

}  // namespace
}  // namespace qv
