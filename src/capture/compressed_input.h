#pragma once
// Capture files compressed with gzip, zstd or lz4: recognised by their
// magic numbers (never by their names) and decompressed into a temporary
// file of the cache folder, from which the frames are then read like those
// of any savefile.
//
// The compressed input may be a regular file or a pipe (standard input);
// it is read once, front to back, through fixed buffers: nothing is
// allocated from a length the input gives. Concatenated gzip members and
// several zstd or lz4 frames are decompressed one after the other, as the
// command-line tools do.
//
// A damaged or truncated stream still yields everything decompressed
// before the damage, with the reason and the compressed byte offset where
// it went wrong. The free room of the cache folder is looked at before and
// during the writing, so a large capture does not fill the disk to the last
// byte.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace qv {

enum class Compression { None, Gzip, Zstd, Lz4 };

// How many bytes at the start of a file DetectCompression needs to tell
// them apart; fewer give None.
inline constexpr std::size_t kCompressionMagicBytes = 4;

// By the magic numbers at the start of the file: gzip 1f 8b, a zstd frame
// 28 b5 2f fd, an lz4 frame 04 22 4d 18.
Compression DetectCompression(std::span<const std::uint8_t> head);

// "gzip", "zstd", "lz4" (and "none"), for messages.
const char* CompressionName(Compression compression);

// Told how many compressed bytes were consumed so far, of how many
// (0 when unknown, as for a pipe). Returns false to stop: the decompression
// then ends soon and returns what it has, marked as stopped.
using DecompressProgress = std::function<bool(std::uint64_t inputConsumed, std::uint64_t inputTotal)>;

// The bytes free for an unprivileged user in `folder`, or nothing when
// unknown (the room is then not checked until a write fails).
using FreeSpaceLookup = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
// statvfs: f_bavail blocks of f_frsize bytes.
std::optional<std::uint64_t> FreeSpaceOf(const std::string& folder);

struct DecompressOptions {
  // Where the temporary file goes; empty for the cache folder (made when
  // missing).
  std::string folder;
  // Empty for FreeSpaceOf; a test gives its own to stand for a full disk.
  FreeSpaceLookup freeSpace;
};

enum class DecompressProblem {
  None,
  Damaged,    // the compressed data is corrupt or cut short (errorOffset)
  ReadError,  // the input could not be read (errorOffset)
  NoRoom,     // the cache folder's file system is (or would be) full
  WriteError  // the temporary file could not be made or written
};

struct Decompressed {
  // The temporary file, positioned at 0, holding `size` decompressed
  // bytes; owned by the caller, who closes it (it then goes away). -1 when
  // none could be made, when the capture was refused at once for its size,
  // or when a stop was asked for before anything was decompressed.
  int fd = -1;
  std::uint64_t size = 0;
  bool stopped = false;
  DecompressProblem problem = DecompressProblem::None;
  std::string error;  // one line for the user, when there is a problem
  // For Damaged and ReadError: how far into the compressed input the
  // decoder had read when it found the fault (the end of the input when it
  // was cut short). The damage lies there or a little before it: zlib stops
  // at the code it cannot take, zstd and lz4 are only known to have failed
  // on the last 64 KiB they were given, after the block holding the damage.
  std::uint64_t errorOffset = 0;
};

// Decompresses the input `fd` (not closed here; read from its current
// position on) with `compression`, on the calling thread. `prefix` is what
// was already read from it to look at the magic, so that a pipe need not be
// rewound: it is taken as the stream's first bytes. A regular file is taken
// to be read from its start, so that its size is the input's length (for
// the progress and the room estimates). `displayName` names the capture in
// messages. `progress` may be empty.
Decompressed Decompress(int fd, std::span<const std::uint8_t> prefix, Compression compression,
                        const std::string& displayName, const DecompressProgress& progress,
                        const DecompressOptions& options = {});

}  // namespace qv
