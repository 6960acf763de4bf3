// Evaluating a compiled display filter over the field values of one frame.
// A field that occurs several times compares "any occurrence", but for the
// "all" operators (!=, ===); a test of an absent field is false, so
// `!(a == b)` holds where `a != b` does not: when `a` is absent.

#include <algorithm>
#include <cstring>

#include "filters/display_filter_node.h"
#include "filters/frame_fields.h"

namespace qv {

namespace {

using Node = DisplayFilter::Node;

WideInt NumberOf(const FieldOccurrence& o) {
  const FieldInfo& f = *o.field;
  switch (f.type) {
    case FieldType::Boolean: return o.number != 0 ? 1 : 0;
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32: return SignedFieldValue(f, o.number);
    case FieldType::RelativeTime: return static_cast<std::int64_t>(o.number);
    default: return static_cast<WideInt>(o.number);
  }
}

// The value bytes after the slice; false when the slice reaches outside them.
bool Sliced(const Operand& operand, std::span<const std::uint8_t> value, std::string& scratch,
            std::span<const std::uint8_t>* out) {
  if (operand.slice.empty()) {
    *out = value;
    return true;
  }
  const auto size = static_cast<std::int64_t>(value.size());
  if (operand.slice.size() == 1) {
    const SliceRange& r = operand.slice[0];
    const std::int64_t start = r.start < 0 ? size + r.start : r.start;
    const std::int64_t length = r.length < 0 ? size - start : r.length;
    if (start < 0 || start > size || length < 0 || start + length > size) return false;
    *out = value.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    return true;
  }
  scratch.clear();
  for (const SliceRange& r : operand.slice) {
    const std::int64_t start = r.start < 0 ? size + r.start : r.start;
    const std::int64_t length = r.length < 0 ? size - start : r.length;
    if (start < 0 || start > size || length < 0 || start + length > size) return false;
    scratch.append(reinterpret_cast<const char*>(value.data()) + start, static_cast<std::size_t>(length));
  }
  *out = {reinterpret_cast<const std::uint8_t*>(scratch.data()), scratch.size()};
  return true;
}

int CompareBytes(std::span<const std::uint8_t> a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int CompareBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return CompareBytes(a, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool PrefixEqual(std::span<const std::uint8_t> a, const Literal& literal) {
  if (a.size() != literal.bytes.size()) return false;
  const int whole = literal.prefixBits / 8;
  if (std::memcmp(a.data(), literal.bytes.data(), static_cast<std::size_t>(whole)) != 0) return false;
  const int rest = literal.prefixBits % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
  return (a[static_cast<std::size_t>(whole)] & mask) ==
         (static_cast<std::uint8_t>(literal.bytes[static_cast<std::size_t>(whole)]) & mask);
}

// -1, 0 or 1; for a literal with a prefix, 0 means "in the network".
int CompareToLiteral(const FieldOccurrence& o, std::span<const std::uint8_t> bytes, ValueClass valueClass,
                     const Literal& literal) {
  if (valueClass == ValueClass::Number) {
    const WideInt v = NumberOf(o);
    return v < literal.number ? -1 : v > literal.number ? 1 : 0;
  }
  if (literal.prefixBits >= 0 && PrefixEqual(bytes, literal)) return 0;
  return CompareBytes(bytes, literal.bytes);
}

bool Holds(CompareOp op, int c) {
  switch (op) {
    case CompareOp::Equal:
    case CompareOp::AllEqual: return c == 0;
    case CompareOp::AllNotEqual:
    case CompareOp::AnyNotEqual: return c != 0;
    case CompareOp::Less: return c < 0;
    case CompareOp::Greater: return c > 0;
    case CompareOp::LessEqual: return c <= 0;
    case CompareOp::GreaterEqual: return c >= 0;
  }
  return false;
}

// "All" operators need every value to hold; the others need one.
bool IsAll(CompareOp op) { return op == CompareOp::AllNotEqual || op == CompareOp::AllEqual; }

bool Search(std::span<const std::uint8_t> haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (haystack.size() < needle.size()) return false;
  const auto* begin = reinterpret_cast<const char*>(haystack.data());
  return std::search(begin, begin + haystack.size(), needle.begin(), needle.end()) != begin + haystack.size();
}

class Evaluator {
 public:
  explicit Evaluator(const FrameFieldValues& values) : values_(values) {}

  bool Eval(const Node& n) {
    switch (n.kind) {
      case NodeKind::And: return Eval(*n.left) && Eval(*n.right);
      case NodeKind::Or: return Eval(*n.left) || Eval(*n.right);
      case NodeKind::Xor: return Eval(*n.left) != Eval(*n.right);
      case NodeKind::Not: return !Eval(*n.left);
      case NodeKind::Exists: return AnyValue(n.lhs, [](const FieldOccurrence&, std::span<const std::uint8_t>) {
          return true;
        });
      case NodeKind::Compare: return n.rhsIsField ? CompareFields(n) : CompareLiteral(n);
      case NodeKind::Contains:
        return AnyValue(n.lhs, [&](const FieldOccurrence&, std::span<const std::uint8_t> bytes) {
          return Search(bytes, n.literal.bytes);
        });
      case NodeKind::Matches:
        return AnyValue(n.lhs, [&](const FieldOccurrence&, std::span<const std::uint8_t> bytes) {
          const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
          return RE2::PartialMatch(text, *n.regex);
        });
      case NodeKind::In:
        return AnyValue(n.lhs, [&](const FieldOccurrence& o, std::span<const std::uint8_t> bytes) {
          for (const SetItem& item : n.set) {
            const int low = CompareToLiteral(o, bytes, n.lhs.valueClass, item.low);
            if (!item.isRange ? low == 0
                              : low >= 0 && CompareToLiteral(o, bytes, n.lhs.valueClass, item.high) <= 0) {
              return true;
            }
          }
          return false;
        });
    }
    return false;
  }

 private:
  // Whether `test` holds for some occurrence (of those the slice applies to).
  template <class Test>
  bool AnyValue(const Operand& operand, Test&& test) {
    for (const FieldOccurrence& o : values_.Of(operand.index)) {
      std::span<const std::uint8_t> bytes;
      if (!Sliced(operand, o.bytes, scratch_, &bytes)) continue;
      if (test(o, bytes)) return true;
    }
    return false;
  }

  bool CompareLiteral(const Node& n) {
    bool any = false;
    for (const FieldOccurrence& o : values_.Of(n.lhs.index)) {
      std::span<const std::uint8_t> bytes;
      if (!Sliced(n.lhs, o.bytes, scratch_, &bytes)) continue;
      any = true;
      const bool holds = Holds(n.op, CompareToLiteral(o, bytes, n.lhs.valueClass, n.literal));
      if (IsAll(n.op) && !holds) return false;
      if (!IsAll(n.op) && holds) return true;
    }
    return IsAll(n.op) && any;
  }

  bool CompareFields(const Node& n) {
    bool any = false;
    std::string leftScratch;
    for (const FieldOccurrence& a : values_.Of(n.lhs.index)) {
      std::span<const std::uint8_t> left;
      if (!Sliced(n.lhs, a.bytes, leftScratch, &left)) continue;
      for (const FieldOccurrence& b : values_.Of(n.rhs.index)) {
        std::span<const std::uint8_t> right;
        if (!Sliced(n.rhs, b.bytes, scratch_, &right)) continue;
        any = true;
        int c = 0;
        if (n.lhs.valueClass == ValueClass::Number) {
          const WideInt x = NumberOf(a);
          const WideInt y = NumberOf(b);
          c = x < y ? -1 : x > y ? 1 : 0;
        } else {
          c = CompareBytes(left, right);
        }
        const bool holds = Holds(n.op, c);
        if (IsAll(n.op) && !holds) return false;
        if (!IsAll(n.op) && holds) return true;
      }
    }
    return IsAll(n.op) && any;
  }

  const FrameFieldValues& values_;
  std::string scratch_;
};

}  // namespace

bool DisplayFilter::Matches(const FrameFieldValues& values) const {
  Evaluator evaluator(values);
  return evaluator.Eval(*root_);
}

}  // namespace qv
