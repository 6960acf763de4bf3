#include "decode/x25.h"

namespace qv {

namespace {

constexpr FieldInfo kProto{"x25", "X.25", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kProto};
const FieldRegistration kRegistration(kFields);

}  // namespace

// Only named and counted: the packet layer is not decoded, and the rest of
// the frame gets no layer of its own.
void DecodeX25(PacketDecoder& d) {
  d.BeginLayer(Protocol::X25Plp);
  d.SetField(d.AddLayerLine("X.25 PLP"), kProto);
}

}  // namespace qv
