// quorvanet-cli as a user runs it: the demo capture in, rows out.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "cli/cli_options.h"

namespace qv {
namespace {

struct CliRun {
  int status;
  std::string out;
};

// With `errors` false, stderr is left out of `out`.
CliRun RunCli(const std::string& args, bool errors = true) {
  const std::string command = std::string(QUORVANET_CLI_PATH) + " " + args + (errors ? " 2>&1" : " 2>/dev/null");
  CliRun run{-1, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) run.out.append(chunk.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

const std::string kDemo = std::string(QUORVANET_SOURCE_DIR) + "/samples/demo.pcap";

TEST(Cli, UsageErrorsExitWithTwo) {
  for (const char* args : {"-z", "-r", "-c 0 -r x", "-c abc -r x", "-i eth0 -r x", "-B 0 -i eth0", "-B 1025 -i eth0",
                           "-B 8M -i eth0", "-i eth0 -B"}) {
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

}  // namespace
}  // namespace qv
