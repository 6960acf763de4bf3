#include "decode/derived_fields.h"

#include <array>
#include <string_view>

namespace qv {

namespace {

constexpr FieldInfo kFrame{"frame", "Frame", FieldType::Protocol};
constexpr FieldInfo kNumber{"frame.number", "Frame Number", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kLength{"frame.len", "Frame length on the wire", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kCapturedLength{"frame.cap_len", "Frame length stored into the capture file",
                                    FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kTimeEpoch{"frame.time_epoch", "Epoch Time", FieldType::RelativeTime};
constexpr FieldInfo kTimeRelative{"frame.time_relative", "Time since reference or first frame",
                                  FieldType::RelativeTime};
constexpr FieldInfo kTimeDelta{"frame.time_delta", "Time delta from previous captured frame",
                               FieldType::RelativeTime};

constexpr FieldInfo kComment{"frame.comment", "Comment", FieldType::String};
constexpr FieldInfo kEthAddr{"eth.addr", "Address", FieldType::Mac};
constexpr FieldInfo kIpAddr{"ip.addr", "Source or Destination Address", FieldType::Ipv4};
constexpr FieldInfo kIpv6Addr{"ipv6.addr", "Source or Destination Address", FieldType::Ipv6};
constexpr FieldInfo kTcpPort{"tcp.port", "Source or Destination Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kUdpPort{"udp.port", "Source or Destination Port", FieldType::UInt16, FieldBase::Dec};

constexpr const FieldInfo* kFields[] = {&kFrame,     &kNumber,  &kLength,   &kCapturedLength, &kTimeEpoch,
                                        &kTimeRelative, &kTimeDelta, &kEthAddr, &kIpAddr, &kIpv6Addr,
                                        &kTcpPort,   &kUdpPort, &kComment};
const FieldRegistration kRegistration(kFields);

struct Sides {
  const FieldInfo* field;
  std::string_view source;
  std::string_view destination;
};
constexpr Sides kSides[] = {
    {&kEthAddr, "eth.src", "eth.dst"},       {&kIpAddr, "ip.src", "ip.dst"},
    {&kIpv6Addr, "ipv6.src", "ipv6.dst"},    {&kTcpPort, "tcp.srcport", "tcp.dstport"},
    {&kUdpPort, "udp.srcport", "udp.dstport"},
};

}  // namespace

FrameFact FrameFactOf(const FieldInfo& f) {
  if (&f == &kFrame) return FrameFact::Frame;
  if (&f == &kNumber) return FrameFact::Number;
  if (&f == &kLength) return FrameFact::Length;
  if (&f == &kCapturedLength) return FrameFact::CapturedLength;
  if (&f == &kTimeEpoch) return FrameFact::TimeEpoch;
  if (&f == &kTimeRelative) return FrameFact::TimeRelative;
  if (&f == &kTimeDelta) return FrameFact::TimeDelta;
  return FrameFact::None;
}

std::span<const FieldInfo* const> FieldSides(const FieldInfo& f) {
  // The sides live in their decoders' units; looked up once, by name.
  static const auto resolved = [] {
    std::array<std::array<const FieldInfo*, 2>, std::size(kSides)> out{};
    for (std::size_t i = 0; i < std::size(kSides); ++i) {
      out[i] = {FindField(kSides[i].source), FindField(kSides[i].destination)};
    }
    return out;
  }();
  for (std::size_t i = 0; i < std::size(kSides); ++i) {
    if (kSides[i].field == &f && resolved[i][0] != nullptr && resolved[i][1] != nullptr) return resolved[i];
  }
  return {};
}

const FieldInfo& FrameCommentField() { return kComment; }

}  // namespace qv
