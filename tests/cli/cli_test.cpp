// quorvanet-cli as a user runs it: the demo capture in, rows out.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli_options.h"
#include "framegen/frame_builder.h"
#include "savefile_writing.h"
#include "shell_command.h"
#include "filters/rule_file.h"

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
                           "--send x -i lo -c -1", "-B 0 -i eth0", "-B 1025 -i eth0", "-B 8M -i eth0", "-i eth0 -B",
                           "--rules", "-f tcp --rules a.rul"}) {
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

TEST(Cli, StatsPrintsTheLayerListsAndTheConversationTable) {
  const CliRun run = RunCli("-q --stats -r " + kDemo);
  ASSERT_EQ(run.status, 0) << run.out;
  for (const char* text : {"LINK LAYER\n", "Ethernet II - 21\n", "NETWORK LAYER\n", "TRANSPORT LAYER\nTCP - 6\nUDP - 4\n",
                           "APPLICATION LAYER\n", "\tSTATISTICS FILE\t",
                           "\nSrc IP/Dest IP/Count/Bytes/Ports/Src Host Name/Dest Host Name\n",
                           "\n192.168.1.10 => 192.168.1.1\t2\t100\t53, 53124, 5004\t => \n"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  }
  // One row left: the most recently updated conversation.
  const CliRun one = RunCli("-q --stats --stats-rows 1 -r " + kDemo);
  ASSERT_EQ(one.status, 0) << one.out;
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '>'), 2) << one.out;  // "a => b ... => "
  EXPECT_NE(one.out.find("+\n10.0.0.1 => 10.0.0.2\t1\t"), std::string::npos) << one.out;
  for (const char* rows : {"0", "1001", "x", "5x"}) {
    EXPECT_EQ(ParseCliOptions({"--stats-rows", rows}).error, "--stats-rows needs a number from 1 to 1000") << rows;
  }
  EXPECT_EQ(ParseCliOptions({"--stats-rows", "1000"}).options.statsRows, 1000);
}

// A DNS answer names an address; the connection to it then shows that name
// with --names, and reverse lookups name the rest. Every address is a
// loopback one, which is named without asking any resolver.
TEST(Cli, NamesFromTheTrafficComeBeforeReverseLookups) {
  const framegen::Mac a{0x02, 0, 0, 0, 0, 1}, b{0x02, 0, 0, 0, 0, 2};
  const std::vector<framegen::Bytes> frames = {
      framegen::FrameBuilder()
          .Ethernet(a, b, 0x0800)
          .Ipv4({127, 0, 0, 53}, {127, 0, 0, 1}, 17)
          .Udp(53, 40000)
          .Raw(framegen::Hex("4242 8180 0001 0001 0000 0000 03777777 076578616d706c65 0474657374 00 0001 0001"
                             "c00c 0001 0001 0000003c 0004 7f000009"))
          .Build(),
      framegen::FrameBuilder().Ethernet(b, a, 0x0800).Ipv4({127, 0, 0, 1}, {127, 0, 0, 9}, 6).Tcp(50000, 443, 1, 0, 2).Build(),
  };
  const std::string path = ::testing::TempDir() + "/cli-names-" + std::to_string(::getpid()) + ".pcap";
  ASSERT_NO_FATAL_FAILURE(testing::WriteEthernetSavefile(path, frames));
  const CliRun named = RunCli("-q --stats --names -r " + path, false);
  const CliRun plain = RunCli("-q --stats -r " + path, false);
  const CliRun noDns = RunCli("-q --stats --names --disable-protocol dns -r " + path, false);
  std::remove(path.c_str());
  ASSERT_EQ(named.status, 0) << named.out;
  const std::string note = "# host names: 127.0.0.9 = www.example.test (DNS answer)\n";
  EXPECT_NE(named.out.find("\tlocalhost => localhost\n127.0.0.1 => 127.0.0.9\t1\t40\t443, 50000\t"
                           "localhost => www.example.test\n" + note),
            std::string::npos)
      << named.out;
  // Without --names no name at all, and no note.
  EXPECT_NE(plain.out.find("\t => \n127.0.0.1 => 127.0.0.9\t1\t40\t443, 50000\t => \n"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find("# host names"), std::string::npos) << plain.out;
  // Without the DNS decoder the answer teaches nothing: reverse lookups name both.
  EXPECT_NE(noDns.out.find("\t443, 50000\tlocalhost => localhost\n"), std::string::npos) << noDns.out;
  EXPECT_EQ(noDns.out.find("# host names"), std::string::npos) << noDns.out;
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
  for (const char* part : {"Adapters, opened as a live capture opens them:\n", "\nCapture helper ",
                           "\n  file capabilities: ", "\n  when it runs: ",
                           "\nOnly the capture helper holds the right to capture", "\nGroup quorvanet: ",
                           "\nResult: "}) {
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
