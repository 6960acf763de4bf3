#pragma once
// The field registry. Every decode line that shows one field of a protocol
// names it here: an abbreviation in the style users know from display
// filters ("ip.ttl", "ipv6.nxt", "vlan.id"), a display name, a type and a
// base. A protocol's layer line is a field too ("ipv6", "vlan").
//
// Each decoder unit keeps its fields in constant tables and registers them
// with one FieldRegistration object, so the registry (and `-G fields`) lists
// every field that a decoder linked into the program can show.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class FieldType : std::uint8_t {
  Protocol,  // a layer line
  None,      // a line that groups others and carries no value of its own
  UInt8,
  UInt16,
  UInt24,
  UInt32,
  UInt64,
  Int8,
  Int16,
  Int32,
  Boolean,  // one bit (or a few) of a container of `width` bytes
  Ipv4,
  Ipv6,
  Mac,
  Bytes,
  String,
  AbsoluteTime,  // value: nanoseconds since 1970, UTC
  RelativeTime,  // value: nanoseconds
};

enum class FieldBase : std::uint8_t { None, Dec, Hex };

struct FieldInfo {
  std::string_view abbrev;
  std::string_view name;
  FieldType type;
  FieldBase base = FieldBase::None;
  // The bits of the container that an integer or Boolean field takes; 0: all.
  // The value is the masked bits shifted down.
  std::uint64_t mask = 0;
  // Bytes of the container of a Boolean field (1 when 0); ignored by the
  // fixed-width types, which know their width.
  std::uint8_t width = 0;
};

// Bytes a field of this kind covers in the frame; 0 when it varies (bytes,
// strings, protocols, groups).
constexpr std::uint32_t FieldWidth(const FieldInfo& f) {
  switch (f.type) {
    case FieldType::UInt8:
    case FieldType::Int8: return 1;
    case FieldType::UInt16:
    case FieldType::Int16: return 2;
    case FieldType::UInt24: return 3;
    case FieldType::UInt32:
    case FieldType::Int32:
    case FieldType::Ipv4: return 4;
    case FieldType::UInt64: return 8;
    case FieldType::Ipv6: return 16;
    case FieldType::Mac: return 6;
    case FieldType::Boolean: return f.width == 0 ? 1 : f.width;
    default: return 0;
  }
}

constexpr bool IsIntegerField(const FieldInfo& f) {
  switch (f.type) {
    case FieldType::UInt8:
    case FieldType::UInt16:
    case FieldType::UInt24:
    case FieldType::UInt32:
    case FieldType::UInt64:
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Boolean: return true;
    default: return false;
  }
}

// The field's value from its container's bits: masked and shifted down.
constexpr std::uint64_t MaskedValue(const FieldInfo& f, std::uint64_t container) {
  if (f.mask == 0) return container;
  std::uint64_t mask = f.mask;
  std::uint64_t value = container & mask;
  while ((mask & 1) == 0) {
    mask >>= 1;
    value >>= 1;
  }
  return value;
}

// The value of a signed integer field (Int8, Int16, Int32) from its
// container's bits, sign-extended from the field's width.
std::int64_t SignedFieldValue(const FieldInfo& f, std::uint64_t number);

// The type's name as `-G fields` prints it ("FT_UINT8").
std::string_view FieldTypeName(FieldType type);

// Adds a decoder unit's fields to the registry; one static object per unit.
class FieldRegistration {
 public:
  explicit FieldRegistration(std::span<const FieldInfo* const> fields);
};

// Every registered field, in registration order.
const std::vector<const FieldInfo*>& RegisteredFields();
// The registered field with this abbreviation; null when there is none.
const FieldInfo* FindField(std::string_view abbrev);

// A field's value as `tshark -T fields` writes it: integers in their base
// (hexadecimal with "0x" and two digits per byte of the container), Booleans
// as 1 or 0, addresses in their usual text (IPv6 as RFC 5952 writes it),
// bytes as lower-case hex digits without separators, strings as they are.
// `number` is the value of integer, Boolean and time fields; `bytes` the
// value of addresses, bytes and strings.
std::string FieldValueText(const FieldInfo& f, std::uint64_t number, std::span<const std::uint8_t> bytes);

}  // namespace qv
