#include "filters/display_filter.h"

#include "filters/display_filter_lexer.h"
#include "filters/display_filter_node.h"
#include "filters/display_filter_parser.h"

namespace qv {

namespace {

// Longer texts are refused before parsing: no filter typed or stored needs
// them, and the parser's recursion stays shallow.
constexpr std::size_t kMaxFilterLength = 64 * 1024;
constexpr std::size_t kMaxNesting = 200;
constexpr std::size_t kMaxTokens = 4000;

const char* OpText(CompareOp op) {
  switch (op) {
    case CompareOp::Equal: return "==";
    case CompareOp::AllNotEqual: return "!=";
    case CompareOp::AllEqual: return "===";
    case CompareOp::AnyNotEqual: return "!==";
    case CompareOp::Less: return "<";
    case CompareOp::Greater: return ">";
    case CompareOp::LessEqual: return "<=";
    case CompareOp::GreaterEqual: return ">=";
  }
  return "?";
}

std::string OperandText(const Operand& o) { return std::string(o.field->abbrev) + o.sliceText; }

void AppendTree(std::string& out, const DisplayFilter::Node& n) {
  auto binary = [&](const char* op) {
    out += '(';
    out += op;
    out += ' ';
    AppendTree(out, *n.left);
    out += ' ';
    AppendTree(out, *n.right);
    out += ')';
  };
  switch (n.kind) {
    case NodeKind::And: binary("&&"); return;
    case NodeKind::Or: binary("||"); return;
    case NodeKind::Xor: binary("^^"); return;
    case NodeKind::Not:
      out += "(! ";
      AppendTree(out, *n.left);
      out += ')';
      return;
    case NodeKind::Exists: out += OperandText(n.lhs); return;
    case NodeKind::Compare:
      out += '(';
      out += OpText(n.op);
      out += ' ' + OperandText(n.lhs) + ' ';
      out += n.rhsIsField ? OperandText(n.rhs) : n.literal.text;
      out += ')';
      return;
    case NodeKind::Contains: out += "(contains " + OperandText(n.lhs) + ' ' + n.literal.text + ')'; return;
    case NodeKind::Matches: out += "(matches " + OperandText(n.lhs) + ' ' + n.literal.text + ')'; return;
    case NodeKind::In: {
      out += "(in " + OperandText(n.lhs) + " {";
      for (std::size_t i = 0; i < n.set.size(); ++i) {
        if (i != 0) out += ' ';
        out += n.set[i].low.text;
        if (n.set[i].isRange) out += ".." + n.set[i].high.text;
      }
      out += "})";
      return;
    }
  }
}

// A filter of more tokens, or nesting deeper, is refused before the
// recursive parser sees it: the tree it would make is evaluated and freed
// by recursion too.
bool TooComplex(const std::vector<Token>& tokens, DisplayFilterError* error) {
  if (tokens.size() > kMaxTokens) {
    *error = {"the filter has more than " + std::to_string(kMaxTokens) + " parts", tokens[kMaxTokens].column};
    return true;
  }
  std::size_t groups = 0;
  std::size_t negations = 0;  // in a row, before one test
  for (const Token& t : tokens) {
    const bool negation =
        (t.kind == TokenKind::Operator && t.text == "!") || (t.kind == TokenKind::Word && (t.text == "not" || t.text == "NOT"));
    if (t.kind == TokenKind::LeftParen) ++groups;
    if (t.kind == TokenKind::RightParen && groups > 0) --groups;
    negations = negation ? negations + 1 : t.kind == TokenKind::LeftParen ? negations : 0;
    if (groups + negations > kMaxNesting) {
      *error = {"the filter nests too deeply", t.column};
      return true;
    }
  }
  return false;
}

}  // namespace

std::string DisplayFilterError::Text() const { return "column " + std::to_string(column) + ": " + message; }

DisplayFilter::DisplayFilter(std::string text, std::unique_ptr<Node> root, std::vector<const FieldInfo*> fields)
    : text_(std::move(text)), root_(std::move(root)), fields_(std::move(fields)) {}

DisplayFilter::~DisplayFilter() = default;

std::string DisplayFilter::TreeText() const {
  std::string out;
  AppendTree(out, *root_);
  return out;
}

DisplayFilterPtr CompileDisplayFilter(std::string_view text, DisplayFilterError* error) {
  DisplayFilterError ignored;
  if (error == nullptr) error = &ignored;
  if (text.size() > kMaxFilterLength) {
    *error = {"the filter is longer than " + std::to_string(kMaxFilterLength) + " characters", 1};
    return nullptr;
  }
  std::vector<Token> tokens;
  if (!LexDisplayFilter(text, &tokens, error)) return nullptr;
  if (TooComplex(tokens, error)) return nullptr;
  std::vector<const FieldInfo*> fields;
  std::unique_ptr<DisplayFilter::Node> root = ParseDisplayFilter(tokens, &fields, error);
  if (!root) return nullptr;
  return std::make_shared<const DisplayFilter>(std::string(text), std::move(root), std::move(fields));
}

}  // namespace qv
