#pragma once
// The statistics of a capture session, as the decoder reports into them.

#include "decode/packet_decoder.h"
#include "stats/conversation_table.h"
#include "stats/layer_counters.h"

namespace qv {

class SessionStatistics : public DecodeSink {
 public:
  void AddProtocol(std::string_view name, int layer) override { layers.AddProtocol(name, layer); }
  void UpdateConversation(const IpConversationSample& sample) override { conversations.Update(sample); }
  void Clear() {
    layers.Reset();
    conversations.Clear();
  }

  LayerCounters layers;
  ConversationTable conversations;
};

}  // namespace qv
