#pragma once
// What the tests that compare the command line with recorded tshark output
// share: reading a recording, quoting a shell word, and finding a case's
// capture.

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace qv::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Single quotes around a shell word; no case argument holds one.
inline std::string Quoted(const std::string& word) { return "'" + word + "'"; }

// A case's capture, written corpus/FILE (the shared corpus) or data/FILE
// (tests/decode/data); nothing for a corpus file where the corpus is not.
inline std::optional<std::filesystem::path> CaseCapture(const std::string& capture) {
  namespace fs = std::filesystem;
  if (capture.rfind("corpus/", 0) == 0) {
    const fs::path file = fs::path(QUORVANET_CORPUS_DIR) / capture.substr(7);
    if (!fs::exists(file)) return std::nullopt;
    return file;
  }
  return fs::path(QUORVANET_SOURCE_DIR) / "tests/decode/data" / capture.substr(5);
}

}  // namespace qv::testing
