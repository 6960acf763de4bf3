#pragma once
// Command-line arguments of quorvanet-cli.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct CliOptions {
  bool listAdapters = false;           // -D
  std::string interface;               // -i NAME
  std::string readFile;                // -r FILE
  std::optional<std::uint64_t> count;  // -c N
  std::string writeFile;               // -w FILE
  bool quiet = false;                  // -q
  bool tree = false;                   // -V
  bool hex = false;                    // -x
  std::string filter;                  // -f EXPRESSION
  std::optional<int> bufferMB;         // -B MB, the kernel buffer of a live capture
  bool help = false;                   // -h
};

struct CliParse {
  CliOptions options;
  std::string error;  // non-empty: a usage error
};

CliParse ParseCliOptions(const std::vector<std::string>& args);
const char* CliUsage();

}  // namespace qv
