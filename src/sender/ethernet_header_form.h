#pragma once
// The fields of the Ethernet wizard ("Sending packet wizard", page "Data
// Link Layer"): what they show for a frame, and how "Finish" checks them and
// writes the 14-byte header. The dialog in ui/ only shows this form.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sender/frame_composer.h"

namespace qv {

inline constexpr std::size_t kEthernetHeaderLength = 14;
inline constexpr std::size_t kMaxEthernet8022Length = 1500;

inline constexpr const char* kFrameTooSmallMessage = "Too small. Must be at least 14 bytes long!";

enum class LinkLayerProtocol { EthernetII = 0, Ieee8022 = 1 };

struct EtherTypeEntry {
  const char* label;
  std::uint16_t value;
};
inline constexpr std::array<EtherTypeEntry, 5> kEtherTypes = {{
    {"IPv4 (0x0800)", 0x0800},
    {"IPv6 (0x86DD)", 0x86DD},
    {"ARP (0x0806)", 0x0806},
    {"RARP (0x8035)", 0x8035},
    {"IPX (0x8137)", 0x8137},
}};

struct EthernetHeaderForm {
  LinkLayerProtocol protocol = LinkLayerProtocol::EthernetII;
  std::string destination;  // "%x:%x:%x:%x:%x:%x"
  std::string source;
  std::string length;       // decimal; used with IEEE 802.2
  std::size_t typeIndex = 0;  // into kEtherTypes; used with Ethernet II
};

// A refusal of "Finish": the message box's caption and text.
struct FormError {
  std::string caption;
  std::string text;
};

// The form as it opens over `frame`; none when the frame is shorter than
// the header (the wizard then shows kFrameTooSmallMessage and closes).
std::optional<EthernetHeaderForm> FormFromFrame(std::span<const std::uint8_t> frame);

// A MAC address typed as six ":"-separated groups of one or two hex digits,
// either case.
std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text);

// "Finish": checks the fields in the wizard's order (length, destination,
// source) and writes bytes 0 to 13 of `frame` only when all are valid; the
// first refusal otherwise, with `frame` unchanged.
std::optional<FormError> ApplyForm(const EthernetHeaderForm& form, Frame& frame);

}  // namespace qv
