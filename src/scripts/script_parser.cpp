#include "scripts/script_parser.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>

#include "scripts/script_text.h"

namespace qv {

namespace st = scripttext;

namespace {

[[noreturn]] void Fail(int line, std::string_view what) {
  throw CScriptExc("Line " + std::to_string(line) + ": " + std::string(what));
}

// Hands out the lines of a stream one at a time and counts them. A line ends
// at LF; a CR before the LF is not part of it. Reading stops at the first
// line that is too long or holds a NUL byte, so no input (not even an endless
// device) is read on beyond one line's limit.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}

  int Number() const { return number_; }

  // The next line, or nothing at the end of the input.
  std::optional<std::string_view> Next() {
    ++number_;
    line_.clear();
    std::streambuf* buffer = in_.rdbuf();
    bool any = false;
    for (;;) {
      const auto c = buffer->sbumpc();
      if (c == std::char_traits<char>::eof()) break;
      any = true;
      if (c == '\n') break;
      if (c == '\0') Fail(number_, "not a text line (binary data)");
      line_.push_back(static_cast<char>(c));
      if (line_.size() > kMaxScriptLineLength + 1) Fail(number_, "line too long (over 1023 characters)");
    }
    if (!any) return std::nullopt;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.size() > kMaxScriptLineLength) Fail(number_, "line too long (over 1023 characters)");
    return std::string_view(line_);
  }

  // A line the format requires; the end of the input here is a fault.
  std::string_view Required() {
    auto line = Next();
    if (!line) Fail(number_, "unexpected end of file");
    return *line;
  }

 private:
  std::istream& in_;
  std::string line_;
  int number_ = 0;
};

bool IsParentName(std::string_view name, const std::vector<std::string>& parentNames) {
  for (const auto& known : parentNames) {
    if (st::EqualsNoCase(known, name)) return true;
  }
  return false;
}

// Line 2: exactly the decimal digits of a non-negative integer.
int ParseCount(std::string_view text, int line) {
  text = st::Trim(text);
  std::string_view rest = text;
  const auto n = st::ReadInt(rest);
  if (!n || *n < 0 || std::to_string(*n) != text) Fail(line, "I only need a size value there");
  return *n;
}

// "%c %d %c %d": side, start, operator, value.
ScriptCondition ParseCondition(std::string_view text, int line) {
  std::optional<char> side;
  std::optional<int> start;
  std::optional<char> op;
  std::optional<int> value;
  std::string_view rest = text;
  if (!rest.empty()) {
    side = rest.front();
    rest.remove_prefix(1);
    start = st::ReadInt(rest);
    if (start) {
      rest = st::SkipSpace(rest);
      if (!rest.empty()) {
        op = rest.front();
        rest.remove_prefix(1);
        value = st::ReadInt(rest);
      }
    }
  }
  if (!side || (*side != 'p' && *side != 'P' && *side != 'c' && *side != 'C'))
    Fail(line, "missing parameter - choose <p> or <c>");
  if (!start || *start < 0) Fail(line, "bad value of <<start>> argument");
  if (!value || *value < 1) Fail(line, "bad value of the argument");
  if (!op || (*op != '=' && *op != '!' && *op != '>' && *op != '<')) Fail(line, "bad value of condition argument indeed");
  // What follows the value: the line up to the operator, then up to the
  // value's digits, is dropped; only whitespace may remain.
  std::string_view tail = st::DropThrough(text, std::string_view(&*op, 1));
  tail = st::DropThrough(tail, std::to_string(*value));
  if (!st::OnlySpace(tail)) Fail(line, "Too many <<things>>");
  return ScriptCondition{*side, *start, *op, *value};
}

// "FULL", "&offset width" or a decimal number; empty counts as 0.
std::string ParseSizeRule(std::string_view text, int line) {
  text = st::Trim(text);
  if (st::EqualsNoCase(text, "FULL")) return std::string(text);
  std::string_view rest;
  if (!text.empty() && text.front() == '&') {
    std::string_view numbers = text.substr(1);
    std::string_view scan = numbers;
    const int offset = st::ReadInt(scan).value_or(0);
    const int width = st::ReadInt(scan).value_or(0);
    rest = st::DropThrough(numbers, std::to_string(offset));
    rest = st::DropThrough(rest, std::to_string(width));
  } else {
    std::string_view scan = text;
    const int size = st::ReadInt(scan).value_or(0);
    rest = st::DropThrough(text, std::to_string(size));
  }
  if (!st::OnlySpace(rest)) Fail(line, "something is a bit fucked up there, perhaps to big amount of <<things>>");
  return std::string(text);
}

std::uint32_t SaturatingDigits(std::string_view digits) {
  std::uint64_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(value);
}

// The text after a label's closing quote: at most one value group, a comma
// then an offset and a width, whitespace around them.
std::optional<ScriptValueGroup> ParseValueGroup(std::string_view text, int line) {
  enum State { kComma, kAfterComma, kOffset, kAfterOffset, kWidth } state = kComma;
  int groupsLeft = 1;
  bool seenComma = false;
  std::size_t offsetBegin = 0, offsetEnd = 0, widthBegin = 0, widthEnd = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (st::IsSpace(c)) {
      if (state == kOffset) {
        state = kAfterOffset;
      } else if (state == kWidth) {
        state = kComma;
        --groupsLeft;
      }
      continue;
    }
    if (groupsLeft == 0) Fail(line, "error");
    switch (state) {
      case kComma:
        if (c != ',') Fail(line, "error");
        seenComma = true;
        state = kAfterComma;
        break;
      case kAfterComma:
      case kOffset:
        if (!st::IsDigit(c)) Fail(line, "error");
        if (state == kAfterComma) offsetBegin = i;
        offsetEnd = i + 1;
        state = kOffset;
        break;
      case kAfterOffset:
      case kWidth:
        if (!st::IsDigit(c)) Fail(line, "error");
        if (state == kAfterOffset) widthBegin = i;
        widthEnd = i + 1;
        state = kWidth;
        break;
    }
  }
  if (!seenComma) return std::nullopt;
  ScriptValueGroup group;
  group.offset = SaturatingDigits(text.substr(offsetBegin, offsetEnd - offsetBegin));
  group.width = SaturatingDigits(text.substr(widthBegin, widthEnd - widthBegin));
  return group;
}

// "single: start end "label" [, offset width]" or
// "condit: start end match "label" [, offset width]".
ScriptField ParseField(std::string_view text, int line) {
  if (text.size() < 7) Fail(line, "bad begining of line");
  const std::string_view keyword = text.substr(0, 7);
  ScriptField field;
  if (st::EqualsNoCase(keyword, "condit:")) {
    field.kind = ScriptField::Kind::Conditional;
  } else if (!st::EqualsNoCase(keyword, "single:")) {
    Fail(line, "bad begining of line");
  }
  std::string_view rest = st::Trim(text.substr(7));
  std::string_view scan = rest;
  const auto start = st::ReadInt(scan);
  const auto end = start ? st::ReadInt(scan) : std::nullopt;
  if (!start || !end) Fail(line, "error");
  field.start = *start;
  field.end = *end;
  rest = st::DropThrough(rest, std::to_string(*start));
  rest = st::Trim(st::DropThrough(rest, std::to_string(*end)));
  if (field.kind == ScriptField::Kind::Conditional) {
    scan = rest;
    const auto match = st::ReadInt(scan);
    if (!match || rest.find(std::to_string(*match)) == std::string_view::npos) Fail(line, "error");
    field.match = *match;
    rest = st::Trim(st::DropThrough(rest, std::to_string(*match)));
  }
  if (rest.empty() || rest.front() != '"') Fail(line, "error");
  const auto close = rest.find('"', 1);
  if (close == 1 || close == std::string_view::npos) Fail(line, "error");
  field.label = std::string(rest.substr(1, close - 1));
  field.group = ParseValueGroup(rest.substr(close + 1), line);
  field.format = std::string(text.substr(text.find('"')));
  return field;
}

ProtocolScript ParseScriptStream(std::istream& in, const std::string& path,
                                 const std::vector<std::string>& parentNames) {
  LineReader lines(in);
  ProtocolScript script;
  script.path = path;

  script.parentName = std::string(st::Trim(lines.Required()));
  if (!IsParentName(script.parentName, parentNames)) Fail(lines.Number(), "Unknown parent protocol");

  const std::string_view countLine = lines.Required();
  const int conditions = ParseCount(countLine, lines.Number());
  for (int i = 0; i < conditions; ++i) {
    const std::string_view line = lines.Required();
    script.conditions.push_back(ParseCondition(line, lines.Number()));
  }

  {
    const std::string_view line = lines.Required();
    script.sizeRule = ParseSizeRule(line, lines.Number());
  }
  script.ownName = std::string(st::Trim(lines.Required()));

  while (const auto line = lines.Next()) {
    const std::string_view trimmed = st::Trim(*line);
    if (trimmed.empty()) continue;
    script.fields.push_back(ParseField(trimmed, lines.Number()));
  }
  return script;
}

}  // namespace

ProtocolScript ParseScriptText(std::string_view text, const std::string& path,
                               const std::vector<std::string>& parentNames) {
  std::istringstream in{std::string(text)};
  return ParseScriptStream(in, path, parentNames);
}

ProtocolScript ParseScriptFile(const std::string& path, const std::vector<std::string>& parentNames) {
  std::error_code error;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, error)) in.open(path, std::ios::binary);
  if (!in.is_open()) throw CScriptExc("Error while opening file: " + path);
  return ParseScriptStream(in, path, parentNames);
}

}  // namespace qv
