#include "decode/nbipx.h"

#include "decode/netbios_name.h"
#include "decode/smb.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kConnectionHeaderLength = 18;
constexpr std::uint32_t kNamePacketLength = 50;
constexpr std::uint32_t kNetworkCount = 8;
constexpr std::uint32_t kNameLength = 16;

// The connection header's 16-bit fields, least significant byte first.
struct WordField {
  std::uint32_t at;
  const char* format;
};

constexpr WordField kConnectionWords[] = {
    {2, "Source connection id: %u (0x%04x)"},
    {4, "Destination connection id: %u (0x%04x)"},
    {6, "Send sequence number: %u (0x%04x)"},
    {8, "Total data length: %u (0x%02x)"},
    {10, "Offset: %u (0x%04x)"},
    {12, "Data length: %u (0x%04x)"},
    {14, "Recieve sequence number: %u (0x%04x)"},
    {16, "Bytes recieved: %u (0x%04x)"},
};

// An SMB message starts with 0xFF "SMB".
bool CarriesSmb(const PacketDecoder& d, std::uint32_t at) {
  // The signature is taken only when at least one byte follows it.
  if (!d.Has(at, 5)) return false;
  const std::uint8_t* b = d.Bytes(at, 4);
  return b[0] == 0xFF && b[1] == 'S' && b[2] == 'M' && b[3] == 'B';
}

}  // namespace

void DecodeNbipxConnection(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Nbipx);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine("NBIPX", h, h + kConnectionHeaderLength);
    if (const auto flag = d.U8(h)) {
      d.AddLine(layer, Format("Connection control flag: 0x%02x", *flag), h, h + 1);
    }
    if (const auto type = d.U8(h + 1)) d.AddLine(layer, Format("Data stream type: 0x%02x", *type), h + 1, h + 2);
    for (const WordField& f : kConnectionWords) {
      const std::optional<std::uint16_t> v = d.U16Le(h + f.at);
      if (!v) break;  // the rest of the header was not captured either
      d.AddLine(layer, Format(f.format, *v, *v), h + f.at, h + f.at + 2);
    }
  }

  if (CarriesSmb(d, h + kConnectionHeaderLength)) {
    d.Dispatch(DecodeSmb, h + kConnectionHeaderLength);
  } else {
    d.FinishPayload(kConnectionHeaderLength, "nbipx");
  }
}

void DecodeNbipxName(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Nbipx);
  if (!d.IsTree()) return;

  const NodeId layer = d.AddLayerLine("NBIPX", h, h + kNamePacketLength);
  if (d.Has(h, 4 * kNetworkCount)) {
    const NodeId networks = d.AddLine(layer, "Networks", h, h + 4 * kNetworkCount);
    for (std::uint32_t i = 1; i <= kNetworkCount; ++i) {
      const std::uint32_t at = h + 4 * (i - 1);
      const std::uint8_t* n = d.Bytes(at, 4);
      d.AddLine(networks, Format("Network %u: %u.%u.%u.%u", i, n[0], n[1], n[2], n[3]), at, at + 4);
    }
  }
  if (const auto nameType = d.U8(h + 32)) {
    d.AddLine(layer, Format("Name type: 0x%02X", *nameType), h + 32, h + 33);
  }
  if (const auto streamType = d.U8(h + 33)) {
    d.AddLine(layer, Format("DS type 2: 0x%02X", *streamType), h + 33, h + 34);
  }
  if (const std::uint8_t* name = d.Bytes(h + 34, kNameLength)) {
    std::string text = "Name: ";
    AppendNetbiosName(text, name, kNameLength);
    d.AddLine(layer, std::move(text), h + 34, h + 34 + kNameLength);
  }
  d.FinishLayer(layer, kNamePacketLength, "nbipx");
}

}  // namespace qv
