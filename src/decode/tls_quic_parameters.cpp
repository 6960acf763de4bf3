// QUIC's transport parameters, carried in a TLS extension of the hellos and
// of EncryptedExtensions: each an id and a length (variable-length
// integers) and a value, most of them an integer of the same encoding.

#include "decode/text_format.h"
#include "decode/tls_fields.h"
#include "decode/tls_internal.h"
#include "decode/tls_names.h"

namespace qv::tls {

namespace {

constexpr FieldInfo kOriginalDcid{"tls.quic.parameter.original_destination_connection_id",
                                  "original_destination_connection_id", FT::Bytes};
constexpr FieldInfo kMaxIdleTimeout{"tls.quic.parameter.max_idle_timeout", "max_idle_timeout", FT::UInt64, FB::Dec};
constexpr FieldInfo kResetToken{"tls.quic.parameter.stateless_reset_token", "stateless_reset_token", FT::Bytes};
constexpr FieldInfo kMaxUdpPayload{"tls.quic.parameter.max_udp_payload_size", "max_udp_payload_size", FT::UInt64,
                                   FB::Dec};
constexpr FieldInfo kInitialMaxData{"tls.quic.parameter.initial_max_data", "initial_max_data", FT::UInt64, FB::Dec};
constexpr FieldInfo kBidiLocal{"tls.quic.parameter.initial_max_stream_data_bidi_local",
                               "initial_max_stream_data_bidi_local", FT::UInt64, FB::Dec};
constexpr FieldInfo kBidiRemote{"tls.quic.parameter.initial_max_stream_data_bidi_remote",
                                "initial_max_stream_data_bidi_remote", FT::UInt64, FB::Dec};
constexpr FieldInfo kUni{"tls.quic.parameter.initial_max_stream_data_uni", "initial_max_stream_data_uni", FT::UInt64,
                         FB::Dec};
constexpr FieldInfo kStreamsBidi{"tls.quic.parameter.initial_max_streams_bidi", "initial_max_streams_bidi", FT::UInt64,
                                 FB::Dec};
constexpr FieldInfo kStreamsUni{"tls.quic.parameter.initial_max_streams_uni", "initial_max_streams_uni", FT::UInt64,
                                FB::Dec};
constexpr FieldInfo kAckDelayExponent{"tls.quic.parameter.ack_delay_exponent", "ack_delay_exponent", FT::UInt64,
                                      FB::Dec};
constexpr FieldInfo kMaxAckDelay{"tls.quic.parameter.max_ack_delay", "max_ack_delay", FT::UInt64, FB::Dec};
constexpr FieldInfo kConnectionIdLimit{"tls.quic.parameter.active_connection_id_limit", "Active Connection ID Limit",
                                       FT::UInt64, FB::Dec};
constexpr FieldInfo kInitialScid{"tls.quic.parameter.initial_source_connection_id", "Initial Source Connection ID",
                                 FT::Bytes};
constexpr FieldInfo kRetryScid{"tls.quic.parameter.retry_source_connection_id", "Retry Source Connection ID",
                               FT::Bytes};
constexpr FieldInfo kMaxDatagramFrame{"tls.quic.parameter.max_datagram_frame_size", "max_datagram_frame_size",
                                      FT::UInt64, FB::Dec};

constexpr const FieldInfo* kFields[] = {
    &kOriginalDcid, &kMaxIdleTimeout, &kResetToken, &kMaxUdpPayload, &kInitialMaxData, &kBidiLocal, &kBidiRemote,
    &kUni, &kStreamsBidi, &kStreamsUni, &kAckDelayExponent, &kMaxAckDelay, &kConnectionIdLimit, &kInitialScid,
    &kRetryScid, &kMaxDatagramFrame
};
const FieldRegistration kRegistration(kFields);

// The field that shows a parameter's value, and whether that value is an
// integer (else bytes); null for the others, shown as bytes.
struct ValueField {
  const FieldInfo* field = nullptr;
  bool integer = false;
};

ValueField ValueFieldOf(std::uint64_t id) {
  switch (id) {
    case 0x00: return {&kOriginalDcid, false};
    case 0x01: return {&kMaxIdleTimeout, true};
    case 0x02: return {&kResetToken, false};
    case 0x03: return {&kMaxUdpPayload, true};
    case 0x04: return {&kInitialMaxData, true};
    case 0x05: return {&kBidiLocal, true};
    case 0x06: return {&kBidiRemote, true};
    case 0x07: return {&kUni, true};
    case 0x08: return {&kStreamsBidi, true};
    case 0x09: return {&kStreamsUni, true};
    case 0x0a: return {&kAckDelayExponent, true};
    case 0x0b: return {&kMaxAckDelay, true};
    case 0x0e: return {&kConnectionIdLimit, true};
    case 0x0f: return {&kInitialScid, false};
    case 0x10: return {&kRetryScid, false};
    case 0x20: return {&kMaxDatagramFrame, true};
    default: return {};
  }
}

std::string IdName(std::uint64_t id) {
  const char* name = QuicParameterName(id);
  return name != nullptr ? name : "Unknown";
}

}  // namespace

std::optional<Varint> ReadVarint(const PacketDecoder& d, std::uint32_t at, const Area& area) {
  if (!area.Holds(at, 1)) return std::nullopt;
  const std::uint32_t width = 1u << (d.frame[at] >> 6);
  if (!area.Holds(at, width)) return std::nullopt;
  Varint v;
  v.width = width;
  v.value = d.frame[at] & 0x3f;
  for (std::uint32_t i = 1; i < width; ++i) v.value = v.value << 8 | d.frame[at + i];
  return v;
}

void AddQuicTransportParameters(PacketDecoder& d, NodeId parent, const Area& area) {
  std::uint32_t p = area.start;
  while (p < area.end) {
    const std::optional<Varint> id = ReadVarint(d, p, area);
    const std::optional<Varint> length = id ? ReadVarint(d, p + id->width, area) : std::nullopt;
    if (!length) {
      d.AddLine(parent, "Parameter cut short (" + BytesText(area.end - p) + ")", p, area.end);
      return;
    }
    const std::uint32_t valueAt = p + id->width + length->width;
    const Area value = appfield::AreaOf(valueAt, length->value, area.end);
    const ValueField vf = ValueFieldOf(id->value);
    // An integer value is itself a variable-length integer filling the value.
    const std::optional<Varint> number = vf.integer ? ReadVarint(d, valueAt, value) : std::nullopt;
    std::string text =
        Format("Parameter: %s (len=%llu)", IdName(id->value).c_str(), static_cast<unsigned long long>(length->value));
    if (number) text += Format(" %llu", static_cast<unsigned long long>(number->value));
    if (value.Size() < length->value) text += " [cut short]";
    const NodeId line = d.AddFieldLine(parent, kQuicParameter, std::move(text), p, value.end);
    d.AddFieldLine(line, kQuicParamType,
                   Format("Type: %s (0x%02llx)", IdName(id->value).c_str(), static_cast<unsigned long long>(id->value)),
                   p, p + id->width, id->value);
    d.AddFieldLine(line, kQuicParamLength, Format("Length: %llu", static_cast<unsigned long long>(length->value)),
                   p + id->width, valueAt, length->value);
    if (number) {
      d.AddFieldLine(
          line, *vf.field,
          Format("%s: %llu", std::string(vf.field->name).c_str(), static_cast<unsigned long long>(number->value)),
          valueAt, valueAt + number->width, number->value);
    } else if (value.Size() != 0) {
      const FieldInfo& f = vf.field != nullptr ? *vf.field : kQuicParamValue;
      d.AddBytes(line, f, valueAt, value.Size(), std::string(f.name) + ": " + HexPreview(d, valueAt, value.Size()));
    }
    const std::uint64_t next = std::uint64_t{valueAt} + length->value;
    if (next >= area.end) return;
    p = static_cast<std::uint32_t>(next);
  }
}

}  // namespace qv::tls
