// quorvanet-cli as a user runs it: the demo capture in, rows out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli_options.h"
#include "shell_command.h"

namespace qv {
namespace {

using CliRun = testing::CommandRun;

// With `errors` false, stderr is left out of `out`.
CliRun RunCli(const std::string& args, bool errors = true) {
  return testing::RunShell(std::string(QUORVANET_CLI_PATH) + " " + args, errors);
}

const std::string kDemo = std::string(QUORVANET_SOURCE_DIR) + "/samples/demo.pcap";

TEST(Cli, UsageErrorsExitWithTwo) {
  for (const char* args : {"-z", "-r", "-c 0 -r x", "-c abc -r x", "-i eth0 -r x", "--send x", "--send x -i lo --gap 1s",
                           "--send x -i lo -c -1", "-B 0 -i eth0", "-B 1025 -i eth0", "-B 8M -i eth0", "-i eth0 -B"}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.out.find("usage: quorvanet-cli"), std::string::npos) << args;
  }
}

TEST(Cli, ReadsTheDemoCaptureOneTabbedRowPerFrame) {
  const CliRun run = RunCli("-c 2 -r " + kDemo, false);
  ASSERT_EQ(run.status, 0) << run.out;
  // The first frame is an ARP request from the host to everybody.
  const std::string firstLine = run.out.substr(0, run.out.find('\n'));
  int tabs = 0;
  for (char c : firstLine) tabs += c == '\t';
  EXPECT_EQ(tabs, 8) << firstLine;
  EXPECT_NE(firstLine.find("\t60\t0:a0:c9:14:c8:29\tBroadcast\t"), std::string::npos) << firstLine;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);

  // The totals follow on stderr; a file read knows of no drops.
  const CliRun all = RunCli("-c 2 -r " + kDemo);
  EXPECT_NE(all.out.find("\n2 packets, "), std::string::npos) << all.out;
  EXPECT_EQ(all.out.find("dropped"), std::string::npos) << all.out;
}

TEST(Cli, QuietPrintsOnlyTheTotal) {
  const CliRun run = RunCli("-q -c 3 -r " + kDemo);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("3 packets, "), std::string::npos) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

TEST(Cli, MissingFileFailsWithTheOpenMessage) {
  const CliRun run = RunCli("-r /nonexistent/capture.pcap");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Unable to open the file /nonexistent/capture.pcap.\nThe following error occured: "),
            std::string::npos)
      << run.out;
}

TEST(Cli, OptionParserAcceptsEveryFlag) {
  const CliParse p = ParseCliOptions({"-r", "f.pcap", "-c", "10", "-w", "o.log", "-q", "-V", "-x"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.readFile, "f.pcap");
  EXPECT_EQ(p.options.count, 10u);
  EXPECT_EQ(p.options.writeFile, "o.log");
  EXPECT_TRUE(p.options.quiet && p.options.tree && p.options.hex);
}

TEST(Cli, LogOptionsAndTheirRanges) {
  const CliParse p = ParseCliOptions({"-i", "eth0", "--log", "/var/log/q", "--log-count", "100", "--log-size", "1.5"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.logDirectory, "/var/log/q");
  EXPECT_EQ(p.options.logCount, 100u);
  EXPECT_DOUBLE_EQ(p.options.logSizeMb, 1.5);
  const std::vector<std::string> refused[] = {
      {"--log"}, {"--log-count", "0"}, {"--log-count", "1000001"}, {"--log-count", "2.5"},
      {"--log-count", "ten"}, {"--log-size", "0.5"}, {"--log-size", "101"}, {"--log-size", "nan"}, {"--log-size", ""}};
  for (const auto& args : refused) EXPECT_NE(ParseCliOptions(args).error, "") << ::testing::PrintToString(args);
}

TEST(Cli, DoctorReportsAdaptersProgramAndGroup) {
  EXPECT_TRUE(ParseCliOptions({"--doctor"}).options.doctor);
  const CliRun run = RunCli("--doctor");
  ASSERT_TRUE(run.status == 0 || run.status == 1) << run.out;
  for (const char* part : {"Adapters, opened as a live capture opens them:\n", "\nProgram ",
                           "\n  file capabilities: ", "\n  this process: ", "\nGroup quorvanet: ", "\nResult: "}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part << " in\n" << run.out;
  }
  // The exit status says whether any adapter could be opened.
  EXPECT_EQ(run.status == 0, run.out.find("\nResult: no adapter") == std::string::npos) << run.out;
}

TEST(Cli, ListsAdaptersInThreeTabbedColumns) {
  const CliRun run = RunCli("-D");
  if (run.status != 0) GTEST_SKIP() << "no adapters here: " << run.out;
  std::size_t at = 0;
  while (at < run.out.size()) {
    const std::size_t end = run.out.find('\n', at);
    const std::string line = run.out.substr(at, end - at);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
    if (line.rfind("any\t", 0) == 0) {
      EXPECT_NE(line.find("\tall interfaces (cooked headers)"), std::string::npos) << line;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
}

// Rows of a "tcpdump -i any" capture, saved and read back: the saved file
// declares the cooked link type, so the rows come back the same (newest first).
TEST(Cli, CookedCaptureSurvivesSaveAndReadBack) {
  const std::string cooked = std::string(QUORVANET_CORPUS_DIR) + "/linktypes/tcp-handshake-nano.pcap";
  if (FILE* f = std::fopen(cooked.c_str(), "rb")) {
    std::fclose(f);
  } else {
    GTEST_SKIP() << "no capture at " << cooked;
  }
  const std::string saved = "/tmp/quorvanet-cli-cooked-" + std::to_string(::getpid()) + ".log";
  const CliRun first = RunCli("-r " + cooked + " -w " + saved);
  ASSERT_EQ(first.status, 0) << first.out;
  const CliRun again = RunCli("-r " + saved);
  std::remove(saved.c_str());
  ASSERT_EQ(again.status, 0) << again.out;
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = text.find('\n', at);
      out.push_back(text.substr(at, end - at));
      if (end == std::string::npos) break;
    }
    // The totals line below the rows is not a row.
    std::erase_if(out, [](const std::string& line) { return line.find(" packets, ") != std::string::npos; });
    return out;
  };
  std::vector<std::string> rows = lines(first.out);
  std::vector<std::string> back = lines(again.out);
  ASSERT_EQ(rows.size(), 3u) << first.out;
  EXPECT_NE(rows[0].find("\t131.155.215.69\t137.116.81.94\t46656\t80\tIPv4 TCP "), std::string::npos) << rows[0];
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, rows);
}

}  // namespace
}  // namespace qv
