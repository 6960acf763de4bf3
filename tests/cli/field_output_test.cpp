// `quorvanet-cli -T fields` and `-Y`: the field lines equal tshark's for the
// same fields, frames and -E layout (tshark's output is kept in
// tests/cli/data/fields/, written by tools/make_field_outputs.sh from the
// cases in field_cases.tsv), and a display filter narrows everything the
// command line prints or writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/field_format.h"
#include "filters/display_filter.h"
#include "recorded_cases.h"
#include "shell_command.h"
#include "temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::ReadFile;

const std::string kCli = QUORVANET_CLI_PATH;
const std::string kSource = QUORVANET_SOURCE_DIR;
const std::string kDemo = kSource + "/samples/demo.pcap";

testing::CommandRun RunCli(const std::string& args, bool errors = true) {
  return testing::RunShell(kCli + " " + args, errors);
}


std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

struct FieldCase {
  std::string name;
  std::string capture;  // corpus/FILE or data/FILE
  std::string filter;   // "-": none
  std::vector<std::string> arguments;
};

std::vector<FieldCase> ReadCases() {
  std::vector<FieldCase> cases;
  std::ifstream in(kSource + "/tests/cli/data/field_cases.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    FieldCase c;
    std::string arguments;
    if (!std::getline(row, c.name, '\t') || !std::getline(row, c.capture, '\t') || !std::getline(row, c.filter, '\t') ||
        !std::getline(row, arguments)) {
      ADD_FAILURE() << "damaged case line: " << line;
      continue;
    }
    std::istringstream words(arguments);
    for (std::string w; words >> w;) c.arguments.push_back(w);
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST(FieldOutput, EveryCaseWritesWhatTsharkWrites) {
  const std::vector<FieldCase> cases = ReadCases();
  ASSERT_GE(cases.size(), 10u) << "the cases are missing";
  int compared = 0;
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<fs::path> file = testing::CaseCapture(c.capture);
    if (!file) continue;  // the corpus is not everywhere
    std::string command = "-r " + Quoted(file->string());
    if (c.filter != "-") command += " -Y " + Quoted(c.filter);
    command += " -T fields";
    for (const std::string& a : c.arguments) command += " " + Quoted(a);
    const testing::CommandRun run = RunCli(command, false);
    EXPECT_EQ(run.status, 0) << command;
    const std::string expected = ReadFile(kSource + "/tests/cli/data/fields/" + c.name + ".txt");
    EXPECT_FALSE(expected.empty()) << "no expected output for " << c.name;
    EXPECT_EQ(run.out, expected) << command;
    ++compared;
  }
  EXPECT_GE(compared, 8);
}

TEST(FieldOutput, LayoutOptionsAreTsharks) {
  struct Case {
    const char* option;
    bool ok;
  };
  const Case cases[] = {
      {"header=y", true},      {"header=n", true},     {"header=yes", false}, {"separator=/t", true},
      {"separator=/s", true},  {"separator=;;", true}, {"separator=", false}, {"occurrence=f", true},
      {"occurrence=l", true},  {"occurrence=a", true}, {"occurrence=2", false}, {"aggregator=,", true},
      {"aggregator=/s", true}, {"aggregator=|", true}, {"quote=d", true},     {"quote=s", true},
      {"quote=n", true},       {"quote=x", false},     {"bom=n", true},       {"escape=y", false},
      {"header", false},       {"=y", false},
  };
  for (const Case& c : cases) {
    FieldFormat format;
    std::string error;
    EXPECT_EQ(ApplyFieldOption(format, c.option, error), c.ok) << c.option;
    EXPECT_EQ(error.empty(), c.ok) << c.option << ": " << error;
  }
  FieldFormat format;
  std::string error;
  for (const char* option : {"header=y", "separator=/s", "occurrence=l", "aggregator=;;", "quote=s"}) {
    ASSERT_TRUE(ApplyFieldOption(format, option, error)) << option;
  }
  EXPECT_TRUE(format.header);
  EXPECT_EQ(format.separator, ' ');
  EXPECT_EQ(format.occurrence, FieldFormat::Occurrence::Last);
  EXPECT_EQ(format.aggregator, ';');  // the first character, as tshark takes it
  EXPECT_EQ(format.quote, '\'');
}

// Mistakes in what to print are usage errors, told before the file is
// opened (the file named here does not exist).
TEST(FieldOutput, FieldAndFilterMistakesExitWithTwoBeforeReading) {
  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"-T fields", "-T fields needs the fields to print (-e FIELD)"},
      {"-e ip.src", "-e names a field for -T fields"},
      {"-T fields -e ip.src -q", "-T fields excludes -q, -V, -x and --stats"},
      {"-T fields -e ip.src --stats", "-T fields excludes -q, -V, -x and --stats"},
      {"-T fields -e ip.src -E quote=x", "-E \"quote=x\" is not a field output option"},
      {"-T pdml", "-T needs an output format: json or fields"},
      {"-Y ''", "-Y needs a display filter"},
      {"-T fields -e ip.src -e dns.qry.nmae -e tcp.port -e no.such", "Some fields aren't valid:\n\tdns.qry.nmae\n\tno.such\n"},
  };
  for (const Case& c : cases) {
    const testing::CommandRun run = RunCli(std::string(c.args) + " -r /nonexistent/capture.pcap");
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << ": " << run.out;
    EXPECT_EQ(run.out.find("Unable to open"), std::string::npos) << c.args << ": " << run.out;
  }
}

TEST(DisplayFilterOption, InvalidFilterExitsWithTwoAndTheCompilersMessage) {
  for (const char* filter : {"dns.qry.nmae == 1", "ip.addr ==", "tcp.port == 80 &&"}) {
    DisplayFilterError error;
    ASSERT_EQ(CompileDisplayFilter(filter, &error), nullptr) << filter;
    const testing::CommandRun run = RunCli(std::string("-Y '") + filter + "' -r /nonexistent/capture.pcap");
    EXPECT_EQ(run.status, 2) << filter;
    EXPECT_NE(run.out.find("quorvanet-cli: invalid display filter: " + error.Text() + "\n    " + filter + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Unable to open"), std::string::npos) << run.out;
  }
}

// The demo capture's TCP connection is frames 5 to 10 of 28.
TEST(DisplayFilterOption, NarrowsRowsStatisticsAndTheSavedFile) {
  const testing::CommandRun all = RunCli("-r " + kDemo, false);
  const testing::CommandRun tcp = RunCli("-Y tcp -r " + kDemo);
  ASSERT_EQ(tcp.status, 0) << tcp.out;
  // The rows are those of the whole run, frames 5 to 10, then the total.
  std::vector<std::string> rows;
  std::istringstream lines(all.out);
  for (std::string line; std::getline(lines, line);) rows.push_back(line + "\n");
  ASSERT_EQ(rows.size(), 28u);
  std::string expected;
  for (int i = 4; i < 10; ++i) expected += rows[static_cast<std::size_t>(i)];
  EXPECT_EQ(tcp.out, expected + "6 packets, 448 bytes\n");

  // -c counts the frames read: six of them hold two TCP frames.
  EXPECT_EQ(RunCli("-c 6 -Y tcp -r " + kDemo, false).out, rows[4] + rows[5]);
  // -T json numbers the frames as the file does.
  const testing::CommandRun json = RunCli("-Y tcp -T json -r " + kDemo, false);
  EXPECT_EQ(Lines(json.out), 6u);
  EXPECT_EQ(json.out.rfind("{\"number\":5,", 0), 0u) << json.out.substr(0, 40);

  // The statistics count the TCP frames alone.
  const testing::CommandRun stats = RunCli("-q --stats -Y tcp -r " + kDemo);
  ASSERT_EQ(stats.status, 0) << stats.out;
  for (const char* text : {"LINK LAYER\nEthernet II - 6\nNETWORK LAYER\nIPv4 - 6\nTRANSPORT LAYER\nTCP - 6\n",
                           "APPLICATION LAYER\nHTTP - 2\n", "\n6 packets, 448 bytes\n"}) {
    EXPECT_NE(stats.out.find(text), std::string::npos) << text << "\n" << stats.out;
  }
  EXPECT_EQ(stats.out.find("UDP"), std::string::npos) << stats.out;
  EXPECT_EQ(stats.out.find("192.168.1.1\t"), std::string::npos) << stats.out;

  // -w writes the six frames, newest first, as it writes a whole buffer.
  const testing::TempDir dir;
  const std::string saved = dir.File("tcp.pcap");
  ASSERT_EQ(RunCli("-q -Y tcp -w " + saved + " -r " + kDemo).status, 0);
  const testing::CommandRun back = RunCli("-r " + saved, false);
  ASSERT_EQ(back.status, 0) << back.out;
  std::string newestFirst;
  for (int i = 9; i >= 4; --i) newestFirst += rows[static_cast<std::size_t>(i)].substr(rows[static_cast<std::size_t>(i)].find('\t'));
  std::string backRows;
  std::istringstream backLines(back.out);
  for (std::string line; std::getline(backLines, line);) backRows += line.substr(line.find('\t')) + "\n";
  EXPECT_EQ(backRows, newestFirst);
}

// A frame left out still counts as the previous frame of the next one, and
// the first frame read is where relative time starts, as with tshark.
TEST(DisplayFilterOption, FieldTimesCountFromTheFramesRead) {
  const testing::CommandRun all = RunCli("-T fields -e frame.number -e frame.time_relative -e frame.time_delta -r " + kDemo, false);
  const testing::CommandRun tcp =
      RunCli("-Y tcp -T fields -e frame.number -e frame.time_relative -e frame.time_delta -r " + kDemo, false);
  std::istringstream lines(all.out);
  std::string expected;
  int n = 0;
  for (std::string line; std::getline(lines, line);) {
    if (++n >= 5 && n <= 10) expected += line + "\n";
  }
  EXPECT_EQ(tcp.out, expected);
  EXPECT_EQ(tcp.out.rfind("5\t0.054884000\t0.013721000\n", 0), 0u) << tcp.out;
}

}  // namespace
}  // namespace qv
