#pragma once
// Capture log files on disk: the options a capture takes from the Logs page,
// the names "sniffed_DD_MM_YYYY_NNNN.log" created exclusively with the next
// free number of the day, and the deletion of old (or all) log files.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "capture/settings.h"

namespace qv {

// What a capture takes from the Logs page when it starts.
struct LogOptions {
  bool loggingOn = false;
  std::string directory;
  std::int32_t deleteAfterDays = -1;  // -1: never
  std::uint32_t maxPackets = 0;       // frames per file, 0: no limit
  std::uint64_t maxBytes = 0;         // captured bytes per file, 0: no limit
};

LogOptions TakeLogOptions(const Settings& settings);

// The directory as names are built from it: "." when empty, then ending in "/".
std::string LogDirectoryPrefix(const std::string& directory);

// "sniffed_%02d_%02d_%04d_%04d.log" for that local day and sequence number.
std::string LogFileName(const std::tm& localDay, int sequence);

struct CreatedLogFile {
  std::string path;  // empty on failure
  int fd = -1;       // the new empty file, open for writing
  int error = 0;     // errno of the failure
};

// Creates the first free name of the day in `directory` with O_EXCL, so two
// programs logging into one folder never share a file.
CreatedLogFile CreateLogFile(const std::string& directory, std::time_t now);

// "I couldn't create a log file :(\n error=%d\ndescription=%s"
std::string LogFileCreationMessage(int error);

enum class LogDeletion { Expired, All };

// Deletes the log files ("*.log" whose name contains "sniffed_") directly in
// `directory`; for Expired only those last written more than
// `deleteAfterDays` days before `now`. `keep` (the file being written) is
// never deleted. Files that cannot be deleted are skipped. Returns how many
// were deleted.
int DeleteLogFiles(const std::string& directory, LogDeletion which, std::int32_t deleteAfterDays,
                   std::chrono::system_clock::time_point now, const std::string& keep = {});

}  // namespace qv
