#pragma once
// One frame as a line of JSON (`quorvanet-cli -T json`): its number, time,
// lengths and link type, the nine row texts and the decode tree, nodes with
// their text, field, value, range and children.

#include <cstdint>
#include <span>
#include <string>

#include "capture/packet_record.h"
#include "decode/decode_tree.h"
#include "decode/packet_summary.h"

namespace qv {

// Appends the frame's object and a newline. `tree` is the frame's tree-mode
// decode; `number` counts from 1.
void AppendJsonFrame(std::string& out, std::uint64_t number, const PacketRecord& record, const PacketSummary& row,
                     const DecodeTree& tree);

// The tree alone, as the array of the "tree" key.
void AppendJsonTree(std::string& out, const DecodeTree& tree, std::span<const std::uint8_t> frame);

}  // namespace qv
