#pragma once
// Saving a capture compressed with gzip: a stdio stream whose bytes are
// compressed on their way to the file, so that a writer of savefiles writes
// through it as through any FILE*. fclose ends the gzip stream (its last
// block and trailer) and closes the file; like fwrite, it fails when the
// file could not be written whole, with the reason in errno.

#include <cstdio>
#include <string>

namespace qv {

// A capture saved under a name ending in ".gz" is written compressed.
bool IsGzipFileName(const std::string& path);

// Creates (or truncates) `path` and returns a stream for writing only; null
// with errno set when the file cannot be made.
std::FILE* OpenGzipFileForWriting(const std::string& path);

}  // namespace qv
