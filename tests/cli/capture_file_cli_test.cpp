// quorvanet-cli with capture files as users have them: compressed, on
// standard input, and saved in the format asked for.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli/read_progress_line.h"
#include "shell_command.h"
#include "temp_dir.h"

namespace qv {
namespace {

using testing::CommandRun;
using testing::RunShell;

const std::string kCli = QUORVANET_CLI_PATH;
const std::string kDemo = std::string(QUORVANET_SOURCE_DIR) + "/samples/demo.pcap";

std::string FirstBytes(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string out(n, '\0');
  in.read(out.data(), static_cast<std::streamsize>(n));
  out.resize(static_cast<std::size_t>(in.gcount()));
  return out;
}

TEST(CaptureFileCli, CompressedFilesAndStandardInputReadAsThePlainFile) {
  const CommandRun plain = RunShell(kCli + " -q -r " + kDemo, false);
  ASSERT_EQ(plain.status, 0) << plain.out;
  testing::TempDir dir;
  struct Case {
    const char* tool;
    const char* command;  // what to run; FILE and OUT stand for the demo capture and the copy
  };
  const Case cases[] = {
      {"gzip", "gzip -c FILE > OUT && CLI -q -r OUT"},
      {"gzip", "gzip -c FILE | CLI -q -r -"},
      {"zstd", "zstd -q -c FILE > OUT && CLI -q -r OUT"},
      {"lz4", "lz4 -q -c FILE > OUT && CLI -q -r OUT"},
      {"cat", "cat FILE | CLI -q -r -"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (RunShell(std::string("command -v ") + c.tool).status != 0) continue;  // not every tool is installed
    std::string command = c.command;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"FILE", kDemo}, {"OUT", dir.File("copy")},
                                   {"CLI", kCli}}) {
      for (std::size_t at; (at = command.find(from)) != std::string::npos;) command.replace(at, from.size(), to);
    }
    const CommandRun run = RunShell(command, false);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, plain.out);
  }
}

TEST(CaptureFileCli, WritesTheFormatAskedFor) {
  testing::TempDir dir;
  const std::string pcapngMagic("\x0a\x0d\x0d\x0a", 4);
  const std::string pcapMagic("\xd4\xc3\xb2\xa1", 4);
  const std::string gzipMagic("\x1f\x8b", 2);
  struct Case {
    const char* options;  // OUT stands for the file written
    std::string magic;
  };
  const Case cases[] = {
      {"-w OUT.pcapng", pcapngMagic},
      {"-w OUT.pcap", pcapMagic},
      {"-w OUT.log", pcapMagic},
      {"-F pcapng -w OUT.log", pcapngMagic},
      {"-F pcap -w OUT.pcapng", pcapMagic},
      {"-w OUT.pcapng.gz", gzipMagic},
  };
  const CommandRun plain = RunShell(kCli + " -q -r " + kDemo, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string options = c.options;
    const std::string out = dir.File("saved");
    options.replace(options.find("OUT"), 3, out);
    const std::string written = options.substr(options.rfind(' ') + 1);
    const CommandRun run = RunShell(kCli + " -q -r " + kDemo + " " + options);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(FirstBytes(written, c.magic.size()), c.magic);
    // What was written reads back to the same frames.
    EXPECT_EQ(RunShell(kCli + " -q -r " + written, false).out, plain.out);
  }
  EXPECT_EQ(RunShell(kCli + " -F ntar -r " + kDemo).status, 2);
}

TEST(CaptureFileCli, ProgressText) {
  EXPECT_EQ(ProgressText({ReadProgress::Stage::Reading, 50, 200}, 0.5), "Reading: 25%");
  EXPECT_EQ(ProgressText({ReadProgress::Stage::Reading, 50, 200}, 2.0), "Reading: 25% (about 6 s left)");
  EXPECT_EQ(ProgressText({ReadProgress::Stage::Decompressing, 3u << 20, 0}, 5.0), "Decompressing: 3 MB");
}

}  // namespace
}  // namespace qv
