#include "decode/vxlan.h"

#include "decode/bit_pattern.h"
#include "decode/text_format.h"
#include "decode/tunnelled_ethernet.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 8;

// The header as port 4789 carries it, with the group policy extension's
// flags and policy id in the first half.
constexpr FieldInfo kVxlan{"vxlan", "Virtual eXtensible Local Area Network", FieldType::Protocol};
constexpr FieldInfo kFlags{"vxlan.flags", "Flags", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlagGbp{"vxlan.flag_g", "GBP Extension", FieldType::Boolean, FieldBase::None, 0x8000, 2};
constexpr FieldInfo kFlagVni{"vxlan.flag_i", "VXLAN Network ID (VNI)", FieldType::Boolean, FieldBase::None, 0x0800, 2};
constexpr FieldInfo kFlagDontLearn{"vxlan.flag_d", "Don't Learn", FieldType::Boolean, FieldBase::None, 0x0040, 2};
constexpr FieldInfo kFlagPolicyApplied{"vxlan.flag_a",  "Policy Applied", FieldType::Boolean,
                                       FieldBase::None, 0x0008,           2};
constexpr FieldInfo kFlagsReserved{"vxlan.flags_reserved", "Reserved(R)", FieldType::UInt16, FieldBase::Hex, 0x77B7};
constexpr FieldInfo kGroupPolicy{"vxlan.gbp", "Group Policy ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kVni{"vxlan.vni", "VXLAN Network Identifier (VNI)", FieldType::UInt24, FieldBase::Dec};
constexpr FieldInfo kReserved{"vxlan.reserved8", "Reserved", FieldType::UInt8, FieldBase::Dec};

constexpr const FieldInfo* kFields[] = {
    &kVxlan,         &kFlags,       &kFlagGbp, &kFlagVni, &kFlagDontLearn, &kFlagPolicyApplied,
    &kFlagsReserved, &kGroupPolicy, &kVni,     &kReserved};
const FieldRegistration kRegistration(kFields);

struct FlagText {
  const FieldInfo& field;
  const char* set;
  const char* clear;
};

constexpr FlagText kFlagTexts[] = {
    {kFlagGbp, "Defined", "Not defined"},
    {kFlagVni, "True", "False"},
    {kFlagDontLearn, "True", "False"},
    {kFlagPolicyApplied, "True", "False"},
};

void AddFlags(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  const NodeId flags = d.AddUint(layer, kFlags, h, [](std::uint32_t v) {
                          std::string text = Format("Flags: 0x%04x", v);
                          for (const FlagText& f : kFlagTexts) {
                            if ((v & f.field.mask) != 0) text += ", " + std::string(f.field.name);
                          }
                          return text;
                        }).line;
  for (const FlagText& f : kFlagTexts) {
    d.AddUint(flags, f.field, h, [&f](std::uint32_t v) {
      return BitLine(f.field, v, std::string(f.field.name) + ": " + (v != 0 ? f.set : f.clear));
    });
  }
  d.AddUint(flags, kFlagsReserved, h,
            [](std::uint32_t v) { return BitLine(kFlagsReserved, v, Format("Reserved(R): 0x%04x", v)); });
}

}  // namespace

void DecodeVxlan(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Vxlan);

  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(kVxlan, "Virtual eXtensible Local Area Network", h, h + kHeaderLength);
    AddFlags(d, layer, h);
    d.AddUint(layer, kGroupPolicy, h + 2, "Group Policy ID: %u");
    d.AddUint(layer, kVni, h + 4, "VXLAN Network Identifier (VNI): %u");
    d.AddUint(layer, kReserved, h + 7, "Reserved: %u");
  }

  d.Dispatch(DecodeTunnelledEthernet, h + kHeaderLength);
  d.FinishLayer(layer, kHeaderLength, "vxlan");
}

}  // namespace qv
