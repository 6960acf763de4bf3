// The display-filter compiler over any text. Checked: a text is either
// compiled or refused with a message that names a column inside the text (or
// just past its end); a compiled filter keeps its text, names only
// registered fields, prints its expression tree, and can be tested against a
// real frame (a DNS query over IPv4) without fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filters/display_filter.h"
#include "filters/display_filter_match.h"
#include "fuzz_check.h"

namespace {

// Ethernet, IPv4, UDP from port 43966 to 53: a query for www.tcpdump.org with an EDNS cookie.
constexpr std::uint8_t kDnsQuery[] = {
    0x00, 0x11, 0x22, 0x33, 0x44, 0x66, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x08, 0x00, 0x45, 0x00, 0x00, 0x54, 0x59,
    0xcd, 0x00, 0x00, 0x40, 0x11, 0x94, 0xae, 0xc0, 0xa8, 0x01, 0x0b, 0xd1, 0x57, 0xf9, 0x12, 0xab, 0xbe, 0x00, 0x35,
    0x00, 0x40, 0x78, 0x24, 0x59, 0x34, 0x01, 0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x03, 0x77, 0x77,
    0x77, 0x07, 0x74, 0x63, 0x70, 0x64, 0x75, 0x6d, 0x70, 0x03, 0x6f, 0x72, 0x67, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x00, 0x29, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x0a, 0x00, 0x08, 0x42, 0xf5, 0xd0, 0x09, 0x96,
    0xf9, 0x0b, 0x13};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qv::DisplayFilterError error;
  const qv::DisplayFilterPtr filter = qv::CompileDisplayFilter(text, &error);
  if (!filter) {
    FUZZ_CHECK(!error.message.empty(), "a refused filter was not told why");
    FUZZ_CHECK(error.column >= 1 && error.column <= size + 1, "a refused filter's column lies outside its text");
    FUZZ_CHECK(!error.Text().empty(), "a refused filter has no message text");
    return 0;
  }
  FUZZ_CHECK(filter->Text() == text, "a compiled filter does not keep its text");
  for (const qv::FieldInfo* f : filter->Fields()) {
    FUZZ_CHECK(f != nullptr && qv::FindField(f->abbrev) == f, "a compiled filter names a field the registry lacks");
  }
  FUZZ_CHECK(!filter->TreeText().empty(), "a compiled filter prints no expression");

  qv::PacketRecord record;
  record.bytes = kDnsQuery;
  record.capturedLength = record.wireLength = sizeof kDnsQuery;
  record.seconds = 1591780794;
  qv::DisplayFilterMatcher matcher(filter, qv::DecodeSetup{});
  (void)matcher.Matches(record);
  return 0;
}
