// The capture helper's control channel over any bytes, as either end reads
// them. Checked: the stream decoder gives the same messages whether the
// bytes come at once or in small pieces; each message it gives fits its
// type's payload range; and a payload its type's Decode takes encodes back
// to the very same message bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture_helper/control_protocol.h"
#include "fuzz_check.h"

namespace {

using namespace qv::control;

template <typename T>
void RoundTrip(const Message& m) {
  const std::optional<T> value = T::Decode(m.payload);
  if (!value) return;
  const std::vector<std::uint8_t> again = value->Encode();
  const std::vector<std::uint8_t> original = EncodeMessage(m.type, m.payload);
  FUZZ_CHECK(again == original, "a decoded payload did not encode back to its own bytes");
}

void Check(const Message& m) {
  const auto range = AllowedPayload(static_cast<std::uint32_t>(m.type));
  FUZZ_CHECK(range.has_value(), "the decoder gave a message of an unknown type");
  FUZZ_CHECK(m.payload.size() >= range->min && m.payload.size() <= range->max, "a payload outside its type's range");
  switch (m.type) {
    case MessageType::Started: return RoundTrip<Started>(m);
    case MessageType::Written: return RoundTrip<Written>(m);
    case MessageType::Drops: return RoundTrip<Drops>(m);
    case MessageType::Warning: return RoundTrip<Warning>(m);
    case MessageType::Error: return RoundTrip<Error>(m);
    case MessageType::End: return RoundTrip<End>(m);
    case MessageType::FileSwitched: return RoundTrip<FileSwitched>(m);
    case MessageType::Adapters: return RoundTrip<Adapters>(m);
    case MessageType::Rights: return RoundTrip<Rights>(m);
    case MessageType::FilterSet: return RoundTrip<FilterSet>(m);
    case MessageType::SendProgress: return RoundTrip<SendProgress>(m);
    case MessageType::SendDone: return RoundTrip<SendDone>(m);
    case MessageType::Stop: return RoundTrip<Stop>(m);
    case MessageType::SetFilter: return RoundTrip<SetFilter>(m);
    case MessageType::Rotate: return RoundTrip<Rotate>(m);
    case MessageType::SendFrames: return RoundTrip<SendFrames>(m);
  }
}

std::vector<Message> DecodeAll(MessageDecoder& d) {
  std::vector<Message> out;
  while (auto m = d.Next()) out.push_back(std::move(*m));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  MessageDecoder whole;
  whole.Feed(bytes);
  const std::vector<Message> messages = DecodeAll(whole);
  for (const Message& m : messages) Check(m);

  // The same bytes in pieces of a length the input's first byte picks.
  const std::size_t piece = size ? 1 + data[0] % 13 : 1;
  MessageDecoder pieces;
  std::vector<Message> again;
  for (std::size_t at = 0; at < size; at += piece) {
    pieces.Feed(bytes.subspan(at, std::min(piece, size - at)));
    for (Message& m : DecodeAll(pieces)) again.push_back(std::move(m));
  }
  FUZZ_CHECK(again.size() == messages.size(), "pieces gave another number of messages");
  for (std::size_t i = 0; i < again.size(); ++i) {
    FUZZ_CHECK(again[i].type == messages[i].type && again[i].payload == messages[i].payload,
               "pieces gave other messages");
  }
  FUZZ_CHECK(pieces.Failed() == whole.Failed(), "pieces failed where the whole did not, or the other way");
  FUZZ_CHECK(pieces.AtMessageBoundary() == whole.AtMessageBoundary(), "pieces ended elsewhere than the whole");
  return 0;
}
