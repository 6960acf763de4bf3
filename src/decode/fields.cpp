#include "decode/fields.h"

#include <arpa/inet.h>

#include <ctime>

#include "decode/text_format.h"

namespace qv {

namespace {

std::vector<const FieldInfo*>& Registry() {
  static std::vector<const FieldInfo*> fields;
  return fields;
}

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHex(std::string& out, std::uint64_t value, unsigned digits) {
  out += "0x";
  for (unsigned i = digits; i-- > 0;) out += kHexDigits[(value >> (i * 4)) & 0xF];
}

std::int64_t SignExtend(std::uint64_t value, std::uint32_t width) {
  const unsigned bits = width * 8;
  if (bits >= 64) return static_cast<std::int64_t>(value);
  const std::uint64_t sign = 1ull << (bits - 1);
  return static_cast<std::int64_t>((value ^ sign) - sign);
}

void AppendSeconds(std::string& out, std::uint64_t nanoseconds) {
  AppendDecimal(out, nanoseconds / 1000000000u);
  out += Format(".%09u", static_cast<unsigned>(nanoseconds % 1000000000u));
}

}  // namespace

std::int64_t SignedFieldValue(const FieldInfo& f, std::uint64_t number) { return SignExtend(number, FieldWidth(f)); }

std::string_view FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Protocol: return "FT_PROTOCOL";
    case FieldType::None: return "FT_NONE";
    case FieldType::UInt8: return "FT_UINT8";
    case FieldType::UInt16: return "FT_UINT16";
    case FieldType::UInt24: return "FT_UINT24";
    case FieldType::UInt32: return "FT_UINT32";
    case FieldType::UInt64: return "FT_UINT64";
    case FieldType::Int8: return "FT_INT8";
    case FieldType::Int16: return "FT_INT16";
    case FieldType::Int32: return "FT_INT32";
    case FieldType::Boolean: return "FT_BOOLEAN";
    case FieldType::Ipv4: return "FT_IPv4";
    case FieldType::Ipv6: return "FT_IPv6";
    case FieldType::Mac: return "FT_ETHER";
    case FieldType::Bytes: return "FT_BYTES";
    case FieldType::String: return "FT_STRING";
    case FieldType::AbsoluteTime: return "FT_ABSOLUTE_TIME";
    case FieldType::RelativeTime: return "FT_RELATIVE_TIME";
  }
  return "FT_NONE";
}

FieldRegistration::FieldRegistration(std::span<const FieldInfo* const> fields) {
  Registry().insert(Registry().end(), fields.begin(), fields.end());
}

const std::vector<const FieldInfo*>& RegisteredFields() { return Registry(); }

const FieldInfo* FindField(std::string_view abbrev) {
  for (const FieldInfo* f : Registry()) {
    if (f->abbrev == abbrev) return f;
  }
  return nullptr;
}

std::string FieldValueText(const FieldInfo& f, std::uint64_t number, std::span<const std::uint8_t> bytes) {
  std::string out;
  switch (f.type) {
    case FieldType::Protocol:
    case FieldType::None: break;
    case FieldType::Boolean: out += number != 0 ? '1' : '0'; break;
    case FieldType::UInt8:
    case FieldType::UInt16:
    case FieldType::UInt24:
    case FieldType::UInt32:
    case FieldType::UInt64:
      if (f.base == FieldBase::Hex) {
        AppendHex(out, number, FieldWidth(f) * 2);
      } else {
        AppendDecimal(out, number);
      }
      break;
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32: {
      if (f.base == FieldBase::Hex) {
        AppendHex(out, number, FieldWidth(f) * 2);
        break;
      }
      const std::int64_t v = SignedFieldValue(f, number);
      if (v < 0) {
        out += '-';
        AppendDecimal(out, static_cast<std::uint64_t>(-(v + 1)) + 1);
      } else {
        AppendDecimal(out, static_cast<std::uint64_t>(v));
      }
      break;
    }
    case FieldType::Ipv4:
      if (bytes.size() == 4) AppendIpv4(out, bytes.data());
      break;
    case FieldType::Ipv6:
      if (bytes.size() == 16) {
        char text[INET6_ADDRSTRLEN];
        if (inet_ntop(AF_INET6, bytes.data(), text, sizeof text) != nullptr) out += text;
      }
      break;
    case FieldType::Mac:
      if (bytes.size() == 6) {
        out = Format("%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]);
      }
      break;
    case FieldType::Bytes:
      out.reserve(bytes.size() * 2);
      for (const std::uint8_t b : bytes) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0xF];
      }
      break;
    case FieldType::String: out.assign(bytes.begin(), bytes.end()); break;
    case FieldType::AbsoluteTime: {
      const auto seconds = static_cast<std::time_t>(number / 1000000000u);
      std::tm utc{};
      gmtime_r(&seconds, &utc);
      char date[64];
      std::strftime(date, sizeof date, "%b %e, %Y %H:%M:%S", &utc);
      out = Format("%s.%09u UTC", date, static_cast<unsigned>(number % 1000000000u));
      break;
    }
    case FieldType::RelativeTime: {
      // Signed: a frame may carry an earlier time than the one before it.
      const auto ns = static_cast<std::int64_t>(number);
      if (ns < 0) out += '-';
      AppendSeconds(out, ns < 0 ? 0 - number : number);
      break;
    }
  }
  return out;
}

}  // namespace qv
