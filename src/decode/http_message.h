#pragma once
// The text format HTTP/1.x and SSDP share: a start line (request or status),
// header fields "Name: value" one a line, an empty line, then the body.
// These readers find the pieces in the captured bytes and build no lines;
// every one reads only within [at, end), which the caller keeps inside the
// captured data. A line may end with CR LF or with a bare LF.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::http {

// Bytes [start, end) of the frame.
struct Span {
  std::uint32_t start = 0;
  std::uint32_t end = 0;

  std::uint32_t Size() const { return end - start; }
  bool Empty() const { return end == start; }
};

// One line: its text is [start, contentEnd), its line end [contentEnd, next).
struct Line {
  std::uint32_t start = 0;
  std::uint32_t contentEnd = 0;
  std::uint32_t next = 0;  // after the line end; the area's end when cut
  bool complete = false;   // the line end lies inside the area
};

Line ReadLine(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

enum class StartKind : std::uint8_t { None, Request, Response };

// What the bytes at `at` begin: a request line (a known method and a space)
// or a status line ("HTTP/1.0 " or "HTTP/1.1 " and three digits). Looks at
// no more than the first 13 bytes.
StartKind StartOf(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

// A stricter test for payloads on ports that say nothing: besides the start,
// a request line must be printable ASCII up to its line end, and when that
// end was captured the line must close with an HTTP version.
bool LooksLikeMessage(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

struct StartLine {
  StartKind kind = StartKind::None;
  Line line;
  // A request's method, URI and version; a response's version, status code
  // and phrase. A part that is not there (cut, or a request without a
  // version) is absent.
  std::optional<Span> first;
  std::optional<Span> second;
  std::optional<Span> third;
  std::uint16_t statusCode = 0;  // a response's, from `second`
};

// The start line at `at`, which StartOf() took for one.
StartLine ReadStartLine(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

// One header field with the lines folded into it (a line that starts with a
// blank continues the one before).
struct Header {
  Span all;                // from the name to the last line end
  bool hasColon = false;   // without one the line is no header field
  Span name;               // before the colon (empty without one)
  Span value;              // after the colon, blanks cut at both ends
  bool folded = false;     // spread over more than one line
  bool complete = false;   // its last line end was captured
};

Header ReadHeader(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

// Whether [span) equals `lowerName` when upper-case letters are lowered.
bool NameIs(const std::uint8_t* bytes, Span span, std::string_view lowerName);

// A Content-Length value: decimal digits alone; absent for anything else or
// a number beyond 64 bits.
std::optional<std::uint64_t> ContentLength(const std::uint8_t* bytes, Span value);

// Whether a Transfer-Encoding value lists "chunked" among its codings.
bool IsChunked(const std::uint8_t* bytes, Span value);

// A folded value as one line: every line end with the blanks after it
// becomes a single space.
std::string Unfolded(const std::uint8_t* bytes, Span value);

// The server name of a Host value: without the port, and empty when the
// value is an address (IPv4, or IPv6 in brackets), empty or not a host name.
std::string HostName(const std::uint8_t* bytes, Span value);

// Finds the Host field of the header block starting at `at` and returns its
// server name (HostName()); empty when there is none before the block's end
// or the end of the area.
std::string FindHostName(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end);

// The text of a status code ("Not Found"); null for codes not listed.
const char* StatusText(std::uint16_t code);

}  // namespace qv::http
