// The decoding for display filters keeps only the lines of the fields asked
// for, writes no texts and leaves out application decoders: what it collects
// must still be what the full decode tree holds. Checked for the fields of
// every protocol over every frame of the corpus and of the test captures.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "decode/derived_fields.h"
#include "decode/packet_decoder.h"
#include "filters/field_decoding.h"

namespace qv {
namespace {

struct Frame {
  std::string name;
  int linkType;
  std::vector<std::uint8_t> bytes;
};

std::vector<Frame> FramesOf(const std::filesystem::path& dir) {
  std::vector<Frame> frames;
  if (!std::filesystem::is_directory(dir)) return frames;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".pcap" || ext == ".pcapng" || ext == ".cap") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
    if (handle == nullptr) continue;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int n = 0;
    while (pcap_next_ex(handle, &header, &data) == 1) {
      frames.push_back({path.filename().string() + "#" + std::to_string(++n), pcap_datalink(handle),
                        std::vector<std::uint8_t>(data, data + header->caplen)});
    }
    pcap_close(handle);
  }
  return frames;
}

// Each occurrence as "field=value bytes", sorted: the full tree lists them
// in tree order, the filter's decoding in the order written.
std::vector<std::string> Occurrences(const FrameFieldValues& values) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < values.Wanted().size(); ++i) {
    for (const FieldOccurrence& o : values.Of(i)) {
      std::string s = std::string(values.Wanted()[i]->abbrev) + "/" + std::string(o.field->abbrev) + "=" +
                      std::to_string(o.number) + " ";
      for (const std::uint8_t b : o.bytes) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
      out.push_back(std::move(s));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(FieldDecoding, CollectsWhatTheFullTreeHolds) {
  std::vector<Frame> frames = FramesOf(QUORVANET_CORPUS_DIR);
  const std::vector<Frame> ours = FramesOf(std::string(QUORVANET_SOURCE_DIR) + "/tests/decode/data");
  frames.insert(frames.end(), ours.begin(), ours.end());
  ASSERT_GT(frames.size(), 50u);

  // The fields of each protocol, decoded together; and every other one of
  // them, so that lines are kept below lines that are not.
  std::map<std::string, std::vector<const FieldInfo*>> byProtocol;
  for (const FieldInfo* f : RegisteredFields()) {
    if (FrameFactOf(*f) != FrameFact::None) continue;
    byProtocol[std::string(f->abbrev.substr(0, f->abbrev.find('.')))].push_back(f);
  }
  const DecodeSetup setup{EnabledDecoders::All(), nullptr};
  std::vector<FieldDecoding> decodings;
  std::vector<FrameFieldValues> full;
  for (const auto& [protocol, fields] : byProtocol) {
    std::vector<const FieldInfo*> halves[2];
    for (std::size_t i = 0; i < fields.size(); ++i) halves[i % 2].push_back(fields[i]);
    for (const std::vector<const FieldInfo*>& selection : {fields, halves[0], halves[1]}) {
      if (selection.empty()) continue;
      decodings.emplace_back(selection, setup);
      full.emplace_back(selection);
    }
  }
  std::size_t compared = 0;
  for (const Frame& frame : frames) {
    PacketRecord record;
    record.bytes = frame.bytes;
    record.capturedLength = static_cast<std::uint32_t>(frame.bytes.size());
    record.wireLength = record.capturedLength;
    record.linkType = frame.linkType;
    DecodeTree tree;
    PacketDecoder(frame.bytes, {frame.linkType, nullptr, nullptr, EnabledDecoders::All()}, &tree, DecodeMode::Tree,
                  nullptr, nullptr)
        .Decode();
    for (std::size_t p = 0; p < decodings.size(); ++p) {
      full[p].Collect(tree, frame.bytes, FrameFacts{});
      const std::vector<std::string> expected = Occurrences(full[p]);
      const std::vector<std::string> got = Occurrences(decodings[p].Decode(record, FrameFacts{}));
      EXPECT_EQ(got, expected) << frame.name << ", fields of " << full[p].Wanted().front()->abbrev;
      compared += expected.size();
    }
  }
  EXPECT_GT(compared, 10000u);
}

}  // namespace
}  // namespace qv
