#pragma once
// The packet list row of a frame: the nine column texts and the row colour.

#include <array>
#include <cstdint>
#include <string>

#include "capture/packet_record.h"
#include "decode/packet_summary.h"
#include "stats/layer_counters.h"

namespace qv {

enum Column : int {
  kColumnTime,
  kColumnSize,
  kColumnSrcMac,
  kColumnDestMac,
  kColumnSrcIp,
  kColumnDestIp,
  kColumnSrcPort,
  kColumnDestPort,
  kColumnProtocols,
  kColumnCount
};

inline constexpr std::array<const char*, kColumnCount> kColumnHeadings = {
    "Time", "Size", "Src MAC", "Dest MAC", "Src IP", "Dest IP", "Src Port", "Dest Port", "Protocols"};

// Placeholder for an IP or port column the frame does not have.
inline constexpr const char* kNoValue = "----";

// "%H:%M:%S:%.6d" in local time: a colon, not a point, before the microseconds.
std::string TimeText(std::uint32_t seconds, std::uint32_t microseconds);

// "Broadcast", "Multicast" or the destination MAC text.
std::string DestMacColumnText(const PacketSummary& row);

std::string ColumnText(const PacketRecord& record, const PacketSummary& row, int column);
std::array<std::string, kColumnCount> ColumnTexts(const PacketRecord& record, const PacketSummary& row);

// The nine texts separated by tabs, as the command-line front end prints them.
void AppendTabbedRow(std::string& out, const PacketRecord& record, const PacketSummary& row);

// Sent by the capturing adapter: dark red; addressed to it: purple; else black.
// An unknown (all zero) own address matches no frame.
inline constexpr Rgb kRowBlack{0, 0, 0};
inline constexpr Rgb kRowSentByUs{128, 0, 0};
inline constexpr Rgb kRowSentToUs{128, 0, 128};
Rgb RowColour(const std::array<std::uint8_t, 6>& ownAddress, const PacketSummary& row);

}  // namespace qv
