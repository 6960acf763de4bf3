#include "filters/display_filter_parser.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "filters/display_filter_literals.h"
#include "filters/filter_expression.h"

namespace qv {

namespace {

using Node = DisplayFilter::Node;

std::string Quoted(std::string_view s) { return "`" + std::string(s) + "`"; }

bool IsWord(const Token& t, std::string_view word) { return t.kind == TokenKind::Word && t.text == word; }

bool IsAny(const Token& t, std::initializer_list<std::string_view> spellings) {
  if (t.kind != TokenKind::Word && t.kind != TokenKind::Operator) return false;
  return std::find(spellings.begin(), spellings.end(), t.text) != spellings.end();
}

std::optional<CompareOp> ComparisonOf(const Token& t) {
  if (IsAny(t, {"==", "eq", "any_eq"})) return CompareOp::Equal;
  if (IsAny(t, {"!=", "ne", "all_ne"})) return CompareOp::AllNotEqual;
  if (IsAny(t, {"===", "all_eq"})) return CompareOp::AllEqual;
  if (IsAny(t, {"!==", "~=", "any_ne"})) return CompareOp::AnyNotEqual;
  if (IsAny(t, {"<", "lt"})) return CompareOp::Less;
  if (IsAny(t, {">", "gt"})) return CompareOp::Greater;
  if (IsAny(t, {"<=", "le"})) return CompareOp::LessEqual;
  if (IsAny(t, {">=", "ge"})) return CompareOp::GreaterEqual;
  return std::nullopt;
}

bool IsOrdering(CompareOp op) {
  return op == CompareOp::Less || op == CompareOp::Greater || op == CompareOp::LessEqual ||
         op == CompareOp::GreaterEqual;
}

// "[0:3]", "[1-2]", "[4]", "[:2]", "[2:]", "[-2:]", and lists of them.
bool ParseSlice(std::string_view text, std::vector<SliceRange>* out) {
  out->clear();
  auto number = [](std::string_view s, std::int64_t* v) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *v);
    return ec == std::errc() && end == s.data() + s.size() && *v > -1'000'000'000 && *v < 1'000'000'000;
  };
  std::string cleaned;
  for (const char c : text) {
    if (c != ' ' && c != '\t') cleaned += c;
  }
  std::string_view rest = cleaned;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view part = rest.substr(0, comma);
    SliceRange r;
    if (const std::size_t colon = part.find(':'); colon != std::string_view::npos) {
      const std::string_view a = part.substr(0, colon);
      const std::string_view b = part.substr(colon + 1);
      if (!a.empty() && !number(a, &r.start)) return false;
      if (!b.empty() && (!number(b, &r.length) || r.length < 0)) return false;
      if (a.empty() && b.empty()) return false;
      if (b.empty()) r.length = -1;
    } else if (const std::size_t dash = part.find('-', 1); dash != std::string_view::npos) {
      std::int64_t last = 0;
      if (!number(part.substr(0, dash), &r.start) || !number(part.substr(dash + 1), &last)) return false;
      if (r.start < 0 || last < r.start) return false;
      r.length = last - r.start + 1;
    } else {
      if (!number(part, &r.start)) return false;
      r.length = 1;
    }
    out->push_back(r);
    if (comma == std::string_view::npos) return true;
    rest = rest.substr(comma + 1);
  }
}

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, std::vector<const FieldInfo*>* fields, DisplayFilterError* error)
      : tokens_(tokens), fields_(fields), error_(error) {}

  std::unique_ptr<Node> Parse() {
    if (Peek().kind == TokenKind::End) return Fail("the filter is empty", Peek().column);
    std::unique_ptr<Node> root = ParseOr();
    if (!root) return nullptr;
    if (Peek().kind != TokenKind::End) {
      if (Peek().kind == TokenKind::RightParen) return Fail("`)` has no `(` before it", Peek().column);
      return Fail(Quoted(Peek().source) + " is not expected here; `&&` or `||` may join two tests", Peek().column);
    }
    return root;
  }

 private:
  const Token& Peek() const { return tokens_[at_]; }
  const Token& Next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }

  std::unique_ptr<Node> Fail(std::string message, std::size_t column) {
    if (!failed_) *error_ = {std::move(message), column};
    failed_ = true;
    return nullptr;
  }

  std::unique_ptr<Node> Join(NodeKind kind, std::unique_ptr<Node> left, std::unique_ptr<Node> right) {
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
  }

  // A logic operator's right side; its absence is named by the operator.
  std::unique_ptr<Node> RightOf(const Token& op, std::unique_ptr<Node> (Parser::*parse)()) {
    if (Peek().kind == TokenKind::End) {
      return Fail(Quoted(op.source) + " needs a test after it", op.column);
    }
    return (this->*parse)();
  }

  std::unique_ptr<Node> ParseOr() {
    std::unique_ptr<Node> left = ParseAnd();
    while (left) {
      NodeKind kind;
      if (IsAny(Peek(), {"||", "or", "OR"})) {
        kind = NodeKind::Or;
      } else if (IsAny(Peek(), {"^^", "xor", "XOR"})) {
        kind = NodeKind::Xor;
      } else {
        break;
      }
      const Token& op = Next();
      std::unique_ptr<Node> right = RightOf(op, &Parser::ParseAnd);
      if (!right) return nullptr;
      left = Join(kind, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<Node> ParseAnd() {
    std::unique_ptr<Node> left = ParseNot();
    while (left && IsAny(Peek(), {"&&", "and", "AND"})) {
      const Token& op = Next();
      std::unique_ptr<Node> right = RightOf(op, &Parser::ParseNot);
      if (!right) return nullptr;
      left = Join(NodeKind::And, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<Node> ParseNot() {
    if (IsAny(Peek(), {"!", "not", "NOT"})) {
      const Token& op = Next();
      std::unique_ptr<Node> inner = RightOf(op, &Parser::ParseNot);
      if (!inner) return nullptr;
      return Join(NodeKind::Not, std::move(inner), nullptr);
    }
    return ParsePrimary();
  }

  std::unique_ptr<Node> ParsePrimary() {
    if (Peek().kind == TokenKind::LeftParen) {
      const Token& open = Next();
      if (Peek().kind == TokenKind::End) return Fail("`(` is not closed", open.column);
      std::unique_ptr<Node> inner = ParseOr();
      if (!inner) return nullptr;
      if (Peek().kind != TokenKind::RightParen) {
        if (Peek().kind == TokenKind::End) return Fail("`(` is not closed", open.column);
        return Fail(Quoted(Peek().source) + " is not expected here; `)` closes the `(` before it", Peek().column);
      }
      Next();
      return inner;
    }
    return ParseTest();
  }

  // A field or protocol, with an optional slice.
  bool ParseOperand(const Token& t, Operand* out) {
    const FieldInfo* f = t.kind == TokenKind::Word ? FindField(t.text) : nullptr;
    if (f == nullptr) {
      if (t.kind == TokenKind::Word) {
        Fail(Quoted(t.source) + " is neither a field nor a protocol", t.column);
      } else if (t.kind == TokenKind::RightParen) {
        Fail("`)` is not expected here; a test was expected", t.column);
      } else {
        Fail(Quoted(t.source) + " is not a field or a protocol; a test starts with one", t.column);
      }
      return false;
    }
    out->field = f;
    const auto known = std::find(fields_->begin(), fields_->end(), f);
    out->index = static_cast<std::size_t>(known - fields_->begin());
    if (known == fields_->end()) fields_->push_back(f);
    if (Peek().kind == TokenKind::Slice) {
      const Token& slice = Next();
      if (IsIntegerField(*f) || f->type == FieldType::AbsoluteTime || f->type == FieldType::RelativeTime ||
          f->type == FieldType::None) {
        Fail(Quoted(t.source) + " is a number, and cannot be sliced", slice.column);
        return false;
      }
      if (!ParseSlice(slice.text, &out->slice)) {
        Fail(Quoted(slice.source) + " is not a valid range of bytes", slice.column);
        return false;
      }
      out->sliceText = std::string(slice.source);
    }
    out->valueClass = ClassOf(*f, !out->slice.empty());
    return true;
  }

  std::string Named(const Operand& o) const { return Quoted(std::string(o.field->abbrev) + o.sliceText); }

  // The value after an operator: a literal of the left side's type or another field.
  bool ParseValue(const Token& op, const Operand& lhs, Node* node, bool fieldAllowed) {
    const Token& t = Peek();
    if (t.kind == TokenKind::End) {
      Fail(Quoted(op.source) + " needs a value after it", op.column);
      return false;
    }
    if (t.kind != TokenKind::Word && t.kind != TokenKind::String) {
      Fail(Quoted(t.source) + " is not a value; " + Quoted(op.source) + " needs one after it", t.column);
      return false;
    }
    Next();
    if (fieldAllowed && t.kind == TokenKind::Word && FindField(t.text) != nullptr) {
      node->rhsIsField = true;
      if (!ParseOperand(t, &node->rhs)) return false;
      const Operand& rhs = node->rhs;
      bool compatible = lhs.valueClass == rhs.valueClass;
      if (compatible && lhs.valueClass == ValueClass::Bytes) {
        auto loose = [](const Operand& o) {
          return !o.slice.empty() || o.field->type == FieldType::Bytes || o.field->type == FieldType::Protocol;
        };
        compatible = lhs.field->type == rhs.field->type || loose(lhs) || loose(rhs);
      }
      if (!compatible) {
        Fail(Named(lhs) + " and " + Named(rhs) + " hold different kinds of value and cannot be compared",
             t.column);
        return false;
      }
      return true;
    }
    return MakeLiteral(lhs, t, &node->literal, error_) || (failed_ = true, false);
  }

  bool ParseSet(const Token& op, const Operand& lhs, Node* node) {
    if (Peek().kind != TokenKind::LeftBrace) {
      Fail(Quoted(op.source) + " needs a set after it, as in {80, 443, 8000..8080}", op.column);
      return false;
    }
    const Token& open = Next();
    while (true) {
      const Token& t = Peek();
      if (t.kind == TokenKind::RightBrace) {
        Next();
        break;
      }
      if (t.kind == TokenKind::Comma && !node->set.empty()) {
        Next();
        continue;
      }
      if (t.kind == TokenKind::End) {
        Fail("`{` is not closed", open.column);
        return false;
      }
      if (t.kind != TokenKind::Word && t.kind != TokenKind::String) {
        Fail(Quoted(t.source) + " is not a value of the set", t.column);
        return false;
      }
      SetItem item;
      Next();
      if (!MakeLiteral(lhs, t, &item.low, error_)) return failed_ = true, false;
      if (Peek().kind == TokenKind::Range) {
        const Token& range = Next();
        const Token& high = Peek();
        if (high.kind != TokenKind::Word && high.kind != TokenKind::String) {
          Fail("`..` needs the end of the range after it", range.column);
          return false;
        }
        Next();
        if (!MakeLiteral(lhs, high, &item.high, error_)) return failed_ = true, false;
        item.isRange = true;
      }
      node->set.push_back(std::move(item));
    }
    if (node->set.empty()) {
      Fail("the set is empty", open.column);
      return false;
    }
    return true;
  }

  std::unique_ptr<Node> ParseTest() {
    const Token& first = Peek();
    if (first.kind == TokenKind::End) return Fail("a test was expected at the end of the filter", first.column);
    Next();
    auto node = std::make_unique<Node>();
    if (!ParseOperand(first, &node->lhs)) return nullptr;
    const Operand& lhs = node->lhs;
    const Token& op = Peek();
    const bool valueless = lhs.field->type == FieldType::None && lhs.slice.empty();
    auto noValue = [&] {
      return Fail(Named(lhs) + " has no value to compare; test it alone, as in `" + std::string(lhs.field->abbrev) +
                      "`",
                  op.column);
    };
    if (const std::optional<CompareOp> cmp = ComparisonOf(op)) {
      Next();
      if (valueless) return noValue();
      if (IsOrdering(*cmp) && lhs.field->type == FieldType::Protocol && lhs.slice.empty()) {
        return Fail(Quoted(op.source) + " cannot order " + Named(lhs) + ", a protocol", op.column);
      }
      node->kind = NodeKind::Compare;
      node->op = *cmp;
      if (!ParseValue(op, lhs, node.get(), true)) return nullptr;
      return node;
    }
    if (IsWord(op, "contains") || IsWord(op, "matches")) {
      Next();
      if (valueless) return noValue();
      if (lhs.valueClass != ValueClass::Bytes) {
        return Fail(Quoted(op.source) + " needs text or bytes, and " + Named(lhs) + " is a number", op.column);
      }
      if (op.text == "contains") {
        node->kind = NodeKind::Contains;
        if (!ParseValue(op, lhs, node.get(), false)) return nullptr;
        return node;
      }
      node->kind = NodeKind::Matches;
      const Token& pattern = Peek();
      if (pattern.kind != TokenKind::String) {
        if (pattern.kind == TokenKind::End) return Fail("`matches` needs a value after it", op.column);
        return Fail("`matches` needs a regular expression in double quotes after it", pattern.column);
      }
      Next();
      RE2::Options options;
      options.set_log_errors(false);
      options.set_max_mem(8 << 20);  // a pattern that needs more is refused, not built
      auto regex = std::make_unique<RE2>(pattern.text, options);
      if (!regex->ok()) {
        return Fail(Quoted(pattern.source) + " is not a valid regular expression: " + regex->error(),
                    pattern.column);
      }
      node->literal.text = QuoteFilterString(pattern.text);
      node->regex = std::move(regex);
      return node;
    }
    if (IsWord(op, "in")) {
      Next();
      if (valueless) return noValue();
      node->kind = NodeKind::In;
      if (!ParseSet(op, lhs, node.get())) return nullptr;
      return node;
    }
    node->kind = NodeKind::Exists;
    return node;
  }

  const std::vector<Token>& tokens_;
  std::vector<const FieldInfo*>* fields_;
  DisplayFilterError* error_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<DisplayFilter::Node> ParseDisplayFilter(const std::vector<Token>& tokens,
                                                        std::vector<const FieldInfo*>* fields,
                                                        DisplayFilterError* error) {
  fields->clear();
  if (tokens.empty()) return nullptr;
  Parser parser(tokens, fields, error);
  return parser.Parse();
}

}  // namespace qv
