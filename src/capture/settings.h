#pragma once
// The program's options as they persist between runs: sections "pcap",
// "log" and "Filters" of the settings store, guarded by the marker
// "Test"/"TestValue", and "Protocols", which the Enabled Protocols dialog
// writes on its own.

#include <array>
#include <cstdint>
#include <string>

#include "capture/settings_store.h"
#include "decode/enabled_decoders.h"

namespace qv {

inline constexpr int kSettingsMarker = 6531;

struct Settings {
  std::string currentDevice;
  bool loggingOn = false;
  bool deleteOldLogs = false;
  bool sizeLimitOn = false;
  bool countLimitOn = false;
  std::int32_t deleteAfterDays = 30;
  double maxLogSize = 1.0;  // bytes
  std::int32_t maxLogCount = 100;
  std::string logDirectory;  // the program's folder, with a trailing "/"
  bool useDns = true;
  // "log"/"UseTrafficNames": host names the traffic gives (DNS answers, TLS
  // server names ...) name the conversations; 1, a missing or a damaged
  // value leave it on.
  bool useTrafficNames = true;
  bool checkForNewVersion = true;
  std::array<std::int32_t, 4> colours{-1, -1, -1, -1};  // 0x00BBGGRR, -1: not set
  std::int32_t bufferMaxCount = -1;  // -1: not set
  std::int32_t bufferMaxBytes = -1;
  std::int32_t whenFullAction = -1;
  std::int32_t statisticsRows = -1;
  // "Update"/"VersionUrl": where the version file is fetched; empty: no check.
  std::string versionUrl;
  std::int32_t kernelBufferMB = -1;  // "pcap"/"BufferMB", -1: not set
  std::int32_t memoryBudgetMB = -1;  // "pcap"/"MemoryBudgetMB", -1: not set
  // "Protocols"/<decoder name>: 0 switches a decoder off; 1, a missing or a
  // damaged value leave it on.
  EnabledDecoders decoders;
  // "Filters"/"MatchVlan": the rules also match VLAN-tagged frames.
  bool filterMatchVlan = false;
};

inline constexpr int kKernelBufferMinMB = 1;
inline constexpr int kKernelBufferMaxMB = 1024;
inline constexpr int kKernelBufferDefaultMB = 32;

// Half of the machine's physical memory, in MiB: what the packet buffer may
// hold unless the user says otherwise.
std::uint32_t DefaultMemoryBudgetMB();

// What counts while the program runs, with the defaults for unset values.
struct RuntimeOptions {
  std::uint32_t bufferMaxCount = 5000;
  std::uint32_t bufferMaxBytes = 10000000;
  int whenFullAction = 1;
  int statisticsRows = 30;
  bool useDns = true;
  bool useTrafficNames = true;
  bool checkForNewVersion = true;
  int kernelBufferMB = kKernelBufferDefaultMB;
  std::uint32_t memoryBudgetMB = DefaultMemoryBudgetMB();
  EnabledDecoders decoders;
  bool filterMatchVlan = false;
};

// Reads the options; without the marker every field keeps its initial value.
// `programFolder` is the initial log directory.
Settings LoadSettings(const SettingsStore& store, const std::string& programFolder);

// Writes every value and the marker; false when any write failed.
bool SaveSettings(SettingsStore& store, const Settings& settings);

// The "Protocols" section alone: read with or without the marker, since the
// Enabled Protocols dialog stores it the moment it is confirmed.
EnabledDecoders LoadEnabledDecoders(const SettingsStore& store);
bool SaveEnabledDecoders(SettingsStore& store, EnabledDecoders decoders);

// The run-time values: unset ones take their defaults, and the two buffer
// limits are taken only when both are set.
RuntimeOptions ResolveRuntimeOptions(const Settings& settings);

// Puts the run-time values back into the record before it is saved.
void StoreRuntimeOptions(Settings& settings, const RuntimeOptions& options);

}  // namespace qv
