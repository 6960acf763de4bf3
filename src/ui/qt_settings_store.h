#pragma once
// Settings kept with QSettings: organisation "Brenmoor Software",
// application "Quorvanet" (an INI file in the user's configuration folder).
// A section is a group, a value keeps its name: "log/TotalMaxCnt".

#include <QSettings>

#include <memory>

#include "capture/settings_store.h"

namespace qv {

class QtSettingsStore : public SettingsStore {
 public:
  // The user's settings.
  QtSettingsStore();
  // An INI file of its own (tests).
  explicit QtSettingsStore(const QString& iniPath);

  std::optional<int> GetInt(const std::string& section, const std::string& name) const override;
  std::optional<std::string> GetString(const std::string& section, const std::string& name) const override;
  bool SetInt(const std::string& section, const std::string& name, int value) override;
  bool SetString(const std::string& section, const std::string& name, const std::string& value) override;
  bool Flush() override;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace qv
