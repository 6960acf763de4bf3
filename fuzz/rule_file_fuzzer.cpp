// The rule-file reader over any text. Checked: a failed load hands out no
// rules at all (the pages keep what they had), and a file that loads writes
// back to a file that loads to the same rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filters/filter_rules.h"
#include "filters/rule_file.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const qv::RuleFileRead read = qv::ParseRuleFile(text);
  if (read.status != qv::RuleFileStatus::Ok) {
    FUZZ_CHECK(read.rules == qv::FilterRules{}, "a failed load still handed out rules");
    return 0;
  }
  const qv::RuleFileRead again = qv::ParseRuleFile(qv::RuleFileText(read.rules));
  FUZZ_CHECK(again.status == qv::RuleFileStatus::Ok, "rules that loaded did not load again once written");
  FUZZ_CHECK(again.rules == read.rules, "rules changed between a write and a reload");
  return 0;
}
