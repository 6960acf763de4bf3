#pragma once
// Rule files (.rul): the whole state of the rule pages as CR LF text lines.
// The layout, in file order: header, version, join operator, then ETH, IP,
// TCP, ICMP ("enabled mask capture"), Size ("enabled relation number"), then
// MAC, IP and port entries ("enabled n" and n lines "value<TAB>direction"),
// then the advanced rules ("enabled n joiner" and n lines "text<TAB>flag").

#include <string>

#include "filters/filter_rules.h"

namespace qv {

inline constexpr const char* kRuleFileHeader = "QUORVANET LOG FILE";
inline constexpr const char* kDefaultRuleFileName = "_default_rules_.rul";

inline constexpr const char* kRuleFileNotOpened = "Cannot open file %s";
inline constexpr const char* kRuleFileNotRules = "That is not file with rules for this program!";
inline constexpr const char* kRuleFileWrongVersion = "That program does only serve version 1 of rule files!";
inline constexpr const char* kRuleFileDamaged = "The rule file %s is damaged or cut short; the rules were not changed.";

// Longest word (entry value, direction) and line a reader takes.
inline constexpr std::size_t kRuleFileMaxWord = 255;
inline constexpr std::size_t kRuleFileMaxLine = 1023;

std::string RuleFileText(const FilterRules& rules);

enum class RuleFileStatus { Ok, NotOpened, NotRules, WrongVersion, Damaged };

struct RuleFileRead {
  RuleFileStatus status = RuleFileStatus::Ok;
  FilterRules rules;  // the file's state, only when status is Ok
};

// Reads the whole file before anything is handed out: a damaged file gives
// no rules at all, so the pages keep what they had. LF alone is accepted.
RuleFileRead ParseRuleFile(const std::string& text);
RuleFileRead ReadRuleFile(const std::string& path);
// False when the file could not be written.
bool WriteRuleFile(const std::string& path, const FilterRules& rules);

// The message for a failed "Load" or "Save" of `path`, empty for Ok.
std::string RuleFileMessage(RuleFileStatus status, const std::string& path);

}  // namespace qv
