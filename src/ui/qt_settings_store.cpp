#include "ui/qt_settings_store.h"

#include <QFile>
#include <QStandardPaths>
#include <QtDebug>

namespace qv {

namespace {

// QSettings decodes a value written as "@Variant(...)" with QDataStream while
// it reads the file, and a damaged one can claim gigabytes: the allocation
// then ends the program at every start. The program only stores integers and
// texts (QSettings writes a text that starts with "@" as "@@..."), so such
// lines are taken out before QSettings reads the file. The file as it was is
// kept beside it as "<file>.damaged".
QString WithoutSerialisedVariants(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return path;
  const QByteArray text = file.readAll();
  file.close();
  if (!text.contains("@Variant(")) return path;
  QByteArray kept;
  for (const QByteArray& line : text.split('\n')) {
    const qsizetype equals = line.indexOf('=');
    if (equals >= 0 && line.mid(equals + 1).trimmed().startsWith("@Variant(")) continue;
    kept += line;
    kept += '\n';
  }
  if (kept.endsWith('\n') && !text.endsWith('\n')) kept.chop(1);
  const QString damaged = path + QStringLiteral(".damaged");
  QFile::remove(damaged);
  if (!QFile::copy(path, damaged)) return path;
  QFile rewritten(path);
  if (rewritten.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    rewritten.write(kept);
    qWarning().noquote() << "Damaged values were taken out of the settings file" << path
                         << "; it was kept as it was in" << damaged;
  }
  return path;
}

QString UserSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Brenmoor Software/Quorvanet.ini");
}

QString Key(const std::string& section, const std::string& name) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(name);
}
}  // namespace

QtSettingsStore::QtSettingsStore() {
  WithoutSerialisedVariants(UserSettingsPath());
  settings_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                          QStringLiteral("Brenmoor Software"), QStringLiteral("Quorvanet"));
}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(WithoutSerialisedVariants(iniPath), QSettings::IniFormat)) {}

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
