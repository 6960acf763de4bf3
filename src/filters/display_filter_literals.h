#pragma once
// Literals of display filters, read as the value type of the field they are
// compared with: "10.0.0.0/8" for an IPv4 field, "0x1bb" for a port,
// "00-11-22-33-44-55" for a MAC address, "aa:bb:cc" or "GET" for bytes.

#include "filters/display_filter_lexer.h"
#include "filters/display_filter_node.h"

namespace qv {

// How values of this operand compare.
ValueClass ClassOf(const FieldInfo& f, bool sliced);

// Reads `token` (a word or a string) as a value of `target`. False, with
// `error` naming the token, when it is not one.
bool MakeLiteral(const Operand& target, const Token& token, Literal* out, DisplayFilterError* error);

}  // namespace qv
