// The settings loader over a damaged settings file: the input is written as
// the INI file that QSettings reads. Checked: loading never fails hard, and
// what was loaded survives a save and a reload unchanged, so a damaged file
// cannot make the program lose or alter values on its next start.
#include <unistd.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/settings.h"
#include "capture/settings_store.h"
#include "fuzz_check.h"
#include "ui/qt_settings_store.h"

namespace {

std::string ScratchFile() {
  return "/tmp/quorvanet-settings-fuzz-" + std::to_string(::getpid()) + ".ini";
}

bool SameSettings(const qv::Settings& a, const qv::Settings& b) {
  return a.currentDevice == b.currentDevice && a.loggingOn == b.loggingOn && a.deleteOldLogs == b.deleteOldLogs &&
         a.sizeLimitOn == b.sizeLimitOn && a.countLimitOn == b.countLimitOn &&
         a.deleteAfterDays == b.deleteAfterDays && a.maxLogSize == b.maxLogSize && a.maxLogCount == b.maxLogCount &&
         a.logDirectory == b.logDirectory && a.useDns == b.useDns && a.checkForNewVersion == b.checkForNewVersion &&
         a.colours == b.colours && a.bufferMaxCount == b.bufferMaxCount && a.bufferMaxBytes == b.bufferMaxBytes &&
         a.whenFullAction == b.whenFullAction && a.statisticsRows == b.statisticsRows &&
         a.versionUrl == b.versionUrl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = ScratchFile();
  {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  qv::Settings loaded;
  {
    const qv::QtSettingsStore store(QString::fromStdString(path));
    loaded = qv::LoadSettings(store, "/opt/quorvanet/");
  }
  (void)qv::ResolveRuntimeOptions(loaded);

  qv::MemorySettingsStore memory;
  FUZZ_CHECK(qv::SaveSettings(memory, loaded), "the loaded settings could not be saved");
  const qv::Settings reloaded = qv::LoadSettings(memory, "/opt/quorvanet/");
  FUZZ_CHECK(SameSettings(loaded, reloaded), "settings changed between a save and a reload");
  std::remove(path.c_str());
  return 0;
}
