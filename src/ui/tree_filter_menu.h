#pragma once
// The decode tree's filter commands for one line: "Apply as Filter" and
// "Prepare as Filter" (the line's filter alone, negated, or joined to the
// one in the field), "Copy" (value, field name, filter) and "Apply as
// Column". A line without a field offers only Copy > Value, its text.

#include <QString>

#include <functional>
#include <span>

#include "decode/decode_tree.h"
#include "filters/filter_expression.h"

class QMenu;

namespace qv {

struct TreeFilterActions {
  // `selected` joined to the field's filter as `how` says; applied or only put in the field.
  std::function<void(const QString& selected, FilterCombine how, bool apply)> filter;
  std::function<void(const FieldInfo& field)> column;
};

// The texts of the combinations, in menu order.
inline constexpr std::pair<const char*, FilterCombine> kFilterCombinations[] = {
    {"Selected", FilterCombine::Selected},
    {"Not Selected", FilterCombine::NotSelected},
    {"... and Selected", FilterCombine::AndSelected},
    {"... or Selected", FilterCombine::OrSelected},
    {"... and not Selected", FilterCombine::AndNotSelected},
    {"... or not Selected", FilterCombine::OrNotSelected},
};

void AddTreeFilterMenus(QMenu& menu, const DecodeNode& line, std::span<const std::uint8_t> frame,
                        const TreeFilterActions& actions);

}  // namespace qv
