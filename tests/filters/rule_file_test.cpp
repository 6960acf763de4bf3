// Rule files: the exact layout on disk, a round trip of every page, and the
// files that are refused without touching the rules.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "filters/rule_file.h"

namespace qv {
namespace {

FilterRules EveryPage() {
  FilterRules r;
  r.joinAnd = false;
  r.eth = {true, 0x4005, true};
  r.ip = {false, 0x0200, false};
  r.tcp = {true, 0x003F, false};
  r.icmp = {true, 0x7FFF, true};
  r.size = {true, -1, "1514"};
  r.mac = {true, {{"AA:BB:CC:DD:EE:FF", "both"}, {"1:2:3:4:5:6", "source"}}};
  r.ipAddr = {false, {{"10.0.0.1", "destination"}}};
  r.ports = {true, {{"80", "source"}, {"65535", "destination"}, {"7", "both"}}};
  r.advanced = {true, {{"tcp port 80 and host 10.0.0.1", true}, {"arp", false}, {" udp\t", true}}, true};
  return r;
}

const char* const kEveryPageFile =
    "QUORVANET LOG FILE\r\n1\r\n0\r\n"
    "1 16389 1\r\n0 512 0\r\n1 63 0\r\n1 32767 1\r\n"
    "1 -1 1514\r\n"
    "1 2\r\nAA:BB:CC:DD:EE:FF\tboth\r\n1:2:3:4:5:6\tsource\r\n"
    "0 1\r\n10.0.0.1\tdestination\r\n"
    "1 3\r\n80\tsource\r\n65535\tdestination\r\n7\tboth\r\n"
    "1 3 1\r\ntcp port 80 and host 10.0.0.1\t1\r\narp\t0\r\n udp\t\t1\r\n";

class RuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quorvanet-rules-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::string Written(const std::string& text) const {
    const std::string path = Path("written.rul");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::filesystem::path dir_;
};

TEST_F(RuleFile, EveryPageRoundTripsThroughTheExactLayout) {
  const std::string path = Path("rule.rul");
  ASSERT_TRUE(WriteRuleFile(path, EveryPage()));
  std::ifstream in(path, std::ios::binary);
  std::stringstream disk;
  disk << in.rdbuf();
  EXPECT_EQ(disk.str(), kEveryPageFile);

  const RuleFileRead read = ReadRuleFile(path);
  ASSERT_EQ(read.status, RuleFileStatus::Ok);
  EXPECT_EQ(read.rules, EveryPage());
}

TEST_F(RuleFile, ReadsLfLineEndsAndBreaksBetweenTokens) {
  const RuleFileRead read = ParseRuleFile(
      "QUORVANET LOG FILE\n1\n1\n1 4\n1\n0 0 1\n0 0 1\n0 0 1\n1 1 60\n0 0\n0 0\n1 1\n22 both\n1 1 0\nicmp\t1\n");
  ASSERT_EQ(read.status, RuleFileStatus::Ok);
  EXPECT_TRUE(read.rules.joinAnd);
  EXPECT_EQ(read.rules.eth, (ProtocolRules{true, 4, true}));
  EXPECT_EQ(read.rules.size, (SizeRules{true, 1, "60"}));
  EXPECT_EQ(read.rules.ports.entries, (std::vector<AddressEntry>{{"22", "both"}}));
  EXPECT_EQ(read.rules.advanced, (AdvancedRules{true, {{"icmp", true}}, false}));
}

TEST_F(RuleFile, RefusalsNameTheirCause) {
  const std::string body = std::string(kEveryPageFile).substr(std::string("QUORVANET LOG FILE\r\n1\r\n").size());
  const struct {
    std::string text;
    RuleFileStatus status;
  } cases[] = {
      {"QUORVANET LOG FILE \r\n1\r\n" + body, RuleFileStatus::NotRules},
      {"quorvanet log file\r\n1\r\n" + body, RuleFileStatus::NotRules},
      {"", RuleFileStatus::NotRules},
      {"QUORVANET LOG FILE\r\n2\r\n" + body, RuleFileStatus::WrongVersion},
      {"QUORVANET LOG FILE\r\n\r\n", RuleFileStatus::WrongVersion},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseRuleFile(c.text).status, c.status) << c.text;
  EXPECT_EQ(ReadRuleFile(Path("missing.rul")).status, RuleFileStatus::NotOpened);
  EXPECT_EQ(RuleFileMessage(RuleFileStatus::NotOpened, "/x/a.rul"), "Cannot open file /x/a.rul");
  EXPECT_EQ(RuleFileMessage(RuleFileStatus::NotRules, "a"), "That is not file with rules for this program!");
  EXPECT_EQ(RuleFileMessage(RuleFileStatus::WrongVersion, "a"),
            "That program does only serve version 1 of rule files!");
}

TEST_F(RuleFile, DamagedFilesGiveNoRulesAtAll) {
  const std::string full = kEveryPageFile;
  const std::string header = "QUORVANET LOG FILE\r\n1\r\n";
  std::vector<std::string> damaged;
  // Cut short anywhere after the version: no prefix is a whole rule file
  // (only the last rule's CR LF may go).
  for (std::size_t cut = header.size() + 1; cut + 3 < full.size(); cut += 3) damaged.push_back(full.substr(0, cut));
  damaged.push_back(header + "1\r\n1 65536 1\r\n");                      // a mask beyond 16 bits
  damaged.push_back(header + "x\r\n");                                    // not a number
  damaged.push_back(header + "1\r\n1 99999999999999999999 1\r\n");        // too long for an int
  const std::string longWord(kRuleFileMaxWord + 1, 'A');
  damaged.push_back(header + "1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n1 1\r\n" + longWord + "\tboth\r\n");
  const std::string longLine(kRuleFileMaxLine + 1, 'a');
  damaged.push_back(header +
                    "1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0\r\n0 0\r\n0 0\r\n1 1 0\r\n" + longLine + "\r\n");
  damaged.push_back(header + "1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0\r\n0 0\r\n0 0\r\n1 1 0\r\nx\r\n");
  damaged.push_back(header + "1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 -3\r\n");  // a negative count
  for (const std::string& text : damaged) {
    const RuleFileRead read = ParseRuleFile(text);
    EXPECT_EQ(read.status, RuleFileStatus::Damaged) << text;
    EXPECT_EQ(read.rules, FilterRules{}) << text;
  }
  // The longest word and line are still taken.
  const std::string longest(kRuleFileMaxWord, 'A');
  const std::string longestRule(kRuleFileMaxLine - 2, 'a');
  const RuleFileRead read = ParseRuleFile(header + "1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n0 0 1\r\n1 1\r\n" + longest +
                                          "\tboth\r\n0 0\r\n0 0\r\n1 1 0\r\n" + longestRule + "\t1\r\n");
  ASSERT_EQ(read.status, RuleFileStatus::Ok);
  EXPECT_EQ(read.rules.mac.entries.at(0).value, longest);
  EXPECT_EQ(read.rules.advanced.rules.at(0).text, longestRule);
}

TEST_F(RuleFile, SizeNumberIsWrittenAsAnInteger) {
  FilterRules r;
  for (const auto& [typed, written] : {std::pair{"", "0"}, {"0060", "60"}, {"99999999999", "0"}}) {
    r.size.number = typed;
    EXPECT_NE(RuleFileText(r).find("\r\n0 0 " + std::string(written) + "\r\n"), std::string::npos) << typed;
  }
}

}  // namespace
}  // namespace qv
