#pragma once
// The windows the program opens at start. The desktop entry starts the
// program with the capture files chosen in the file manager (its %F field),
// so every file opened from there gets a window of its own, in a process of
// its own when the program is already running.

#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace qv {

class CMainFrame;
class HostResolver;
class QtUserPrompt;
class SettingsStore;

// The capture files among the program's arguments (the first is the
// program itself); "file:" URLs count as their local files.
QStringList CaptureFileArguments(const QStringList& arguments);

// Shows one window for each file, reading it; one empty window when there is
// no file. `resolver` answers their host-name lookups (null: none are made).
std::vector<std::unique_ptr<CMainFrame>> OpenLaunchWindows(const QStringList& files, SettingsStore& store,
                                                           QtUserPrompt& prompt, const std::string& programFolder,
                                                           std::shared_ptr<HostResolver> resolver = nullptr);

}  // namespace qv
