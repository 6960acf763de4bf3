#include "sender/frame_composer.h"

#include <algorithm>
#include <limits>

namespace qv {

Frame InitialFrame() { return Frame(kInitialFrameLength, kFillByte); }

std::int64_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

std::optional<std::string> SetFrameLength(Frame& frame, std::string_view lengthText) {
  const std::int64_t n = LeadingInteger(lengthText);
  if (n < 1 || n > kMaxComposedLength) return std::string(kBadLengthMessage);
  frame.resize(static_cast<std::size_t>(n), kFillByte);
  return std::nullopt;
}

std::size_t PasteOver(Frame& frame, std::size_t offset, std::span<const std::uint8_t> block) {
  if (offset >= frame.size()) return 0;
  const std::size_t n = std::min(block.size(), frame.size() - offset);
  std::copy_n(block.begin(), n, frame.begin() + static_cast<std::ptrdiff_t>(offset));
  return n;
}

Frame SelectedBytes(std::span<const std::uint8_t> frame, std::size_t first, std::size_t last) {
  if (first > last || first >= frame.size()) return {};
  last = std::min(last, frame.size() - 1);
  return Frame(frame.begin() + static_cast<std::ptrdiff_t>(first), frame.begin() + static_cast<std::ptrdiff_t>(last) + 1);
}

Frame FrameForResend(std::span<const std::uint8_t> captured) {
  return Frame(captured.begin(), captured.begin() + static_cast<std::ptrdiff_t>(
                                                        std::min<std::size_t>(captured.size(), kMaxComposedLength)));
}

}  // namespace qv
