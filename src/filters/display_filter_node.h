#pragma once
// The compiled expression tree of a display filter (inside src/filters).

#include <re2/re2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filters/display_filter.h"

namespace qv {

// How a field's values compare: as numbers (integers, Booleans, times in
// nanoseconds) or as byte strings (addresses, bytes, strings, protocols).
enum class ValueClass : unsigned char { Number, Bytes };

__extension__ typedef __int128 WideInt;

// A literal turned into the value class of what it is compared with.
struct Literal {
  WideInt number = 0;
  std::string bytes;
  // An address literal written with "/prefix": only its first `prefixBits`
  // bits take part in equality; -1 for all of them.
  int prefixBits = -1;
  std::string text;  // canonical, for TreeText
};

// One piece of a slice: `length` bytes from `start` (negative: counted from
// the end); length -1 takes the rest.
struct SliceRange {
  std::int64_t start = 0;
  std::int64_t length = -1;
};

// A field as it stands in a test: its index in the filter's Fields(), and a
// slice of its value bytes.
struct Operand {
  const FieldInfo* field = nullptr;
  std::size_t index = 0;
  std::vector<SliceRange> slice;  // empty: the whole value
  std::string sliceText;          // as written, "[0:3]"
  ValueClass valueClass = ValueClass::Number;
};

enum class NodeKind : unsigned char { And, Or, Xor, Not, Exists, Compare, Contains, Matches, In };

enum class CompareOp : unsigned char {
  Equal,        // ==, eq, any_eq: some occurrence equals
  AllNotEqual,  // !=, ne: present, and every occurrence differs
  AllEqual,     // ===, all_eq
  AnyNotEqual,  // !==, ~=, any_ne
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
};

struct SetItem {
  Literal low;
  bool isRange = false;
  Literal high;
};

struct DisplayFilter::Node {
  NodeKind kind = NodeKind::Exists;
  std::unique_ptr<Node> left;   // And, Or, Xor, Not
  std::unique_ptr<Node> right;  // And, Or, Xor
  Operand lhs;
  CompareOp op = CompareOp::Equal;
  bool rhsIsField = false;
  Operand rhs;                  // when rhsIsField
  Literal literal;              // Compare, Contains
  std::vector<SetItem> set;     // In
  std::unique_ptr<RE2> regex;   // Matches
};

}  // namespace qv
