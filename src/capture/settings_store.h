#pragma once
// Where settings persist: sections of named integers and texts. The program
// keeps them with QSettings; tests and the command-line front end use the
// in-memory store.

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace qv {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::optional<int> GetInt(const std::string& section, const std::string& name) const = 0;
  virtual std::optional<std::string> GetString(const std::string& section, const std::string& name) const = 0;
  virtual bool SetInt(const std::string& section, const std::string& name, int value) = 0;
  virtual bool SetString(const std::string& section, const std::string& name, const std::string& value) = 0;
  // Writes what was set to its permanent place; false when that failed.
  virtual bool Flush() { return true; }
};

class MemorySettingsStore : public SettingsStore {
 public:
  std::optional<int> GetInt(const std::string& section, const std::string& name) const override {
    auto it = ints_.find({section, name});
    if (it == ints_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> GetString(const std::string& section, const std::string& name) const override {
    auto it = strings_.find({section, name});
    if (it == strings_.end()) return std::nullopt;
    return it->second;
  }
  bool SetInt(const std::string& section, const std::string& name, int value) override {
    ints_[{section, name}] = value;
    return true;
  }
  bool SetString(const std::string& section, const std::string& name, const std::string& value) override {
    strings_[{section, name}] = value;
    return true;
  }

 private:
  std::map<std::pair<std::string, std::string>, int> ints_;
  std::map<std::pair<std::string, std::string>, std::string> strings_;
};

}  // namespace qv
