// One frame through every decoder, in tree mode and in summary mode. The
// first input byte picks the link type, the rest is the captured frame.
// The tree run has the two example protocol scripts loaded, so their fields
// are drawn over fuzzed bytes too. Checked: every line's range lies inside
// the frame, the layer starts are in order and inside the frame, and the
// summary reports sane layers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "decode/decode_tree.h"
#include "decode/link_types.h"
#include "decode/packet_decoder.h"
#include "decode/packet_summary.h"
#include "fuzz_check.h"
#include "scripts/script_applier.h"
#include "scripts/script_registry.h"

namespace {

// The link types with decoders of their own, and one without.
constexpr int kLinkTypes[] = {
    qv::kLinkTypeEthernet, qv::kLinkTypeNull,     qv::kLinkTypeRaw,  qv::kLinkTypeRawBsdOs,
    qv::kLinkTypeRawBsd,   qv::kLinkTypeLoop,     qv::kLinkTypeLinuxSll, qv::kLinkTypeIpv4,
    qv::kLinkTypeLinuxSll2, 105 /* 802.11: no decoder */};

class CheckingSink : public qv::DecodeSink {
 public:
  void AddProtocol(std::string_view name, int layer) override {
    FUZZ_CHECK(!name.empty(), "a protocol without a name was counted");
    FUZZ_CHECK(layer >= 0, "a protocol was counted at a negative layer");
  }
  void UpdateConversation(const qv::IpConversationSample&) override { ++conversations; }
  int conversations = 0;
};

const qv::ScriptRegistry& ExampleScripts() {
  static const qv::ScriptRegistry registry = [] {
    qv::ScriptRegistry r;
    r.LoadScript(QUORVANET_SOURCE_DIR "/samples/dns.ssc");
    r.LoadScript(QUORVANET_SOURCE_DIR "/samples/dns-question.ssc");
    return r;
  }();
  return registry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int linkType = kLinkTypes[data[0] % std::size(kLinkTypes)];
  const std::span<const std::uint8_t> frame(data + 1, size - 1);
  const auto length = static_cast<std::uint32_t>(frame.size());

  static qv::ScriptApplier scripts(ExampleScripts());
  qv::DecodeTree tree;
  std::vector<std::int32_t> layerStarts;
  qv::PacketDecoder treeRun(frame, {linkType, nullptr, &scripts}, &tree, qv::DecodeMode::Tree, &layerStarts, nullptr);
  treeRun.Decode();
  for (std::size_t id = 1; id <= tree.LineCount(); ++id) {
    const qv::DecodeNode& node = tree[static_cast<qv::NodeId>(id)];
    if (!node.HasRange()) continue;
    FUZZ_CHECK(node.start <= node.end, "a line's range ends before it starts");
    FUZZ_CHECK(node.end <= length, "a line's range reaches past the frame");
  }
  for (std::size_t i = 0; i < layerStarts.size(); ++i) {
    FUZZ_CHECK(layerStarts[i] >= 0 && static_cast<std::uint32_t>(layerStarts[i]) <= length,
               "a layer starts outside the frame");
    if (i > 0) FUZZ_CHECK(layerStarts[i - 1] <= layerStarts[i], "the layer starts are out of order");
  }
  (void)tree.ToText();

  CheckingSink sink;
  qv::PacketSummary summary;
  qv::PacketDecoder summaryRun(frame, {linkType, &sink, nullptr}, nullptr, qv::DecodeMode::Summary, nullptr, &summary);
  summaryRun.Decode();
  summaryRun.HandOverSample();
  FUZZ_CHECK(sink.conversations <= 1, "one frame handed over more than one conversation");
  return 0;
}
