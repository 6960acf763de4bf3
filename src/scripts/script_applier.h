#pragma once
// Puts the loaded scripts into the decode tree: the decoders offer each
// payload that no built-in decoder took, and the first enabled script that
// matches shows as a layer of its own, after which its payload is offered
// again under the script's own name, so scripts stack.

#include "decode/packet_decoder.h"
#include "scripts/script_registry.h"

namespace qv {

class ScriptApplier : public ScriptHost {
 public:
  explicit ScriptApplier(const ScriptRegistry& registry) : registry_(registry) {}

  bool ApplyScripts(PacketDecoder& decoder, std::uint32_t headerLength, std::string_view parentName) override;

 private:
  bool Offer(PacketDecoder& decoder, std::uint32_t headerLength, std::string_view parentName, int depth);
  void AddFields(PacketDecoder& decoder, const ProtocolScript& script, NodeId line, std::uint32_t scriptStart);

  const ScriptRegistry& registry_;
};

}  // namespace qv
