#pragma once
// The program's cache folder, $XDG_CACHE_HOME/quorvanet (or
// $HOME/.cache/quorvanet when XDG_CACHE_HOME is unset or not absolute), and
// the temporary files kept there: a compressed capture is decompressed into
// one so that its frames can be read back from a plain file.
//
// A temporary file has no name whenever the file system allows it
// (O_TMPFILE), so nothing is left behind even when the program is killed.
// Elsewhere it is made under a name holding the process id and unlinked at
// once; should the program die between the two, RemoveStaleCacheFiles finds
// the file by its name at the next start.

#include <string>

namespace qv {

// The folder's path, without a trailing slash; empty when neither
// XDG_CACHE_HOME nor HOME gives an absolute path. Nothing is created.
std::string CacheFolderPath();

struct CacheFolder {
  std::string path;   // empty when it could not be made
  std::string error;  // why, when it could not
};
// CacheFolderPath(), created with mode 0700 (and its missing parents) when
// it does not exist.
CacheFolder EnsureCacheFolder();

struct CacheFile {
  int fd = -1;        // read-write, close-on-exec, owned by the caller
  std::string error;  // why, when fd is -1
};
// A temporary file in `folder` that has no name: O_TMPFILE where the file
// system takes it, else MakeNamedCacheFile.
CacheFile MakeCacheFile(const std::string& folder);
// The fallback: mkstemp under decompressed-PID-XXXXXX, unlinked at once.
CacheFile MakeNamedCacheFile(const std::string& folder);

// A new file capture-PID-N.pcapng in `folder` for the capture helper to
// write (made with O_EXCL, mode 0600, write-only, close-on-exec); its name
// in `path`. It is removed by its user; should the program die first,
// RemoveStaleCacheFiles finds it by its name at the next start.
CacheFile MakeCaptureFile(const std::string& folder, std::string* path);

// Removes, directly in `folder`, the regular files named
// decompressed-PID-XXXXXX or capture-PID-N.pcapng whose process is no
// longer running, and nothing else. Returns how many were removed.
int RemoveStaleCacheFiles(const std::string& folder);
// The same in CacheFolderPath(), when it exists: called at start.
int RemoveStaleCacheFiles();

}  // namespace qv
