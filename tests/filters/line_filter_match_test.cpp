// Every decode line's "Apply as Filter" text is a valid display filter that
// accepts the frame it came from (and its negation refuses it), over the
// demo capture and the corpus of real captures when it is there.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/packet_decoder.h"
#include "filters/display_filter.h"
#include "filters/display_filter_match.h"
#include "filters/filter_expression.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Frames read per file: enough for every kind of line the file has.
constexpr int kFramesPerFile = 300;

void CheckFile(const std::string& path, std::vector<std::string>& failures, int& checked) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  if (p == nullptr) return;  // a file of the corpus this libpcap cannot read
  const int linkType = pcap_datalink(p);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  for (std::uint32_t n = 0; n < kFramesPerFile && pcap_next_ex(p, &header, &data) == 1; ++n) {
    PacketRecord record;
    record.number = n;
    record.seconds = static_cast<std::uint32_t>(header->ts.tv_sec);
    record.microseconds = static_cast<std::uint32_t>(header->ts.tv_usec);
    record.capturedLength = header->caplen;
    record.wireLength = header->len;
    record.linkType = linkType;
    const std::vector<std::uint8_t> frame(data, data + header->caplen);
    record.bytes = frame;
    DecodeTree tree;
    const DecodeContext context{linkType, nullptr, nullptr, EnabledDecoders::All(), nullptr};
    PacketDecoder(record.bytes, context, &tree, DecodeMode::Tree, nullptr, nullptr).Decode();
    for (NodeId id = 1; id <= static_cast<NodeId>(tree.LineCount()); ++id) {
      const std::string filter = FilterForLine(tree[id], record.bytes);
      if (filter.empty()) continue;
      ++checked;
      const std::string where = fs::path(path).filename().string() + " frame " + std::to_string(n + 1) + ": ";
      for (const bool negated : {false, true}) {
        const std::string text = negated ? CombineFilters("", filter, FilterCombine::NotSelected) : filter;
        DisplayFilterError error;
        DisplayFilterPtr compiled = CompileDisplayFilter(text, &error);
        if (!compiled) {
          failures.push_back(where + text + " -> " + error.Text());
          break;
        }
        DisplayFilterMatcher matcher(compiled, DecodeSetup{EnabledDecoders::All(), nullptr});
        matcher.SetFirstTime(RecordTimeNs(record));
        if (matcher.Matches(record) == negated) failures.push_back(where + text + (negated ? " matches" : " does not match"));
      }
    }
  }
  pcap_close(p);
}

TEST(LineFilters, EveryLinesFilterCompilesAndAcceptsItsOwnFrame) {
  std::vector<std::string> files{QUORVANET_SOURCE_DIR "/samples/demo.pcap"};
  const fs::path corpus = QUORVANET_CORPUS_DIR;
  std::error_code ec;
  if (fs::is_directory(corpus, ec)) {
    for (const auto& entry : fs::recursive_directory_iterator(corpus, ec)) {
      const std::string ext = entry.path().extension().string();
      if (entry.is_regular_file() && (ext == ".pcap" || ext == ".pcapng" || ext == ".cap")) {
        files.push_back(entry.path().string());
      }
    }
  }
  std::vector<std::string> failures;
  int checked = 0;
  for (const std::string& f : files) CheckFile(f, failures, checked);
  EXPECT_GT(checked, 100);
  std::string shown;
  for (std::size_t i = 0; i < failures.size() && i < 30; ++i) shown += failures[i] + "\n";
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << checked << " lines:\n" << shown;
}

}  // namespace
}  // namespace qv
