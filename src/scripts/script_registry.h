#pragma once
// The loaded protocol scripts of one capture document and the names that a
// script may give as its parent: the built-in protocols that offer their
// payloads, and the own name of every script loaded so far.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "scripts/protocol_script.h"

namespace qv {

class ScriptRegistry {
 public:
  ScriptRegistry();

  // Parses and adds the file; it then stands first and is enabled. Throws
  // CScriptExc on any fault and leaves the registry as it was.
  void LoadScript(const std::string& path);
  // Checks the file without loading it; true, or CScriptExc at the first fault.
  bool ValidateScript(const std::string& path) const;
  // Unloads the first script whose path equals `path` (any letter case).
  void RemoveScript(const std::string& path);
  // Enables or disables the first script whose path equals `path` (any letter case).
  void SetScriptEnabled(const std::string& path, bool enabled);

  // Only grows: a removed script's own name stays usable as a parent.
  const std::vector<std::string>& ParentNames() const { return parentNames_; }
  // The most recently loaded first.
  const std::deque<ProtocolScript>& Scripts() const { return scripts_; }
  // The script loaded last, or null.
  const ProtocolScript* FirstScript() const { return scripts_.empty() ? nullptr : &scripts_.front(); }

 private:
  std::deque<ProtocolScript>::iterator Find(std::string_view path);

  std::vector<std::string> parentNames_;
  std::deque<ProtocolScript> scripts_;
};

}  // namespace qv
