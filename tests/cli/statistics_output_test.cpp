// `quorvanet-cli -z`: the protocol hierarchy and conversation tables equal
// tshark's for the same captures and filters (tshark's output is kept in
// tests/cli/data/statistics/, written by tools/make_statistics_outputs.sh
// from the cases in statistics_cases.tsv), and mistakes in a -z are usage
// errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/conversation_tables.h"
#include "recorded_cases.h"
#include "shell_command.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::ReadFile;

const std::string kCli = QUORVANET_CLI_PATH;
const std::string kSource = QUORVANET_SOURCE_DIR;
const std::string kDemo = kSource + "/samples/demo.pcap";



struct StatisticsCase {
  std::string name;
  std::string capture;  // corpus/FILE or data/FILE
  std::string filter;   // "-": none
  std::vector<std::string> tables;  // the -z arguments
};

std::vector<StatisticsCase> ReadCases() {
  std::vector<StatisticsCase> cases;
  std::ifstream in(kSource + "/tests/cli/data/statistics_cases.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    std::vector<std::string> columns;
    for (std::string column; std::getline(row, column, '\t');) columns.push_back(column);
    if (columns.size() < 4) {
      ADD_FAILURE() << "damaged case line: " << line;
      continue;
    }
    cases.push_back({columns[0], columns[1], columns[2], {columns.begin() + 3, columns.end()}});
  }
  return cases;
}

TEST(StatisticsOutput, EveryCasePrintsWhatTsharkPrints) {
  const std::vector<StatisticsCase> cases = ReadCases();
  ASSERT_GE(cases.size(), 10u) << "the cases are missing";
  int compared = 0;
  for (const StatisticsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<fs::path> file = testing::CaseCapture(c.capture);
    if (!file) continue;  // the corpus is not everywhere
    std::string command = kCli + " -q -r " + Quoted(file->string());
    if (c.filter != "-") command += " -Y " + Quoted(c.filter);
    for (const std::string& table : c.tables) command += " -z " + Quoted(table);
    const testing::CommandRun run = testing::RunShell(command, false);
    EXPECT_EQ(run.status, 0) << command;
    const std::string expected = ReadFile(kSource + "/tests/cli/data/statistics/" + c.name + ".txt");
    EXPECT_FALSE(expected.empty()) << "no expected output for " << c.name;
    EXPECT_EQ(run.out, expected) << command;
    ++compared;
  }
  EXPECT_GE(compared, 8);
}

// With -z the tables end standard output; the totals line moves to
// standard error, and without -q the rows come first.
TEST(StatisticsOutput, TablesFollowTheRowsAndTheTotalsGoToStandardError) {
  const testing::CommandRun quiet = testing::RunShell(kCli + " -q -r " + kDemo + " -z io,phs", false);
  ASSERT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out.rfind("\n===", 0), 0u) << quiet.out;
  EXPECT_EQ(quiet.out.find(" packets, "), std::string::npos);
  const testing::CommandRun totals = testing::RunShell("{ " + kCli + " -q -r " + kDemo + " -z io,phs 2>&1 >/dev/null; }");
  EXPECT_NE(totals.out.find(" packets, "), std::string::npos) << totals.out;

  const testing::CommandRun rows = testing::RunShell(kCli + " -r " + kDemo + " -c 3 -z conv,ip", false);
  ASSERT_EQ(rows.status, 0);
  const std::size_t table = rows.out.find("IPv4 Conversations");
  ASSERT_NE(table, std::string::npos) << rows.out;
  std::size_t lines = 0;
  for (std::size_t i = 0; i < table; ++i) lines += rows.out[i] == '\n';
  EXPECT_EQ(lines, 4u) << "three rows, then the table's rule";
}

TEST(StatisticsOutput, MistakesExitWithTwoBeforeReading) {
  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"-z foo", "Invalid -z argument \"foo\"; it must be one of:\n     conv,eth\n     conv,ip\n     conv,ipv6\n     io,phs\n"},
      {"-z conv,tcp", "Invalid -z argument \"conv,tcp\""},
      {"-z io,phsx", "Invalid -z argument \"io,phsx\""},
      {"-z 'io,phs,ip.src =='", "-z io,phs: invalid display filter: "},
      {"-z 'conv,ip,((('", "-z conv,ip: invalid display filter: "},
      {"-z", "option -z needs a value"},
  };
  for (const Case& c : cases) {
    const testing::CommandRun run = testing::RunShell(kCli + " -r /nonexistent.pcap " + c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << ": " << run.out;
  }
}

TEST(StatisticsOutput, SizesAreWrittenAsTsharkWritesThem) {
  struct Case {
    std::uint64_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 bytes"},          {9999, "9999 bytes"},     {10000, "10 kB"},
      {13161, "13 kB"},        {9999999, "9999 kB"},     {10000000, "10 MB"},
      {10000000000, "10 GB"},  {12345678901234, "12 TB"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace qv
