#include "decode/text_format.h"

#include <arpa/inet.h>

#include <cstdarg>
#include <cstdio>

namespace qv {

namespace {
// Set while a decoding for filters runs on this thread: its lines need no text.
thread_local bool tLinesWithoutText = false;
}  // namespace

LinesWithoutText::LinesWithoutText(bool on) : previous_(tLinesWithoutText) { tLinesWithoutText = on || previous_; }
LinesWithoutText::~LinesWithoutText() { tLinesWithoutText = previous_; }

std::string Format(const char* fmt, ...) {
  if (tLinesWithoutText) return {};
  char stack[256];
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(stack, sizeof stack, fmt, args);
  va_end(args);
  std::string out;
  if (n < 0) {
    va_end(again);
    return out;
  }
  if (static_cast<std::size_t>(n) < sizeof stack) {
    out.assign(stack, static_cast<std::size_t>(n));
  } else {
    out.resize(static_cast<std::size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, fmt, again);
  }
  va_end(again);
  return out;
}

void AppendDecimal(std::string& out, std::uint64_t value) {
  // Written from the end of the buffer and appended in one piece: called
  // for several numbers of every frame.
  char digits[20];
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out.append(first, static_cast<std::size_t>(digits + sizeof digits - first));
}

namespace {
constexpr char kHex[] = "0123456789abcdef";
}

void AppendMacShort(std::string& out, const std::uint8_t* mac) {
  for (int i = 0; i < 6; ++i) {
    if (i != 0) out += ':';
    if (mac[i] >= 0x10) out += kHex[mac[i] >> 4];
    out += kHex[mac[i] & 0x0F];
  }
}

void AppendIpv4(std::string& out, const std::uint8_t* address) {
  for (int i = 0; i < 4; ++i) {
    if (i != 0) out += '.';
    AppendDecimal(out, address[i]);
  }
}

void AppendIpv6(std::string& out, const std::uint8_t* address) {
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, address, text, sizeof text) != nullptr) out += text;
}

}  // namespace qv
