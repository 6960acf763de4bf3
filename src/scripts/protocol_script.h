#pragma once
// A protocol script: a small text file that describes a protocol carried on
// top of a built-in protocol or of another script. The model below is what
// the parser produces and what the renderer reads.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

// One byte test that must hold for the script to match.
struct ScriptCondition {
  char side = 'p';    // 'p'/'P': from the parent protocol's first byte; 'c'/'C': from the script's own first byte
  int start = 0;      // 0 or more
  char op = '=';      // '=', '!', '<' or '>'
  int value = 1;      // 1 or more; compared with one unsigned byte
};

// The value a label's conversions show: `width` big-endian bytes at the
// script start + `offset`.
struct ScriptValueGroup {
  std::uint32_t offset = 0;
  std::uint32_t width = 0;
};

struct ScriptField {
  enum class Kind { Single, Conditional };
  Kind kind = Kind::Single;
  int start = 0;     // from the script start
  int end = 0;       // exclusive
  int match = -1;    // conditional fields only
  std::string format;  // the line from its first double quote on, the quote included
  // Taken from `format` when the script is loaded:
  std::string label;   // between the opening and the closing quote
  std::optional<ScriptValueGroup> group;
};

struct ProtocolScript {
  std::string path;  // exactly as given to LoadScript
  bool enabled = true;
  std::string parentName;
  std::vector<ScriptCondition> conditions;
  std::string sizeRule;  // a decimal number, "&offset width" or "FULL"
  std::string ownName;
  std::vector<ScriptField> fields;
};

// A script that cannot be loaded; the text is the whole message for the user.
class CScriptExc : public std::runtime_error {
 public:
  explicit CScriptExc(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

}  // namespace qv
