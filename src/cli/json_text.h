#pragma once
// JSON string texts from arbitrary bytes. Decode lines may carry bytes of the
// frame (names, strings), so nothing may be assumed about their encoding:
// valid UTF-8 passes through, `"` `\` and control characters are escaped,
// and every byte that is not part of a valid UTF-8 sequence becomes \u00XX,
// the Latin-1 character of that byte. Every output is valid JSON and valid
// UTF-8, and the original bytes can be told from it.

#include <string>
#include <string_view>

namespace qv {

// Appends `text` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view text);

// The length of the valid UTF-8 sequence that starts `text` (1 to 4), or 0
// when its first byte does not start one: a stray continuation byte, an
// overlong form, a surrogate, a code point beyond U+10FFFF or a sequence cut
// short.
std::size_t Utf8SequenceLength(std::string_view text);

}  // namespace qv
