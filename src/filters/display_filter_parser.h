#pragma once
// Parsing display-filter tokens into the expression tree, with the peer's
// precedence: "not" binds tighter than "and", which binds tighter than "or".
// Every name is looked up in the field registry and every literal read as
// the type of the field it is compared with, so a filter that parses can be
// evaluated on any frame.

#include <memory>
#include <vector>

#include "filters/display_filter_lexer.h"
#include "filters/display_filter_node.h"

namespace qv {

// The tree of `tokens` (ending with an End token); null with `error` filled
// in when they do not make a filter. `fields` receives the fields named,
// each once, in the order of Operand::index.
std::unique_ptr<DisplayFilter::Node> ParseDisplayFilter(const std::vector<Token>& tokens,
                                                        std::vector<const FieldInfo*>* fields,
                                                        DisplayFilterError* error);

}  // namespace qv
