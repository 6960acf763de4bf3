#pragma once
// The fields a display filter reads. A tree-mode decoding given a selection
// keeps only the lines of these fields (see DecodeTree::KeepScratchLine) and
// writes no line texts.

#include <algorithm>
#include <vector>

#include "decode/fields.h"

namespace qv {

class FieldSelection {
 public:
  explicit FieldSelection(std::vector<const FieldInfo*> fields) : fields_(std::move(fields)) {
    std::sort(fields_.begin(), fields_.end());
    fields_.erase(std::unique(fields_.begin(), fields_.end()), fields_.end());
  }

  bool Has(const FieldInfo* f) const {
    // A filter names a few fields: a look along them beats a search.
    if (fields_.size() <= 8) return std::find(fields_.begin(), fields_.end(), f) != fields_.end();
    return std::binary_search(fields_.begin(), fields_.end(), f);
  }

 private:
  std::vector<const FieldInfo*> fields_;
};

}  // namespace qv
