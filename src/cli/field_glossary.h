#pragma once
// `quorvanet-cli -G fields`: the field registry in the layout of
// `tshark -G fields`. Each protocol's line "P\tname\tabbrev" comes before its
// fields, "F\tname\tabbrev\tFT_TYPE\tprotocol\tbase\tmask\t", where the
// protocol of a field is its abbreviation up to the first dot.

#include <string>

#include "decode/fields.h"

namespace qv {

// The base column: BASE_DEC/BASE_HEX/BASE_NONE for integers, the bits of the
// container for a Boolean of some bits (0 for one that is the whole
// container's truth), empty for other types.
std::string FieldBaseText(const FieldInfo& f);

// Every registered field, grouped by protocol in order of registration.
std::string FieldGlossary();

}  // namespace qv
