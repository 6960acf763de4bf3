#pragma once
// Command-line arguments of quorvanet-cli.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/field_format.h"
#include "decode/enabled_decoders.h"

namespace qv {

struct CliOptions {
  bool listAdapters = false;           // -D
  std::string interface;               // -i NAME
  std::string readFile;                // -r FILE
  std::optional<std::uint64_t> count;  // -c N
  std::string writeFile;               // -w FILE
  std::string writeFormat;             // -F pcapng|pcap; empty: by the -w name
  bool quiet = false;                  // -q
  bool tree = false;                   // -V
  bool hex = false;                    // -x
  bool json = false;                   // -T json: one JSON object per frame
  bool fields = false;                 // -T fields: the -e fields of each frame on a line
  std::vector<std::string> outputFields;  // -e FIELD, repeatable
  FieldFormat fieldFormat;             // -E OPTION=VALUE, repeatable
  std::string displayFilter;           // -Y FILTER: only the frames it matches
  bool listFields = false;             // -G fields: print the field registry and exit
  std::string filter;                  // -f EXPRESSION
  std::vector<std::string> scripts;    // --script FILE.ssc, repeatable
  std::string rulesFile;               // --rules FILE.rul
  bool printFilter = false;            // --print-filter
  std::optional<int> bufferMB;         // -B MB, the kernel buffer of a live capture
  bool help = false;                   // -h
  std::string logDirectory;            // --log DIR: log live frames there
  std::uint32_t logCount = 0;          // --log-count N: frames per log file
  double logSizeMb = 0;                // --log-size MB: megabytes per log file
  std::string sendFile;                // --send FILE.spk (with -i; -c is the count, 0: until Ctrl+C)
  std::uint64_t gapMs = 0;             // --gap MS, after each frame sent
  bool doctor = false;                 // --doctor
  bool stats = false;                  // --stats
  std::vector<std::string> statistics;  // -z KIND[,FILTER], repeatable: tshark's tables at the end
  int statsRows = 30;                  // --stats-rows N (1..1000)
  bool names = false;                  // --names
  EnabledDecoders decoders;            // --disable-protocol / --enable-protocol NAME[,NAME...]
};

struct CliParse {
  CliOptions options;
  std::string error;  // non-empty: a usage error
};

CliParse ParseCliOptions(const std::vector<std::string>& args);
const char* CliUsage();

}  // namespace qv
