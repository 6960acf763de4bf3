#pragma once
// NetBIOS names are 16 bytes of 8-bit characters, padded with blanks, the last
// byte naming the service; a zero byte ends a shorter name.

#include <cstdint>
#include <string>

namespace qv {

// Appends the name's characters up to the first zero byte. Tree texts are
// UTF-8, so bytes from 0x80 on are taken as Latin-1 characters and encoded;
// the others are kept as they are.
inline void AppendNetbiosName(std::string& out, const std::uint8_t* name, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length && name[i] != 0; ++i) {
    const std::uint8_t c = name[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

}  // namespace qv
