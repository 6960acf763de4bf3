#include "sender/ethernet_header_form.h"

#include <cstdio>

namespace qv {

namespace {

std::string MacText(std::span<const std::uint8_t> b) {
  char text[32];
  std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<EthernetHeaderForm> FormFromFrame(std::span<const std::uint8_t> frame) {
  if (frame.size() < kEthernetHeaderLength) return std::nullopt;
  EthernetHeaderForm form;
  form.destination = MacText(frame.subspan(0, 6));
  form.source = MacText(frame.subspan(6, 6));
  form.length = std::to_string(frame[12] * 256 + frame[13]);
  return form;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text) {
  std::array<std::uint8_t, 6> mac{};
  std::size_t group = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    const std::string_view part = text.substr(start, colon == std::string_view::npos ? text.npos : colon - start);
    if (group >= 6 || part.empty() || part.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : part) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + d;
    }
    mac[group++] = static_cast<std::uint8_t>(value);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  if (group != 6) return std::nullopt;
  return mac;
}

std::optional<FormError> ApplyForm(const EthernetHeaderForm& form, Frame& frame) {
  if (frame.size() < kEthernetHeaderLength) return FormError{"Quorvanet", kFrameTooSmallMessage};
  std::uint16_t typeOrLength = 0;
  if (form.protocol == LinkLayerProtocol::EthernetII) {
    typeOrLength = kEtherTypes[form.typeIndex < kEtherTypes.size() ? form.typeIndex : 0].value;
  } else {
    // The typed number taken as 16 bits, as the field holds it: 65536 is 0.
    typeOrLength = static_cast<std::uint16_t>(static_cast<std::uint64_t>(LeadingInteger(form.length)));
    if (typeOrLength > kMaxEthernet8022Length) {
      return FormError{"Błąd w polu Długość", "Długość może być z przedziału od 0 do 1500!"};
    }
  }
  const auto destination = ParseMac(form.destination);
  if (!destination) return FormError{"Błąd w polu MAC docelowy", "Błędny docelowy ades MAC!"};
  const auto source = ParseMac(form.source);
  if (!source) return FormError{"Błąd w polu MAC źródłowy", "Błędny źródłowy ades MAC!"};

  std::copy(destination->begin(), destination->end(), frame.begin());
  std::copy(source->begin(), source->end(), frame.begin() + 6);
  frame[12] = static_cast<std::uint8_t>(typeOrLength >> 8);
  frame[13] = static_cast<std::uint8_t>(typeOrLength);
  return std::nullopt;
}

}  // namespace qv
