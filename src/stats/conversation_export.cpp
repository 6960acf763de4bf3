#include "stats/conversation_export.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

#include "decode/text_format.h"

namespace qv {

namespace {
constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <typename T>
int Order(const T& a, const T& b) {
  return a > b ? 1 : a < b ? -1 : 0;
}
}  // namespace

std::string AscTimeText(const std::tm& t) {
  const int day = t.tm_wday >= 0 && t.tm_wday < 7 ? t.tm_wday : 0;
  const int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
  return Format("%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[day], kMonths[month], t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec, 1900 + t.tm_year);
}

std::string FormatConversationExport(const std::vector<ConversationRow>& rows, const std::tm& localTime,
                                     std::string_view lineEnd) {
  const std::string rule(69, '+');
  std::string out = "\tSTATISTICS FILE\t";
  std::string when = AscTimeText(localTime);
  when.pop_back();  // its "\n" becomes the line end
  out += when;
  out += lineEnd;
  out += rule;
  out += lineEnd;
  out += "Src IP/Dest IP/Count/Bytes/Ports/Src Host Name/Dest Host Name";
  out += lineEnd;
  out += rule;
  out += lineEnd;
  for (const ConversationRow& r : rows) {
    out += r.ColumnText(0);
    out += " => ";
    out += r.ColumnText(1);
    for (int column = 2; column <= 5; ++column) {
      out += '\t';
      out += r.ColumnText(column);
    }
    out += " => ";
    out += r.ColumnText(6);
    out += lineEnd;
  }
  AppendNameSources(out, rows, lineEnd);
  return out;
}

void AppendNameSources(std::string& out, const std::vector<ConversationRow>& rows, std::string_view lineEnd) {
  // Each address once, in the order the rows show it first.
  std::vector<IpAddress> written;
  const auto note = [&](const IpAddress& address, NameSource from, NameOrigin origin, const std::string& name) {
    if (from != NameSource::Traffic || std::find(written.begin(), written.end(), address) != written.end()) return;
    written.push_back(address);
    out += "# host names: ";
    address.AppendText(out);
    out += " = ";
    out += name;
    out += " (";
    out += NameOriginText(origin);
    out += ')';
    out += lineEnd;
  };
  for (const ConversationRow& r : rows) {
    note(r.source, r.sourceNameFrom, r.sourceNameOrigin, r.sourceName);
    note(r.destination, r.destinationNameFrom, r.destinationNameOrigin, r.destinationName);
  }
}

bool WriteConversationExport(const std::string& path, const std::vector<ConversationRow>& rows,
                             const std::tm& localTime) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::string text = FormatConversationExport(rows, localTime);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm out{};
  localtime_r(&now, &out);
  return out;
}

int CompareConversationRows(const ConversationRow& a, const ConversationRow& b, int column) {
  switch (column) {
    case 0:
      // IpAddress orders by family first (IPv4 before IPv6), then by bytes.
      return Order(a.source, b.source);
    case 1:
      return Order(a.destination, b.destination);
    case 2:
      return Order(a.packets, b.packets);
    case 3:
      return Order(a.bytes, b.bytes);
    case kSourceNameColumn:
      return Order(strcasecmp(a.sourceName.c_str(), b.sourceName.c_str()), 0);
    case kDestinationNameColumn:
      return Order(strcasecmp(a.destinationName.c_str(), b.destinationName.c_str()), 0);
    default:
      return 0;  // Ports
  }
}

}  // namespace qv
