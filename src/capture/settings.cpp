#include "capture/settings.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace qv {

namespace {

constexpr const char* kLog = "log";
constexpr const char* kProtocols = "Protocols";
constexpr const char* kFilters = "Filters";

void ReadFlag(const SettingsStore& store, const char* name, bool& field) {
  const int v = store.GetInt(kLog, name).value_or(-1);
  if (v == 1) field = true;
  if (v == 0) field = false;
}

void ReadSwitch(const SettingsStore& store, const char* name, bool& field) {
  const int v = store.GetInt(kLog, name).value_or(-1);
  if (v != -1) field = v != 0;
}

void ReadInt(const SettingsStore& store, const char* name, std::int32_t& field) {
  const int v = store.GetInt(kLog, name).value_or(-1);
  if (v != -1) field = v;
}

}  // namespace

std::uint32_t DefaultMemoryBudgetMB() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 1024;
  const std::uint64_t half = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
  return static_cast<std::uint32_t>(std::max<std::uint64_t>(half >> 20, 1));
}

Settings LoadSettings(const SettingsStore& store, const std::string& programFolder) {
  Settings s;
  s.logDirectory = programFolder;
  // Set by hand in the settings file, so read with or without the marker.
  s.versionUrl = store.GetString("Update", "VersionUrl").value_or("");
  s.decoders = LoadEnabledDecoders(store);
  if (store.GetInt("Test", "TestValue").value_or(0) != kSettingsMarker) return s;

  const std::string device = store.GetString("pcap", "CurrentDevice").value_or("");
  if (!device.empty()) s.currentDevice = device;
  const std::string directory = store.GetString(kLog, "Directory").value_or("");
  if (!directory.empty()) s.logDirectory = directory;

  ReadFlag(store, "Bool", s.loggingOn);
  ReadFlag(store, "BoolDelete", s.deleteOldLogs);
  ReadFlag(store, "BoolSize", s.sizeLimitOn);
  ReadFlag(store, "BoolCnt", s.countLimitOn);
  ReadInt(store, "Delete", s.deleteAfterDays);
  const int size = store.GetInt(kLog, "Size").value_or(-1);
  if (size != -1) s.maxLogSize = static_cast<double>(size);
  ReadInt(store, "Cnt", s.maxLogCount);
  ReadSwitch(store, "UseDNS", s.useDns);
  ReadFlag(store, "UseTrafficNames", s.useTrafficNames);
  ReadSwitch(store, "CheckForNewVer", s.checkForNewVersion);
  for (int i = 0; i < 4; ++i) {
    ReadInt(store, ("color " + std::to_string(i + 1)).c_str(), s.colours[static_cast<std::size_t>(i)]);
  }
  ReadInt(store, "TotalMaxCnt", s.bufferMaxCount);
  ReadInt(store, "TotalMaxSize", s.bufferMaxBytes);
  ReadInt(store, "Action", s.whenFullAction);
  ReadInt(store, "TotalMaxStatCnt", s.statisticsRows);
  for (auto [name, field] : {std::pair{"BufferMB", &s.kernelBufferMB}, std::pair{"MemoryBudgetMB", &s.memoryBudgetMB}}) {
    const int v = store.GetInt("pcap", name).value_or(-1);
    if (v != -1) *field = v;
  }
  s.filterMatchVlan = store.GetInt(kFilters, "MatchVlan").value_or(0) == 1;
  return s;
}

bool SaveSettings(SettingsStore& store, const Settings& s) {
  bool ok = true;
  auto put = [&](const char* name, int value) { ok = store.SetInt(kLog, name, value) && ok; };
  ok = store.SetInt("Test", "TestValue", kSettingsMarker) && ok;
  ok = store.SetString("pcap", "CurrentDevice", s.currentDevice) && ok;
  ok = store.SetString(kLog, "Directory", s.logDirectory) && ok;
  ok = store.SetString("Update", "VersionUrl", s.versionUrl) && ok;
  put("Bool", s.loggingOn ? 1 : 0);
  put("BoolDelete", s.deleteOldLogs ? 1 : 0);
  put("BoolSize", s.sizeLimitOn ? 1 : 0);
  put("BoolCnt", s.countLimitOn ? 1 : 0);
  put("Delete", s.deleteAfterDays);
  // Stored as whole bytes.
  put("Size", static_cast<int>(s.maxLogSize));
  put("Cnt", s.maxLogCount);
  put("UseDNS", s.useDns ? 1 : 0);
  put("UseTrafficNames", s.useTrafficNames ? 1 : 0);
  put("CheckForNewVer", s.checkForNewVersion ? 1 : 0);
  for (int i = 0; i < 4; ++i) put(("color " + std::to_string(i + 1)).c_str(), s.colours[static_cast<std::size_t>(i)]);
  put("TotalMaxCnt", s.bufferMaxCount);
  put("TotalMaxSize", s.bufferMaxBytes);
  put("Action", s.whenFullAction);
  put("TotalMaxStatCnt", s.statisticsRows);
  ok = store.SetInt("pcap", "BufferMB", s.kernelBufferMB) && ok;
  ok = store.SetInt("pcap", "MemoryBudgetMB", s.memoryBudgetMB) && ok;
  ok = store.SetInt(kFilters, "MatchVlan", s.filterMatchVlan ? 1 : 0) && ok;
  ok = SaveEnabledDecoders(store, s.decoders) && ok;
  return ok;
}

EnabledDecoders LoadEnabledDecoders(const SettingsStore& store) {
  EnabledDecoders decoders;
  for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
    // Only a plain 0 switches a decoder off: a value that is neither 0 nor 1
    // was not written by the program, and a decoder left on is the safe guess.
    if (store.GetInt(kProtocols, std::string(kOptionalDecoders[i].name)).value_or(-1) == 0) {
      decoders.Set(static_cast<OptionalDecoder>(i), false);
    }
  }
  return decoders;
}

bool SaveEnabledDecoders(SettingsStore& store, EnabledDecoders decoders) {
  bool ok = true;
  for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
    const bool on = decoders.IsOn(static_cast<OptionalDecoder>(i));
    ok = store.SetInt(kProtocols, std::string(kOptionalDecoders[i].name), on ? 1 : 0) && ok;
  }
  return ok;
}

RuntimeOptions ResolveRuntimeOptions(const Settings& s) {
  RuntimeOptions r;
  if (s.bufferMaxCount != -1 && s.bufferMaxBytes != -1) {
    r.bufferMaxCount = static_cast<std::uint32_t>(s.bufferMaxCount);
    r.bufferMaxBytes = static_cast<std::uint32_t>(s.bufferMaxBytes);
  }
  // Only the three known actions: anything else would turn the limits off.
  if (s.whenFullAction >= 0 && s.whenFullAction <= 2) r.whenFullAction = s.whenFullAction;
  if (s.statisticsRows != -1) r.statisticsRows = s.statisticsRows;
  r.useDns = s.useDns;
  r.useTrafficNames = s.useTrafficNames;
  r.checkForNewVersion = s.checkForNewVersion;
  if (s.kernelBufferMB >= kKernelBufferMinMB && s.kernelBufferMB <= kKernelBufferMaxMB) {
    r.kernelBufferMB = s.kernelBufferMB;
  }
  if (s.memoryBudgetMB > 0) r.memoryBudgetMB = static_cast<std::uint32_t>(s.memoryBudgetMB);
  r.decoders = s.decoders;
  r.filterMatchVlan = s.filterMatchVlan;
  return r;
}

void StoreRuntimeOptions(Settings& s, const RuntimeOptions& r) {
  s.bufferMaxCount = static_cast<std::int32_t>(r.bufferMaxCount);
  s.bufferMaxBytes = static_cast<std::int32_t>(r.bufferMaxBytes);
  s.whenFullAction = r.whenFullAction;
  s.statisticsRows = r.statisticsRows;
  s.useDns = r.useDns;
  s.useTrafficNames = r.useTrafficNames;
  s.checkForNewVersion = r.checkForNewVersion;
  s.kernelBufferMB = r.kernelBufferMB;
  s.decoders = r.decoders;
  s.filterMatchVlan = r.filterMatchVlan;
  // The budget is stored only once the user has set one: the default
  // follows the machine.
}

}  // namespace qv
