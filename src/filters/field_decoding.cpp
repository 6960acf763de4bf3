#include "filters/field_decoding.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "decode/derived_fields.h"
#include "decode/packet_decoder.h"

namespace qv {

namespace {

bool NeedsDecoding(const std::vector<const FieldInfo*>& fields) {
  return std::any_of(fields.begin(), fields.end(), [](const FieldInfo* f) { return FrameFactOf(*f) == FrameFact::None; });
}

// The application decoders, and the protocols whose fields each one shows.
// They carry no other protocol inside, so fields of none of their protocols
// need them not: the lower layers decode as before without them.
struct ApplicationDecoder {
  OptionalDecoder decoder;
  std::initializer_list<std::string_view> protocols;
};
const ApplicationDecoder kApplicationDecoders[] = {
    {OptionalDecoder::Dns, {"dns", "mdns", "llmnr"}},
    {OptionalDecoder::Dhcp, {"dhcp"}},
    {OptionalDecoder::Dhcpv6, {"dhcpv6"}},
    {OptionalDecoder::Ntp, {"ntp"}},
    {OptionalDecoder::Tls, {"tls"}},
    {OptionalDecoder::Quic, {"quic", "tls"}},  // QUIC's CRYPTO frames are TLS
    {OptionalDecoder::Http, {"http", "ssdp"}},
};

std::string_view ProtocolOf(const FieldInfo& f) { return f.abbrev.substr(0, f.abbrev.find('.')); }

EnabledDecoders DecodersFor(const std::vector<const FieldInfo*>& fields, EnabledDecoders decoders) {
  for (const ApplicationDecoder& a : kApplicationDecoders) {
    const bool named = std::any_of(fields.begin(), fields.end(), [&](const FieldInfo* f) {
      return std::find(a.protocols.begin(), a.protocols.end(), ProtocolOf(*f)) != a.protocols.end();
    });
    if (!named) decoders.Set(a.decoder, false);
  }
  return decoders;
}

// The lines kept: the fields asked for, and both sides of an either-side field.
FieldSelection SelectionFor(const std::vector<const FieldInfo*>& fields) {
  std::vector<const FieldInfo*> lines;
  for (const FieldInfo* f : fields) {
    const std::span<const FieldInfo* const> sides = FieldSides(*f);
    if (sides.empty()) lines.push_back(f);
    lines.insert(lines.end(), sides.begin(), sides.end());
  }
  return FieldSelection(std::move(lines));
}

}  // namespace

FieldDecoding::FieldDecoding(std::vector<const FieldInfo*> fields, DecodeSetup setup)
    : setup_(setup),
      values_(fields),
      decode_(NeedsDecoding(fields)),
      decoders_(DecodersFor(fields, setup.decoders)),
      selection_(SelectionFor(fields)) {
  tree_.KeepScratchLine(true);
}

const FrameFieldValues& FieldDecoding::Decode(const PacketRecord& record, const FrameFacts& facts) {
  tree_.Clear();
  if (decode_ && !record.unreadable) {
    // No scripts: the fields are those the list's rows are made from.
    const DecodeContext context{record.linkType,    nullptr,     nullptr,       decoders_,
                                setup_.quicInitials, &selection_, record.comment};
    PacketDecoder(record.bytes, context, &tree_, DecodeMode::Tree, nullptr, nullptr).Decode();
  }
  values_.Collect(tree_, record.bytes, facts);
  return values_;
}

}  // namespace qv
