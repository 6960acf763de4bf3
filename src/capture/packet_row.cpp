#include "capture/packet_row.h"

#include <ctime>

#include "decode/text_format.h"

namespace qv {

namespace {

// Rows arrive in time order, so the local time of the last second is reused.
struct TimeCache {
  std::uint32_t seconds = 0;
  bool valid = false;
  char hms[16] = {};
};

void AppendTime(std::string& out, std::uint32_t seconds, std::uint32_t microseconds) {
  thread_local TimeCache cache;
  if (!cache.valid || cache.seconds != seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr || std::strftime(cache.hms, sizeof cache.hms, "%H:%M:%S", &local) == 0) {
      cache.hms[0] = '\0';
    }
    cache.seconds = seconds;
    cache.valid = true;
  }
  out += cache.hms;
  out += ':';
  char digits[6];
  std::uint32_t us = microseconds;
  for (int i = 5; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + us % 10);
    us /= 10;
  }
  // "%.6d" writes more digits should the microseconds not fit in six.
  if (us != 0) AppendDecimal(out, us);
  out.append(digits, 6);
}

void AppendDestMac(std::string& out, const PacketSummary& row) {
  if (!row.hasDstMac) {
    if (row.dstLabel == DestinationLabel::Broadcast) out += "Broadcast";
    if (row.dstLabel == DestinationLabel::Multicast) out += "Multicast";
    return;
  }
  bool broadcast = true;
  for (std::uint8_t b : row.dstMac) broadcast = broadcast && b == 0xFF;
  if (broadcast) {
    out += "Broadcast";
  } else if (row.dstMac[0] & 0x01) {
    out += "Multicast";
  } else {
    AppendMacShort(out, row.dstMac.data());
  }
}

void AppendOrPlaceholder(std::string& out, bool has, auto&& append) {
  if (has) {
    append();
  } else {
    out += kNoValue;
  }
}

void AppendColumn(std::string& out, const PacketRecord& record, const PacketSummary& row, int column) {
  switch (column) {
    case kColumnTime:
      AppendTime(out, record.seconds, record.microseconds);
      break;
    case kColumnSize:
      AppendDecimal(out, record.wireLength);
      break;
    case kColumnSrcMac:
      if (row.hasSrcMac) AppendMacShort(out, row.srcMac.data());
      break;
    case kColumnDestMac:
      AppendDestMac(out, row);
      break;
    case kColumnSrcIp:
      AppendOrPlaceholder(out, row.hasSrcIp, [&] { row.AppendSrcIp(out); });
      break;
    case kColumnDestIp:
      AppendOrPlaceholder(out, row.hasDstIp, [&] { row.AppendDstIp(out); });
      break;
    case kColumnSrcPort:
      AppendOrPlaceholder(out, row.hasSrcPort, [&] { AppendDecimal(out, row.srcPort); });
      break;
    case kColumnDestPort:
      AppendOrPlaceholder(out, row.hasDstPort, [&] { AppendDecimal(out, row.dstPort); });
      break;
    case kColumnProtocols:
      for (std::uint8_t i = 0; i < row.protocolCount; ++i) {
        out += InfoOf(row.protocols[i]).name;
        out += ' ';
      }
      break;
    default:
      break;
  }
}

}  // namespace

std::string TimeText(std::uint32_t seconds, std::uint32_t microseconds) {
  std::string out;
  AppendTime(out, seconds, microseconds);
  return out;
}

std::string DestMacColumnText(const PacketSummary& row) {
  std::string out;
  AppendDestMac(out, row);
  return out;
}

std::string ColumnText(const PacketRecord& record, const PacketSummary& row, int column) {
  std::string out;
  AppendColumn(out, record, row, column);
  return out;
}

std::array<std::string, kColumnCount> ColumnTexts(const PacketRecord& record, const PacketSummary& row) {
  std::array<std::string, kColumnCount> texts;
  for (int c = 0; c < kColumnCount; ++c) AppendColumn(texts[static_cast<std::size_t>(c)], record, row, c);
  return texts;
}

void AppendTabbedRow(std::string& out, const PacketRecord& record, const PacketSummary& row) {
  for (int c = 0; c < kColumnCount; ++c) {
    if (c != 0) out += '\t';
    AppendColumn(out, record, row, c);
  }
}

Rgb RowColour(const std::array<std::uint8_t, 6>& ownAddress, const PacketSummary& row) {
  bool known = false;
  for (std::uint8_t b : ownAddress) known = known || b != 0;
  if (!known) return kRowBlack;
  if (row.hasSrcMac && row.srcMac == ownAddress) return kRowSentByUs;
  if (row.hasDstMac && row.dstMac == ownAddress) return kRowSentToUs;
  return kRowBlack;
}

}  // namespace qv
