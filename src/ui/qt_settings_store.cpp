#include "ui/qt_settings_store.h"

namespace qv {

namespace {
QString Key(const std::string& section, const std::string& name) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(name);
}
}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Brenmoor Software"), QStringLiteral("Quorvanet"))) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

std::optional<int> QtSettingsStore::GetInt(const std::string& section, const std::string& name) const {
  const QVariant v = settings_->value(Key(section, name));
  if (!v.isValid()) return std::nullopt;
  bool ok = false;
  const int i = v.toInt(&ok);
  if (!ok) return std::nullopt;  // a damaged value counts as absent
  return i;
}

std::optional<std::string> QtSettingsStore::GetString(const std::string& section, const std::string& name) const {
  const QVariant v = settings_->value(Key(section, name));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

bool QtSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
  settings_->setValue(Key(section, name), value);
  return settings_->status() == QSettings::NoError;
}

bool QtSettingsStore::SetString(const std::string& section, const std::string& name, const std::string& value) {
  settings_->setValue(Key(section, name), QString::fromStdString(value));
  return settings_->status() == QSettings::NoError;
}

bool QtSettingsStore::Flush() {
  settings_->sync();
  return settings_->status() == QSettings::NoError && settings_->isWritable();
}

}  // namespace qv
