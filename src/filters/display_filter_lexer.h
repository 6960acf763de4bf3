#pragma once
// The tokens of a display filter. A word is a run of the characters that
// field names and unquoted literals are made of (letters, digits, "_", ".",
// ":", "-", "/"), so "ip.src", "10.0.0.0/8", "fe80::1" and "00:11:22" are
// each one word; what a word is, the parser decides by where it stands.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "filters/display_filter.h"

namespace qv {

enum class TokenKind : unsigned char {
  Word,
  String,     // "...", text holds the unescaped bytes
  Slice,      // [...], text holds what is between the brackets
  Operator,   // == != === !== ~= < > <= >= && || ! ^^
  LeftParen,
  RightParen,
  LeftBrace,
  RightBrace,
  Comma,
  Range,      // .. between the ends of a range in a set
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;        // as written (a string's unescaped value)
  std::string_view source; // the token as it stands in the filter
  std::size_t column = 0;  // 1-based
};

// Splits `text` into tokens ending with an End token. False, with `error`
// filled in, at a character that starts no token or a string or slice
// left open.
bool LexDisplayFilter(std::string_view text, std::vector<Token>* tokens, DisplayFilterError* error);

}  // namespace qv
