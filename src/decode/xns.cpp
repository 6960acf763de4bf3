#include "decode/xns.h"

namespace qv {

namespace {

constexpr FieldInfo kProto{"xns", "Xerox Network Systems", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kProto};
const FieldRegistration kRegistration(kFields);

}  // namespace

// Only named and counted: the header is not decoded, and the rest of the
// frame gets no layer of its own.
void DecodeXns(PacketDecoder& d) {
  d.BeginLayer(Protocol::Xns);
  d.SetField(d.AddLayerLine("XNS"), kProto);
}

}  // namespace qv
