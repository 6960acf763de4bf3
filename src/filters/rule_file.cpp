#include "filters/rule_file.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "decode/text_format.h"

namespace qv {

namespace {

// A generous bound on a list's length: a count beyond it is damage, not rules.
constexpr long kMaxEntries = 1'000'000;
// Flags and numbers are C ints in the file.
constexpr long kIntMin = -2147483648L;
constexpr long kIntMax = 2147483647L;

void Line(std::string& out, const std::string& text) {
  out += text;
  out += "\r\n";
}

std::string Flag(bool on) { return on ? "1" : "0"; }

std::string ProtocolLine(const ProtocolRules& p) {
  return Flag(p.enabled) + " " + std::to_string(p.mask) + " " + Flag(p.capture);
}

// The number box's text as a decimal integer: leading digits, 0 when none.
long NumberValue(const std::string& text) {
  long value = 0;
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > 0x7FFFFFFF / 10) return 0;  // too long for the file's integer
    value = value * 10 + (text[i] - '0');
  }
  if (value > 0x7FFFFFFF) return 0;
  return negative ? -value : value;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // One line without its end; none at the end of the text or when too long.
  std::optional<std::string_view> NextLine() {
    if (at_ >= text_.size()) return std::nullopt;
    const std::size_t end = text_.find('\n', at_);
    std::string_view line = text_.substr(at_, end == std::string_view::npos ? std::string_view::npos : end - at_);
    at_ = end == std::string_view::npos ? text_.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kRuleFileMaxLine) return std::nullopt;
    return line;
  }

  void SkipRestOfLine() {
    const std::size_t end = text_.find('\n', at_);
    at_ = end == std::string_view::npos ? text_.size() : end + 1;
  }

  // A blank-separated word of at most kRuleFileMaxWord characters.
  std::optional<std::string_view> Word() {
    while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsBlank(text_[at_])) ++at_;
    if (at_ == start || at_ - start > kRuleFileMaxWord) return std::nullopt;
    return text_.substr(start, at_ - start);
  }

  std::optional<long> Number(long low, long high) {
    const std::optional<std::string_view> word = Word();
    if (!word) return std::nullopt;
    const char* first = word->data();
    if (*first == '+') ++first;
    long value = 0;
    const auto [end, ec] = std::from_chars(first, word->data() + word->size(), value);
    if (ec != std::errc() || end != word->data() + word->size() || value < low || value > high) return std::nullopt;
    return value;
  }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

  std::string_view text_;
  std::size_t at_ = 0;
};

bool ReadProtocol(Reader& r, ProtocolRules& p) {
  const auto enabled = r.Number(kIntMin, kIntMax);
  const auto mask = r.Number(0, 0xFFFF);
  const auto capture = r.Number(kIntMin, kIntMax);
  if (!enabled || !mask || !capture) return false;
  p.enabled = *enabled != 0;
  p.mask = static_cast<std::uint16_t>(*mask);
  p.capture = *capture == 1;
  return true;
}

bool ReadAddresses(Reader& r, AddressRules& page) {
  const auto enabled = r.Number(kIntMin, kIntMax);
  const auto count = r.Number(0, kMaxEntries);
  if (!enabled || !count) return false;
  page.enabled = *enabled != 0;
  page.entries.clear();
  for (long i = 0; i < *count; ++i) {
    const auto value = r.Word();
    const auto direction = r.Word();
    if (!value || !direction) return false;
    page.entries.push_back({std::string(*value), std::string(*direction)});
  }
  return true;
}

bool ReadAdvanced(Reader& r, AdvancedRules& page) {
  const auto enabled = r.Number(kIntMin, kIntMax);
  const auto count = r.Number(0, kMaxEntries);
  const auto joiner = r.Number(kIntMin, kIntMax);
  if (!enabled || !count || !joiner) return false;
  page.enabled = *enabled != 0;
  page.joinAnd = *joiner == 1;
  page.rules.clear();
  r.SkipRestOfLine();
  for (long i = 0; i < *count; ++i) {
    const auto line = r.NextLine();
    // The text, a TAB and a one-digit check flag.
    if (!line || line->size() < 2) return false;
    const char flag = line->back();
    if (flag < '0' || flag > '9') return false;
    page.rules.push_back({std::string(line->substr(0, line->size() - 2)), flag != '0'});
  }
  return true;
}

}  // namespace

std::string RuleFileText(const FilterRules& rules) {
  std::string out;
  Line(out, kRuleFileHeader);
  Line(out, "1");
  Line(out, Flag(rules.joinAnd));
  for (const ProtocolRules* p : {&rules.eth, &rules.ip, &rules.tcp, &rules.icmp}) Line(out, ProtocolLine(*p));
  Line(out, Flag(rules.size.enabled) + " " + std::to_string(rules.size.relation) + " " +
                std::to_string(NumberValue(rules.size.number)));
  for (const AddressRules* page : {&rules.mac, &rules.ipAddr, &rules.ports}) {
    Line(out, Flag(page->enabled) + " " + std::to_string(page->entries.size()));
    for (const AddressEntry& e : page->entries) Line(out, e.value + "\t" + e.direction);
  }
  const AdvancedRules& a = rules.advanced;
  Line(out, Flag(a.enabled) + " " + std::to_string(a.rules.size()) + " " + Flag(a.joinAnd));
  for (const AdvancedRule& rule : a.rules) Line(out, rule.text + "\t" + Flag(rule.checked));
  return out;
}

RuleFileRead ParseRuleFile(const std::string& text) {
  RuleFileRead out;
  Reader r(text);
  const std::optional<std::string_view> header = r.NextLine();
  if (!header || *header != kRuleFileHeader) {
    out.status = RuleFileStatus::NotRules;
    return out;
  }
  if (r.Number(kIntMin, kIntMax) != 1) {
    out.status = RuleFileStatus::WrongVersion;
    return out;
  }
  // Everything goes into a fresh state; the caller adopts it only whole.
  FilterRules rules;
  bool ok = false;
  if (const auto join = r.Number(kIntMin, kIntMax)) {
    rules.joinAnd = *join != 0;
    ok = ReadProtocol(r, rules.eth) && ReadProtocol(r, rules.ip) && ReadProtocol(r, rules.tcp) &&
         ReadProtocol(r, rules.icmp);
  }
  if (ok) {
    const auto enabled = r.Number(kIntMin, kIntMax);
    const auto relation = r.Number(-1, 2);
    const auto number = r.Number(kIntMin, kIntMax);
    ok = enabled && relation && number;
    if (ok) {
      rules.size.enabled = *enabled != 0;
      rules.size.relation = static_cast<int>(*relation);
      rules.size.number = Format("%d", static_cast<int>(*number));
    }
  }
  ok = ok && ReadAddresses(r, rules.mac) && ReadAddresses(r, rules.ipAddr) && ReadAddresses(r, rules.ports) &&
       ReadAdvanced(r, rules.advanced);
  if (!ok) {
    out.status = RuleFileStatus::Damaged;
    return out;
  }
  out.rules = std::move(rules);
  return out;
}

RuleFileRead ReadRuleFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {RuleFileStatus::NotOpened, {}};
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return {RuleFileStatus::NotOpened, {}};
  return ParseRuleFile(text.str());
}

bool WriteRuleFile(const std::string& path, const FilterRules& rules) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << RuleFileText(rules);
  out.close();
  return !out.fail();
}

std::string RuleFileMessage(RuleFileStatus status, const std::string& path) {
  switch (status) {
    case RuleFileStatus::Ok:
      return {};
    case RuleFileStatus::NotOpened:
      return Format(kRuleFileNotOpened, path.c_str());
    case RuleFileStatus::NotRules:
      return kRuleFileNotRules;
    case RuleFileStatus::WrongVersion:
      return kRuleFileWrongVersion;
    case RuleFileStatus::Damaged:
      break;
  }
  return Format(kRuleFileDamaged, path.c_str());
}

}  // namespace qv
