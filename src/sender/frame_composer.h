#pragma once
// The frame of the Send page and the operations the page applies to it: its
// length rules, and the bytes that copy and paste move through the clipboard.
// No widgets here: the page, the command line and the tests share them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

using Frame = std::vector<std::uint8_t>;

inline constexpr int kInitialFrameLength = 60;
inline constexpr int kMaxComposedLength = 1514;  // Ethernet header + 1500 bytes
inline constexpr std::uint8_t kFillByte = 0xFF;

inline constexpr const char* kBadLengthMessage = "Data length must be positive and less then 1514";

// The page's frame when the window opens: 60 bytes of 0xFF.
Frame InitialFrame();

// A decimal number the way the page's boxes read one: optional blanks and
// sign, then the leading digits; text that is not a number gives 0. Values
// beyond 64 bits saturate.
std::int64_t LeadingInteger(std::string_view text);

// "set length": the length box's text; on success the frame keeps its first
// min(old, N) bytes and is filled up with 0xFF to N bytes. Returns the
// refusal message when N is outside 1 to 1514 (the frame is then unchanged).
std::optional<std::string> SetFrameLength(Frame& frame, std::string_view lengthText);

// Copies `block` over the frame from `offset` on, stopping at the frame's
// end; the frame's length never changes. Returns how many bytes were written.
std::size_t PasteOver(Frame& frame, std::size_t offset, std::span<const std::uint8_t> block);

// The bytes from `first` to `last` (both included), clipped to the frame.
Frame SelectedBytes(std::span<const std::uint8_t> frame, std::size_t first, std::size_t last);

// What Resend takes from a captured frame: at most its first 1514 bytes.
Frame FrameForResend(std::span<const std::uint8_t> captured);

}  // namespace qv
