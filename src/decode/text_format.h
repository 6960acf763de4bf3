#pragma once
// Text helpers shared by the decoders and the row texts. Format() is printf
// (the decode lines are written with printf formats); the Append* helpers are
// hand-rolled because they run for every row of a million-frame capture.

#include <cstdint>
#include <string>

namespace qv {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// While one lives (and `on` was true), Format() on this thread writes
// nothing: a decoding whose lines are read only for their fields and values
// (display filters) skips the cost of their texts.
class LinesWithoutText {
 public:
  explicit LinesWithoutText(bool on);
  ~LinesWithoutText();
  LinesWithoutText(const LinesWithoutText&) = delete;
  LinesWithoutText& operator=(const LinesWithoutText&) = delete;

 private:
  bool previous_;
};

void AppendDecimal(std::string& out, std::uint64_t value);
// "%x:%x:%x:%x:%x:%x": lower-case, no leading zeros.
void AppendMacShort(std::string& out, const std::uint8_t* mac);
// "%u.%u.%u.%u"
void AppendIpv4(std::string& out, const std::uint8_t* address);
// RFC 5952 text, as inet_ntop writes it.
void AppendIpv6(std::string& out, const std::uint8_t* address);

}  // namespace qv
