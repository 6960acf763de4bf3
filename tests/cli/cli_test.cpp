// quorvanet-cli as a user runs it: the demo capture in, rows out.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

CliRun RunCli(const std::string& args) {
  const std::string command = std::string(QUORVANET_CLI_PATH) + " " + args + " 2>&1";
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
  for (const char* args : {"-z", "-r", "-c 0 -r x", "-c abc -r x", "-i eth0 -r x"}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.out.find("usage: quorvanet-cli"), std::string::npos) << args;
  }
}

TEST(Cli, ReadsTheDemoCaptureOneTabbedRowPerFrame) {
  const CliRun run = RunCli("-c 2 -r " + kDemo);
  ASSERT_EQ(run.status, 0) << run.out;
  // The first frame is an ARP request from the host to everybody.
  const std::string firstLine = run.out.substr(0, run.out.find('\n'));
  int tabs = 0;
  for (char c : firstLine) tabs += c == '\t';
  EXPECT_EQ(tabs, 8) << firstLine;
  EXPECT_NE(firstLine.find("\t60\t0:a0:c9:14:c8:29\tBroadcast\t"), std::string::npos) << firstLine;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
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

TEST(Cli, ScriptsExtendTheTree) {
  const std::string samples = std::string(QUORVANET_SOURCE_DIR) + "/samples/";
  const CliRun run =
      RunCli("-V -c 3 --script " + samples + "dns.ssc --script " + samples + "dns-question.ssc -r " + kDemo);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("UDP [34,42)\n"
                         "  Source port: 53124 (0xcf84) [34,36)\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("DNS [42,54)\n"
                         "  Transaction ID: 0x1A2B [42,44)\n"
                         "  Flags: 0x0100 [44,46)\n"
                         "  Standard query, recursion desired [44,45)\n"
                         "  Questions: 1 [46,48)\n"
                         "  Answer RRs: 0 [48,50)\n"
                         "  Authority RRs: 0 [50,52)\n"
                         "  Additional RRs: 0 [52,54)\n"
                         "DNS question [54,71)\n"
                         "  First label: 7 characters [54,55)\n"
                         "  First label begins with: e [55,56)\n"),
            std::string::npos)
      << run.out;
}

TEST(Cli, FaultyScriptIsAUsageError) {
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "/cli-faulty-" + std::to_string(::getpid()) + ".ssc";
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("udp\n1\nc 0 = 7 8\n4\nX\n", f);
  std::fclose(f);
  const CliRun run = RunCli("-V --script " + path + " -r " + kDemo);
  std::remove(path.c_str());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("Line 3: Too many <<things>>"), std::string::npos) << run.out;
  EXPECT_EQ(RunCli("--script").status, 2);
  EXPECT_EQ(RunCli("-V --script /nonexistent/x.ssc -r " + kDemo).status, 2);
}

}  // namespace
}  // namespace qv
