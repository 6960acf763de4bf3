// quorvanet-cli as a user runs it: the demo capture in, rows out.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "filters/rule_file.h"

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
  for (const char* args : {"-z", "-r", "-c 0 -r x", "-c abc -r x", "-i eth0 -r x", "--rules", "-f tcp --rules a.rul"}) {
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

// Rows of the demo capture that `filter` keeps (-q prints their total).
std::string FilteredTotal(const std::string& filterArgs) {
  const CliRun run = RunCli("-q " + filterArgs + " -r " + kDemo);
  EXPECT_EQ(run.status, 0) << run.out;
  return run.out;
}

class CliRules : public ::testing::Test {
 protected:
  void SetUp() override {
    FilterRules rules;
    rules.joinAnd = false;
    rules.eth.enabled = true;
    rules.eth.SetChecked(2, true);  // arp
    rules.advanced = {true, {{"udp  port 53", true}}, false};
    ASSERT_TRUE(WriteRuleFile(path_, rules));
  }
  void TearDown() override { std::remove(path_.c_str()); }
  const std::string path_ = "/tmp/quorvanet-cli-rules-" + std::to_string(::getpid()) + ".rul";
};

TEST_F(CliRules, PrintFilterGivesTheExpressionExactlyAsBuilt) {
  const CliRun run = RunCli("--print-filter --rules " + path_);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, " (arp )  or ( ( udp  port 53 ) ) \n");
  EXPECT_EQ(RunCli("--print-filter -f 'tcp  port 80'").out, "tcp  port 80\n");
}

TEST_F(CliRules, RulesAndFilterBothNarrowAFileRead) {
  const std::string rules = FilteredTotal("--rules " + path_);
  EXPECT_EQ(rules, FilteredTotal("-f 'arp or udp port 53'"));
  EXPECT_NE(rules, FilteredTotal(""));
  EXPECT_EQ(rules.rfind("0 packets", 0), std::string::npos) << rules;
}

TEST_F(CliRules, UnreadableRulesOrARejectedFilterFail) {
  CliRun run = RunCli("--rules /nonexistent/a.rul -r " + kDemo);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot open file /nonexistent/a.rul"), std::string::npos) << run.out;
  std::FILE* f = std::fopen(path_.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("QUORVANET LOG FILE\r\n2\r\n", f);
  std::fclose(f);
  run = RunCli("--rules " + path_ + " -r " + kDemo);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("That program does only serve version 1 of rule files!"), std::string::npos) << run.out;
  run = RunCli("-f 'tcp port' -r " + kDemo);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Niemożebnym li jest kompilacja filtru:\n"), std::string::npos) << run.out;
}

TEST(Cli, OptionParserAcceptsEveryFlag) {
  const CliParse p = ParseCliOptions({"-r", "f.pcap", "-c", "10", "-w", "o.log", "-q", "-V", "-x"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.readFile, "f.pcap");
  EXPECT_EQ(p.options.count, 10u);
  EXPECT_EQ(p.options.writeFile, "o.log");
  EXPECT_TRUE(p.options.quiet && p.options.tree && p.options.hex);
  const CliParse rules = ParseCliOptions({"--rules", "a.rul", "--print-filter"});
  ASSERT_EQ(rules.error, "");
  EXPECT_EQ(rules.options.rulesFile, "a.rul");
  EXPECT_TRUE(rules.options.printFilter);
}

}  // namespace
}  // namespace qv
