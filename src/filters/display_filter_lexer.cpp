#include "filters/display_filter_lexer.h"

namespace qv {

namespace {

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == ':' || c == '-' || c == '/';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Quoted(std::string_view s) { return "`" + std::string(s) + "`"; }

// A string literal from the opening quote at `at`; its end in `*end`.
bool LexString(std::string_view text, std::size_t at, std::string* value, std::size_t* end,
               DisplayFilterError* error) {
  std::size_t i = at + 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      *end = i + 1;
      return true;
    }
    if (c != '\\') {
      *value += c;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) break;
    const char e = text[i + 1];
    switch (e) {
      case '"':
      case '\\':
      case '\'': *value += e; i += 2; continue;
      case 'n': *value += '\n'; i += 2; continue;
      case 't': *value += '\t'; i += 2; continue;
      case 'r': *value += '\r'; i += 2; continue;
      case 'a': *value += '\a'; i += 2; continue;
      case 'b': *value += '\b'; i += 2; continue;
      case 'f': *value += '\f'; i += 2; continue;
      case 'v': *value += '\v'; i += 2; continue;
      case 'x': {
        const int high = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        const int low = i + 3 < text.size() ? HexValue(text[i + 3]) : -1;
        if (high < 0) break;
        if (low < 0) {
          *value += static_cast<char>(high);
          i += 3;
        } else {
          *value += static_cast<char>(high * 16 + low);
          i += 4;
        }
        continue;
      }
      default:
        if (e >= '0' && e <= '7') {  // up to three octal digits
          int v = 0;
          std::size_t k = i + 1;
          for (int n = 0; n < 3 && k < text.size() && text[k] >= '0' && text[k] <= '7'; ++n, ++k) {
            v = v * 8 + (text[k] - '0');
          }
          if (v > 255) break;
          *value += static_cast<char>(v);
          i = k;
          continue;
        }
        break;
    }
    *error = {Quoted(text.substr(i, 2)) + " is not a valid escape in a string", i + 1};
    return false;
  }
  *error = {"the string that starts here is not closed", at + 1};
  return false;
}

}  // namespace

bool LexDisplayFilter(std::string_view text, std::vector<Token>* tokens, DisplayFilterError* error) {
  tokens->clear();
  std::size_t i = 0;
  auto push = [&](TokenKind kind, std::size_t length, std::string value) {
    Token t;
    t.kind = kind;
    t.text = std::move(value);
    t.source = text.substr(i, length);
    t.column = i + 1;
    tokens->push_back(std::move(t));
    i += length;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
      continue;
    }
    const std::string_view rest = text.substr(i);
    auto startsWith = [&](std::string_view s) { return rest.substr(0, s.size()) == s; };
    if (startsWith("..")) {
      push(TokenKind::Range, 2, "..");
      continue;
    }
    if (IsWordChar(c)) {
      std::size_t n = 0;
      // A word ends before "..", which separates the ends of a range.
      while (n < rest.size() && IsWordChar(rest[n]) && rest.substr(n, 2) != "..") ++n;
      push(TokenKind::Word, n, std::string(rest.substr(0, n)));
      continue;
    }
    if (c == '"') {
      std::string value;
      std::size_t end = 0;
      if (!LexString(text, i, &value, &end, error)) return false;
      push(TokenKind::String, end - i, std::move(value));
      continue;
    }
    if (c == '[') {
      const std::size_t close = rest.find(']');
      if (close == std::string_view::npos) {
        *error = {"`[` is not closed", i + 1};
        return false;
      }
      push(TokenKind::Slice, close + 1, std::string(rest.substr(1, close - 1)));
      continue;
    }
    static constexpr std::string_view kOperators[] = {"===", "!==", "==", "!=", "~=", "<=", ">=",
                                                      "&&",  "||",  "^^", "<",  ">",  "!"};
    bool matched = false;
    for (const std::string_view op : kOperators) {
      if (startsWith(op)) {
        push(TokenKind::Operator, op.size(), std::string(op));
        matched = true;
        break;
      }
    }
    if (matched) continue;
    switch (c) {
      case '(': push(TokenKind::LeftParen, 1, "("); continue;
      case ')': push(TokenKind::RightParen, 1, ")"); continue;
      case '{': push(TokenKind::LeftBrace, 1, "{"); continue;
      case '}': push(TokenKind::RightBrace, 1, "}"); continue;
      case ',': push(TokenKind::Comma, 1, ","); continue;
      default: break;
    }
    // A character of its own, shown whole even when it is one of several
    // bytes of UTF-8.
    std::size_t n = 1;
    while (n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
    *error = {Quoted(rest.substr(0, n)) + " is not expected in a display filter", i + 1};
    return false;
  }
  Token end;
  end.kind = TokenKind::End;
  end.column = text.size() + 1;
  tokens->push_back(std::move(end));
  return true;
}

}  // namespace qv
