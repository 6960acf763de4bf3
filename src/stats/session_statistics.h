#pragma once
// The statistics of a capture session, as the decoder reports into them.

#include "decode/packet_decoder.h"
#include "stats/conversation_table.h"
#include "stats/layer_counters.h"
#include "stats/learned_names.h"

namespace qv {

class SessionStatistics : public DecodeSink {
 public:
  SessionStatistics() { conversations.SetLearnedNames(&names); }
  SessionStatistics(const SessionStatistics&) = delete;
  SessionStatistics& operator=(const SessionStatistics&) = delete;

  void AddProtocol(std::string_view name, int layer) override { layers.AddProtocol(name, layer); }
  void AddProtocols(std::span<const Protocol> protocols) override { layers.AddProtocols(protocols); }
  void UpdateConversation(const IpConversationSample& sample) override { conversations.Update(sample); }
  // Names from the traffic are kept only while the table uses them.
  void LearnName(const LearnedName& name) override {
    if (conversations.UseTrafficNames()) names.Learn(name);
  }
  // The names learned go with the rows: they belong to the traffic counted.
  void Clear() {
    layers.Reset();
    conversations.Clear();
    names.Clear();
  }

  LayerCounters layers;
  LearnedNames names;  // before the table, which reads it
  ConversationTable conversations;
};

}  // namespace qv
