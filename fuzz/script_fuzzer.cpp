// The protocol-script parser over any text. Checked: a script is either
// taken or refused with the number of its faulty line, and nothing else
// escapes the parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "scripts/protocol_script.h"
#include "scripts/script_parser.h"
#include "scripts/script_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const qv::ScriptRegistry registry;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    (void)qv::ParseScriptText(text, "fuzz.ssc", registry.ParentNames());
  } catch (const qv::CScriptExc& e) {
    FUZZ_CHECK(e.Message().rfind("Line ", 0) == 0, "a refused script was not told its faulty line");
  }
  return 0;
}
