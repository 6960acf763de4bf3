#include "decode/http_message.h"

#include <cstring>

namespace qv::http {

namespace {

// The methods a request may start with: HTTP's, and SSDP's announcements
// and searches.
constexpr std::string_view kMethods[] = {"GET",     "POST",    "HEAD",  "PUT",   "DELETE", "OPTIONS",
                                         "CONNECT", "PATCH",   "TRACE", "NOTIFY", "M-SEARCH"};

// "HTTP/1.1 200"
constexpr std::uint32_t kStatusStart = 12;
// How far the test for a request line on an unknown port looks for its end.
constexpr std::uint32_t kRequestLineScan = 8192;

bool IsBlank(std::uint8_t c) { return c == ' ' || c == '\t'; }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
std::uint8_t Lower(std::uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c + 32) : c; }

bool Matches(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end, std::string_view text) {
  if (static_cast<std::uint64_t>(at) + text.size() > end) return false;
  return std::memcmp(bytes + at, text.data(), text.size()) == 0;
}

// The length of the known method at `at` when a space follows it; 0 when
// there is none.
std::uint32_t MethodLength(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  for (const std::string_view method : kMethods) {
    const auto length = static_cast<std::uint32_t>(method.size());
    if (Matches(bytes, at, end, method) && at + length < end && bytes[at + length] == ' ') return length;
  }
  return 0;
}

// The last space in [from, to), or `to` when there is none.
std::uint32_t LastSpace(const std::uint8_t* bytes, std::uint32_t from, std::uint32_t to) {
  for (std::uint32_t p = to; p > from; --p) {
    if (bytes[p - 1] == ' ') return p - 1;
  }
  return to;
}

// "HTTP/" digit "." digit over [start, end).
bool IsVersion(const std::uint8_t* bytes, std::uint32_t start, std::uint32_t end) {
  return end - start == 8 && Matches(bytes, start, end, "HTTP/") && IsDigit(bytes[start + 5]) &&
         bytes[start + 6] == '.' && IsDigit(bytes[start + 7]);
}

std::string Trimmed(std::string text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(static_cast<std::uint8_t>(text[first]))) ++first;
  std::size_t last = text.size();
  while (last > first && IsBlank(static_cast<std::uint8_t>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

}  // namespace

Line ReadLine(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  Line line;
  line.start = at;
  if (at >= end) {
    line.contentEnd = line.next = at;
    return line;
  }
  const void* lf = std::memchr(bytes + at, '\n', end - at);
  if (lf == nullptr) {
    line.contentEnd = line.next = end;
    return line;
  }
  const auto at_lf = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(lf) - bytes);
  line.contentEnd = at_lf > at && bytes[at_lf - 1] == '\r' ? at_lf - 1 : at_lf;
  line.next = at_lf + 1;
  line.complete = true;
  return line;
}

StartKind StartOf(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  if (at >= end) return StartKind::None;
  if (bytes[at] == 'H' && Matches(bytes, at, end, "HTTP/1.")) {
    if (static_cast<std::uint64_t>(at) + kStatusStart > end) return StartKind::None;
    const std::uint8_t minor = bytes[at + 7];
    if ((minor != '0' && minor != '1') || bytes[at + 8] != ' ') return StartKind::None;
    for (std::uint32_t i = 9; i < kStatusStart; ++i) {
      if (!IsDigit(bytes[at + i])) return StartKind::None;
    }
    // The code ends there: a phrase follows after a space, or the line ends.
    if (at + kStatusStart < end) {
      const std::uint8_t after = bytes[at + kStatusStart];
      if (after != ' ' && after != '\r' && after != '\n') return StartKind::None;
    }
    return StartKind::Response;
  }
  // Most payloads on other ports fail at their first byte.
  switch (bytes[at]) {
    case 'G':
    case 'P':
    case 'H':
    case 'D':
    case 'O':
    case 'C':
    case 'T':
    case 'N':
    case 'M': return MethodLength(bytes, at, end) != 0 ? StartKind::Request : StartKind::None;
    default: return StartKind::None;
  }
}

bool LooksLikeMessage(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  const StartKind kind = StartOf(bytes, at, end);
  if (kind != StartKind::Request) return kind == StartKind::Response;
  const std::uint32_t from = at + MethodLength(bytes, at, end) + 1;
  // The target follows at once: "/path", "*", "http://host/..." or "host:port".
  if (from < end && (bytes[from] <= ' ' || bytes[from] >= 0x7F)) return false;
  const std::uint32_t limit = end - from > kRequestLineScan ? from + kRequestLineScan : end;
  for (std::uint32_t p = from; p < limit; ++p) {
    const std::uint8_t c = bytes[p];
    if (c == '\r' || c == '\n') {
      // "METHOD URI HTTP/1.1" (a request without a version is too old to
      // meet on a port that does not say HTTP).
      const std::uint32_t space = LastSpace(bytes, from, p);
      return space != p && space > from && IsVersion(bytes, space + 1, p);
    }
    // Octets beyond ASCII are percent-encoded in a request target.
    if ((c < 0x20 && c != '\t') || c >= 0x7F) return false;
  }
  // Printable up to where the capture ends (or as far as it is worth
  // looking): a request line cut short.
  return true;
}

StartLine ReadStartLine(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  StartLine s;
  s.kind = StartOf(bytes, at, end);
  s.line = ReadLine(bytes, at, end);
  const std::uint32_t contentEnd = s.line.contentEnd;
  if (s.kind == StartKind::Request) {
    const std::uint32_t method = MethodLength(bytes, at, end);
    s.first = Span{at, at + method};
    const std::uint32_t uri = at + method + 1;
    if (uri > contentEnd) return s;
    // The version follows the last space, so a URI with a space in it
    // stays whole.
    const std::uint32_t space = LastSpace(bytes, uri, contentEnd);
    if (space != contentEnd && space >= uri) {
      s.second = Span{uri, space};
      if (s.line.complete) s.third = Span{space + 1, contentEnd};
    } else if (s.line.complete) {
      s.second = Span{uri, contentEnd};  // a request of HTTP/0.9: no version
    }
  } else if (s.kind == StartKind::Response) {
    s.first = Span{at, at + 8};
    s.second = Span{at + 9, at + kStatusStart};
    s.statusCode = static_cast<std::uint16_t>((bytes[at + 9] - '0') * 100 + (bytes[at + 10] - '0') * 10 +
                                              (bytes[at + 11] - '0'));
    if (s.line.complete && at + kStatusStart < contentEnd) s.third = Span{at + kStatusStart + 1, contentEnd};
  }
  return s;
}

Header ReadHeader(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  Header h;
  Line line = ReadLine(bytes, at, end);
  const void* colon = std::memchr(bytes + at, ':', line.contentEnd - at);
  std::uint32_t valueStart = line.contentEnd;
  if (colon != nullptr) {
    const auto c = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(colon) - bytes);
    h.hasColon = true;
    h.name = Span{at, c};
    valueStart = c + 1;
    while (valueStart < line.contentEnd && IsBlank(bytes[valueStart])) ++valueStart;
  }
  // A line that starts with a blank continues this one.
  while (line.complete && line.next < end && IsBlank(bytes[line.next])) {
    line = ReadLine(bytes, line.next, end);
    h.folded = true;
  }
  std::uint32_t valueEnd = line.contentEnd;
  while (valueEnd > valueStart && IsBlank(bytes[valueEnd - 1])) --valueEnd;
  if (h.hasColon) h.value = Span{valueStart, valueEnd > valueStart ? valueEnd : valueStart};
  h.all = Span{at, line.next};
  h.complete = line.complete;
  return h;
}

bool NameIs(const std::uint8_t* bytes, Span span, std::string_view lowerName) {
  if (span.Size() != lowerName.size()) return false;
  for (std::uint32_t i = 0; i < span.Size(); ++i) {
    if (Lower(bytes[span.start + i]) != static_cast<std::uint8_t>(lowerName[i])) return false;
  }
  return true;
}

std::optional<std::uint64_t> ContentLength(const std::uint8_t* bytes, Span value) {
  if (value.Empty()) return std::nullopt;
  std::uint64_t n = 0;
  for (std::uint32_t p = value.start; p < value.end; ++p) {
    if (!IsDigit(bytes[p])) return std::nullopt;
    const unsigned digit = bytes[p] - '0';
    if (n > (UINT64_MAX - digit) / 10) return std::nullopt;
    n = n * 10 + digit;
  }
  return n;
}

bool IsChunked(const std::uint8_t* bytes, Span value) {
  std::uint32_t p = value.start;
  while (p < value.end) {
    while (p < value.end && (IsBlank(bytes[p]) || bytes[p] == ',')) ++p;
    std::uint32_t q = p;
    while (q < value.end && bytes[q] != ',' && bytes[q] != ';' && !IsBlank(bytes[q])) ++q;
    if (NameIs(bytes, Span{p, q}, "chunked")) return true;
    // Skip the coding's parameters, if any, up to the next one.
    while (q < value.end && bytes[q] != ',') ++q;
    p = q;
  }
  return false;
}

std::string Unfolded(const std::uint8_t* bytes, Span value) {
  std::string out;
  out.reserve(value.Size());
  std::uint32_t p = value.start;
  while (p < value.end) {
    const std::uint8_t c = bytes[p];
    if (c == '\r' || c == '\n') {
      while (p < value.end && (bytes[p] == '\r' || bytes[p] == '\n' || IsBlank(bytes[p]))) ++p;
      out += ' ';
      continue;
    }
    out += static_cast<char>(c);
    ++p;
  }
  return Trimmed(std::move(out));
}

std::string HostName(const std::uint8_t* bytes, Span value) {
  std::string host = Unfolded(bytes, value);
  // "[2001:db8::1]:8080" names an address, not a server.
  if (host.empty() || host.front() == '[') return {};
  const std::size_t colon = host.find(':');
  if (colon != std::string::npos) {
    // More than one colon: an IPv6 address without its brackets.
    if (host.find(':', colon + 1) != std::string::npos) return {};
    host.resize(colon);
  }
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.empty() || host.size() > 253) return {};
  for (const char c : host) {
    if (!IsHostChar(c)) return {};
  }
  // A name's last label is never all digits; an IPv4 address's is.
  const std::size_t dot = host.rfind('.');
  const std::string_view last = std::string_view(host).substr(dot == std::string::npos ? 0 : dot + 1);
  bool digits = !last.empty();
  for (const char c : last) digits = digits && IsDigit(static_cast<std::uint8_t>(c));
  if (digits || last.empty()) return {};
  return host;
}

std::string FindHostName(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end) {
  std::uint32_t p = at;
  while (p < end) {
    const Line line = ReadLine(bytes, p, end);
    if (!line.complete || line.contentEnd == line.start) return {};
    if (line.contentEnd - line.start >= 5 && NameIs(bytes, Span{p, p + 5}, "host:")) {
      return HostName(bytes, ReadHeader(bytes, p, end).value);
    }
    p = line.next;
  }
  return {};
}

const char* StatusText(std::uint16_t code) {
  switch (code) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 102: return "Processing";
    case 103: return "Early Hints";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 207: return "Multi-Status";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Time-out";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Request Entity Too Large";
    case 414: return "Request-URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 418: return "I'm a teapot";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Entity";
    case 426: return "Upgrade Required";
    case 428: return "Precondition Required";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 451: return "Unavailable For Legal Reasons";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Time-out";
    case 505: return "HTTP Version not supported";
    case 511: return "Network Authentication Required";
    default: return nullptr;
  }
}

}  // namespace qv::http
