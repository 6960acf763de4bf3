#include "scripts/script_registry.h"

#include "scripts/script_parser.h"
#include "scripts/script_text.h"

namespace qv {

ScriptRegistry::ScriptRegistry()
    : parentNames_{"tcp", "ipv4", "udp", "eth", "llc", "ipx", "nbipx", "netbios"} {}

void ScriptRegistry::LoadScript(const std::string& path) {
  ProtocolScript script = ParseScriptFile(path, parentNames_);
  bool known = false;
  for (const auto& name : parentNames_) known = known || scripttext::EqualsNoCase(name, script.ownName);
  if (!known) parentNames_.push_back(script.ownName);
  scripts_.push_front(std::move(script));
}

bool ScriptRegistry::ValidateScript(const std::string& path) const {
  ParseScriptFile(path, parentNames_);
  return true;
}

std::deque<ProtocolScript>::iterator ScriptRegistry::Find(std::string_view path) {
  for (auto it = scripts_.begin(); it != scripts_.end(); ++it) {
    if (scripttext::EqualsNoCase(it->path, path)) return it;
  }
  return scripts_.end();
}

void ScriptRegistry::RemoveScript(const std::string& path) {
  if (auto it = Find(path); it != scripts_.end()) scripts_.erase(it);
}

void ScriptRegistry::SetScriptEnabled(const std::string& path, bool enabled) {
  if (auto it = Find(path); it != scripts_.end()) it->enabled = enabled;
}

}  // namespace qv
