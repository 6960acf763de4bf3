#include "decode/http.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "decode/app_field_lines.h"
#include "decode/http_message.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using http::Header;
using http::Span;
using http::StartKind;
using http::StartLine;

// --- the fields ---

constexpr FieldInfo kHttpProto{"http", "Hypertext Transfer Protocol", FieldType::Protocol};
constexpr FieldInfo kSsdpProto{"ssdp", "Simple Service Discovery Protocol", FieldType::Protocol};
constexpr FieldInfo kMethod{"http.request.method", "Request Method", FieldType::String};
constexpr FieldInfo kUri{"http.request.uri", "Request URI", FieldType::String};
constexpr FieldInfo kRequestVersion{"http.request.version", "Request Version", FieldType::String};
constexpr FieldInfo kResponseVersion{"http.response.version", "Response Version", FieldType::String};
constexpr FieldInfo kCode{"http.response.code", "Status Code", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCodeText{"http.response.code.desc", "Status Code Description", FieldType::String};
constexpr FieldInfo kPhrase{"http.response.phrase", "Response Phrase", FieldType::String};
// Every header line of a request or a response, known or not.
constexpr FieldInfo kRequestLine{"http.request.line", "Request line", FieldType::String};
constexpr FieldInfo kResponseLine{"http.response.line", "Response line", FieldType::String};
constexpr FieldInfo kContentLengthHeader{"http.content_length_header", "Content-Length", FieldType::String};
constexpr FieldInfo kContentLength{"http.content_length", "Content length", FieldType::UInt64, FieldBase::Dec};
constexpr FieldInfo kFileData{"http.file_data", "File Data", FieldType::String};

// Header fields shown as fields of their own.
constexpr FieldInfo kHost{"http.host", "Host", FieldType::String};
constexpr FieldInfo kUserAgent{"http.user_agent", "User-Agent", FieldType::String};
constexpr FieldInfo kContentType{"http.content_type", "Content-Type", FieldType::String};
constexpr FieldInfo kContentEncoding{"http.content_encoding", "Content-Encoding", FieldType::String};
constexpr FieldInfo kTransferEncoding{"http.transfer_encoding", "Transfer-Encoding", FieldType::String};
constexpr FieldInfo kServer{"http.server", "Server", FieldType::String};
constexpr FieldInfo kConnection{"http.connection", "Connection", FieldType::String};
constexpr FieldInfo kCookie{"http.cookie", "Cookie", FieldType::String};
constexpr FieldInfo kSetCookie{"http.set_cookie", "Set-Cookie", FieldType::String};
constexpr FieldInfo kLocation{"http.location", "Location", FieldType::String};
constexpr FieldInfo kAccept{"http.accept", "Accept", FieldType::String};
constexpr FieldInfo kAcceptLanguage{"http.accept_language", "Accept-Language", FieldType::String};
constexpr FieldInfo kAcceptEncoding{"http.accept_encoding", "Accept Encoding", FieldType::String};
constexpr FieldInfo kReferer{"http.referer", "Referer", FieldType::String};
constexpr FieldInfo kDate{"http.date", "Date", FieldType::String};
constexpr FieldInfo kCacheControl{"http.cache_control", "Cache-Control", FieldType::String};
constexpr FieldInfo kLastModified{"http.last_modified", "Last-Modified", FieldType::String};
constexpr FieldInfo kAuthorization{"http.authorization", "Authorization", FieldType::String};
constexpr FieldInfo kWwwAuthenticate{"http.www_authenticate", "WWW-Authenticate", FieldType::String};
constexpr FieldInfo kProxyAuthorization{"http.proxy_authorization", "Proxy-Authorization", FieldType::String};
constexpr FieldInfo kProxyAuthenticate{"http.proxy_authenticate", "Proxy-Authenticate", FieldType::String};
constexpr FieldInfo kUpgrade{"http.upgrade", "Upgrade", FieldType::String};
constexpr FieldInfo kForwardedFor{"http.x_forwarded_for", "X-Forwarded-For", FieldType::String};

constexpr const FieldInfo* kFields[] = {
    &kHttpProto, &kSsdpProto, &kMethod, &kUri, &kRequestVersion, &kResponseVersion, &kCode, &kCodeText, &kPhrase,
    &kRequestLine, &kResponseLine, &kContentLengthHeader, &kContentLength, &kFileData,
    &kHost, &kUserAgent, &kContentType, &kContentEncoding, &kTransferEncoding, &kServer, &kConnection, &kCookie,
    &kSetCookie, &kLocation, &kAccept, &kAcceptLanguage, &kAcceptEncoding, &kReferer, &kDate, &kCacheControl,
    &kLastModified, &kAuthorization, &kWwwAuthenticate, &kProxyAuthorization, &kProxyAuthenticate, &kUpgrade,
    &kForwardedFor,
};
const FieldRegistration kRegistration(kFields);

struct NamedHeader {
  std::string_view lowerName;
  const FieldInfo* field;
};

constexpr NamedHeader kNamedHeaders[] = {
    {"host", &kHost},
    {"user-agent", &kUserAgent},
    {"content-type", &kContentType},
    {"content-length", &kContentLengthHeader},
    {"content-encoding", &kContentEncoding},
    {"transfer-encoding", &kTransferEncoding},
    {"server", &kServer},
    {"connection", &kConnection},
    {"cookie", &kCookie},
    {"set-cookie", &kSetCookie},
    {"location", &kLocation},
    {"accept", &kAccept},
    {"accept-language", &kAcceptLanguage},
    {"accept-encoding", &kAcceptEncoding},
    {"referer", &kReferer},
    {"date", &kDate},
    {"cache-control", &kCacheControl},
    {"last-modified", &kLastModified},
    {"authorization", &kAuthorization},
    {"www-authenticate", &kWwwAuthenticate},
    {"proxy-authorization", &kProxyAuthorization},
    {"proxy-authenticate", &kProxyAuthenticate},
    {"upgrade", &kUpgrade},
    {"x-forwarded-for", &kForwardedFor},
};

const FieldInfo* NamedField(const std::uint8_t* bytes, Span name) {
  for (const NamedHeader& h : kNamedHeaders) {
    if (http::NameIs(bytes, name, h.lowerName)) return h.field;
  }
  return nullptr;
}

// The two carriers of the message format.
struct Flavour {
  Protocol protocol;
  const FieldInfo* proto;
  const char* name;
  bool stream;  // over TCP: a message may go on in the next segment
};

constexpr Flavour kHttp{Protocol::Http, &kHttpProto, "HTTP", true};
constexpr Flavour kSsdp{Protocol::Ssdp, &kSsdpProto, "SSDP", false};

// The longest text of the bytes that one line shows; the line's value keeps
// them all.
constexpr std::uint32_t kShownBytes = 1024;

// --- texts ---

// Printable ASCII as it is, the line ends and tabs as \r, \n and \t,
// anything else as \xNN; cut with "..." after kShownBytes.
std::string Shown(std::string_view bytes) {
  std::string out;
  const std::size_t count = std::min<std::size_t>(bytes.size(), kShownBytes);
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto c = static_cast<std::uint8_t>(bytes[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02x", c);
    }
  }
  if (bytes.size() > count) out += "...";
  return out;
}

std::string_view BytesOf(const PacketDecoder& d, Span s) {
  return {reinterpret_cast<const char*>(d.frame + s.start), s.Size()};
}

std::string Shown(const PacketDecoder& d, Span s) { return Shown(BytesOf(d, s)); }

// A line's text with its line end shown after it, however long the text:
// "Host: example.com\r\n".
std::string ShownLine(const PacketDecoder& d, Span all) {
  std::uint32_t text = all.end;
  if (text > all.start && d.frame[text - 1] == '\n') {
    --text;
    if (text > all.start && d.frame[text - 1] == '\r') --text;
  }
  return Shown(d, Span{all.start, text}) + Shown(d, Span{text, all.end});
}

std::string ByteCount(std::uint32_t count) { return Format("%u byte%s", count, count == 1 ? "" : "s"); }

// --- the message ---

// What the header block says about the body.
struct BodyHints {
  std::optional<std::uint64_t> contentLength;
  bool chunked = false;
};

void AddStartLine(PacketDecoder& d, NodeId layer, const StartLine& s) {
  const NodeId line = d.AddLine(layer, ShownLine(d, Span{s.line.start, s.line.next}), s.line.start, s.line.next);
  const auto add = [&](const FieldInfo& f, const std::optional<Span>& part) {
    if (part) d.AddFieldLine(line, f, std::string(f.name) + ": " + Shown(d, *part), part->start, part->end);
  };
  if (s.kind == StartKind::Request) {
    add(kMethod, s.first);
    add(kUri, s.second);
    add(kRequestVersion, s.third);
    return;
  }
  add(kResponseVersion, s.first);
  // A number written in digits: the line has no bytes of the field's width.
  const NodeId code = d.AddLine(line, Format("Status Code: %u", s.statusCode));
  d.SetField(code, kCode, s.statusCode);
  if (const char* text = http::StatusText(s.statusCode)) {
    d.AddStoredField(line, kCodeText, std::string("Status Code Description: ") + text, text);
  }
  if (s.third && !s.third->Empty()) add(kPhrase, s.third);
}

// The field of a known header below its line, with what it tells about the body.
void AddNamedHeader(PacketDecoder& d, NodeId line, const Header& h, BodyHints& hints) {
  const FieldInfo* f = NamedField(d.frame, h.name);
  if (f == nullptr) return;
  const std::string label = std::string(f->name) + ": ";
  NodeId field = kNoNode;
  if (h.folded) {
    // The value as one line, the way a receiver reads it.
    std::string value = http::Unfolded(d.frame, h.value);
    field = appfield::AddComputedField(d, line, *f, label + Shown(value), h.value.start, h.value.end, value);
  } else {
    field = d.AddFieldLine(line, *f, label + Shown(d, h.value), h.value.start, h.value.end);
  }
  if (f == &kContentLengthHeader) {
    hints.contentLength = http::ContentLength(d.frame, h.value);
    if (hints.contentLength) {
      const NodeId length = d.AddLine(field, Format("Content length: %llu",
                                                    static_cast<unsigned long long>(*hints.contentLength)));
      d.SetField(length, kContentLength, *hints.contentLength);
    } else {
      d.AddLine(field, "[not a length in decimal digits]");
    }
  } else if (f == &kTransferEncoding) {
    hints.chunked = hints.chunked || http::IsChunked(d.frame, h.value);
  }
}

// The responses that never carry a body, whatever their header says.
bool HasNoBody(const StartLine& s) {
  return s.kind == StartKind::Response &&
         ((s.statusCode >= 100 && s.statusCode < 200) || s.statusCode == 204 || s.statusCode == 304);
}

// The length of the body when the Content-Length gives it.
std::optional<std::uint64_t> DeclaredLength(const StartLine& s, const BodyHints& hints) {
  if (HasNoBody(s) || hints.chunked) return std::nullopt;
  return hints.contentLength;
}

// Where the body ends: the Content-Length says so, or the message runs to
// the end of what was captured (a chunked body, a response that ends with
// the connection). A request without a length has no body.
std::uint32_t BodyEnd(const StartLine& s, const BodyHints& hints, std::uint32_t body, std::uint32_t end) {
  if (HasNoBody(s)) return body;
  if (const std::optional<std::uint64_t> length = DeclaredLength(s, hints)) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{body} + *length, end));
  }
  if (hints.chunked) return end;
  return s.kind == StartKind::Request ? body : end;
}

std::string LayerTitle(const PacketDecoder& d, const Flavour& flavour, const StartLine& s) {
  if (s.kind == StartKind::Request) return Format("%s (%s request)", flavour.name, Shown(d, *s.first).c_str());
  return Format("%s (%u response)", flavour.name, s.statusCode);
}

struct Described {
  NodeId layer = kNoNode;
  std::uint32_t end = 0;  // where the next message may start
};

// One message from `at`, whose start StartOf() recognised.
Described DescribeMessage(PacketDecoder& d, const Flavour& flavour, std::uint32_t at, std::uint32_t end) {
  const StartLine s = http::ReadStartLine(d.frame, at, end);
  Described out;
  out.layer = d.AddLayerLine(*flavour.proto, LayerTitle(d, flavour, s), at, end);
  out.end = end;
  AddStartLine(d, out.layer, s);
  const char* cut = flavour.stream ? "[header block continues in a later segment]"
                                   : "[header block cut short by the end of the captured data]";
  if (!s.line.complete) {
    d.AddLine(out.layer, cut);
    return out;
  }

  const FieldInfo& lineField = s.kind == StartKind::Request ? kRequestLine : kResponseLine;
  BodyHints hints;
  std::uint32_t p = s.line.next;
  while (true) {
    if (p >= end) {
      d.AddLine(out.layer, cut);
      return out;
    }
    const http::Line line = http::ReadLine(d.frame, p, end);
    if (line.complete && line.contentEnd == line.start) {
      // The empty line that ends the header block.
      d.AddLine(out.layer, ShownLine(d, Span{p, line.next}), p, line.next);
      p = line.next;
      break;
    }
    const Header h = http::ReadHeader(d.frame, p, end);
    const NodeId node = d.AddFieldLine(out.layer, lineField, ShownLine(d, h.all), h.all.start, h.all.end);
    if (!h.complete) {
      d.AddLine(out.layer, cut);
      return out;
    }
    if (!h.hasColon) {
      d.AddLine(node, "[not a header field: the line has no colon]");
    } else if (h.name.Empty()) {
      d.AddLine(node, "[not a header field: the name is empty]");
    } else {
      AddNamedHeader(d, node, h, hints);
    }
    p = h.all.end;
  }

  const std::uint32_t bodyEnd = BodyEnd(s, hints, p, end);
  const std::optional<std::uint64_t> declared = DeclaredLength(s, hints);
  const std::uint32_t shown = bodyEnd - p;
  if (shown > 0) {
    std::string text = "File Data: ";
    if (declared && *declared > shown) {
      text += Format("%u of %llu bytes", shown, static_cast<unsigned long long>(*declared));
    } else {
      text += ByteCount(shown);
    }
    d.AddFieldLine(out.layer, kFileData, std::move(text), p, bodyEnd);
  } else if (declared && *declared > 0) {
    d.AddLine(out.layer, Format(flavour.stream ? "[body of %llu bytes continues in a later segment]"
                                               : "[body of %llu bytes not captured]",
                                static_cast<unsigned long long>(*declared)));
  }
  d.SetRange(out.layer, at, bodyEnd);
  out.end = bodyEnd;
  return out;
}

// Every message of the payload from `offset` on: a segment may hold more
// than one, and one that does not start like a message goes on from an
// earlier segment.
void DescribeMessages(PacketDecoder& d, const Flavour& flavour) {
  const std::uint32_t end = d.capturedLength;
  const std::uint32_t first = d.offset;
  std::uint32_t p = first;
  Described last;
  std::uint32_t lastStart = first;
  while (p < end) {
    if (http::StartOf(d.frame, p, end) == StartKind::None) break;
    if (p != first) d.AddLayerStart(p);
    lastStart = p;
    last = DescribeMessage(d, flavour, p, end);
    p = last.end;
  }
  if (p >= end) return;
  const std::uint32_t rest = end - p;
  if (last.layer == kNoNode) {
    const char* title = flavour.stream ? "continuation" : "not a message";
    const NodeId layer = d.AddLayerLine(*flavour.proto, Format("%s (%s)", flavour.name, title), p, end);
    d.AddLine(layer, appfield::SizedLabel(flavour.stream ? "Continuation data" : "Data", rest), p, end);
    return;
  }
  // Bytes after a message of known length that start none.
  d.AddLine(last.layer, appfield::SizedLabel("Data", rest), p, end);
  d.SetRange(last.layer, lastStart, end);
}

void DecodeMessageFormat(PacketDecoder& d, const Flavour& flavour) {
  d.BeginLayer(flavour.protocol);
  if (d.IsTree()) {
    DescribeMessages(d, flavour);
    return;
  }
  // The row names the protocol alone; the one thing read is the server
  // name a request gives in its Host field.
  if (!flavour.stream || !d.IsSummary()) return;
  const std::uint32_t end = d.capturedLength;
  if (http::StartOf(d.frame, d.offset, end) != StartKind::Request) return;
  const http::Line requestLine = http::ReadLine(d.frame, d.offset, end);
  if (!requestLine.complete) return;
  const std::string host = http::FindHostName(d.frame, requestLine.next, end);
  if (!host.empty()) d.LearnServerName(NameOrigin::HttpHost, host);
}

}  // namespace

void DecodeHttp(PacketDecoder& d) { DecodeMessageFormat(d, kHttp); }

void DecodeSsdp(PacketDecoder& d) { DecodeMessageFormat(d, kSsdp); }

bool LooksLikeHttp(const PacketDecoder& d, std::uint32_t at) {
  return http::LooksLikeMessage(d.frame, at, d.capturedLength);
}

}  // namespace qv
