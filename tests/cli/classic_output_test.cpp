// With every decoder beyond the classic set switched off, the command line
// prints, for every real capture of the corpus, exactly what the classic
// decoders printed: rows, decode trees with their ranges, hex dumps, layer
// starts and the statistics. The expected output of each file is kept as its
// SHA-256 in tests/decode/data/classic_outputs.tsv.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "shell_command.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The -V -x --stats output of FILE; the export's date line changes with the clock.
std::string OutputHash(const std::string& options, const fs::path& file) {
  const std::string command = "TZ=UTC " + std::string(QUORVANET_CLI_PATH) + " " + options + " -V -x --stats -r '" +
                              file.string() + "' 2>/dev/null | grep -v 'STATISTICS FILE' | sha256sum";
  const testing::CommandRun run = testing::RunShell(command, false);
  return run.out.substr(0, 64);
}

TEST(ClassicOutput, EveryCorpusFileDecodesAsTheClassicDecodersDid) {
  const fs::path corpus = QUORVANET_CORPUS_DIR;
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no capture corpus at " << corpus;
  std::ifstream expected(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data/classic_outputs.tsv");
  ASSERT_TRUE(expected) << "the expected hashes are missing";
  std::string line;
  int files = 0;
  int differing = 0;  // with every decoder on, some files must read differently
  while (std::getline(expected, line)) {
    std::istringstream fields(line);
    std::string name, hash;
    if (!std::getline(fields, name, '\t') || !std::getline(fields, hash)) continue;
    ++files;
    EXPECT_EQ(OutputHash("--disable-protocol ALL", corpus / name), hash) << name;
    if (OutputHash("", corpus / name) != hash) ++differing;
  }
  EXPECT_GE(files, 50);
  EXPECT_GT(differing, 0);
}

}  // namespace
}  // namespace qv
