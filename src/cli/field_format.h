#pragma once
// `quorvanet-cli -T fields`: the chosen fields of each frame on one line, in
// the layout of `tshark -T fields -e FIELD ... -E OPTION=VALUE`.

#include <string>
#include <string_view>
#include <vector>

#include "decode/fields.h"
#include "filters/frame_fields.h"

namespace qv {

struct FieldFormat {
  bool header = false;    // header=y: a first line of the field names
  char separator = '\t';  // between fields: separator=/t|/s|CHAR
  // Which of a field's occurrences are written: occurrence=f|l|a.
  enum class Occurrence { First, Last, All } occurrence = Occurrence::All;
  char aggregator = ',';  // between a field's occurrences: aggregator=,|/s|CHAR
  char quote = '\0';      // around each non-empty value: quote=d|s|n ('\0': none)
};

// Applies one -E argument ("separator=/s"); false, with the message, for one
// that is not an option of the field output.
bool ApplyFieldOption(FieldFormat& format, std::string_view option, std::string& error);

// The registered fields named by -e, in the order given. When a name is not
// a field (or protocol) the list is empty and `error` names every such name.
std::vector<const FieldInfo*> ResolveOutputFields(const std::vector<std::string>& names, std::string& error);

// The header line (the names separated, never quoted) with its newline.
void AppendFieldHeader(std::string& out, const std::vector<const FieldInfo*>& fields, const FieldFormat& format);
// One frame's line with its newline: each field's chosen occurrences joined
// by the aggregator and quoted; a field without occurrences writes nothing
// between its separators. Backspace, form feed, line feed, carriage return
// and tab inside a value are written as \b \f \n \r \t, so that a line is
// always one frame.
void AppendFieldLine(std::string& out, const FrameFieldValues& values, const FieldFormat& format);

}  // namespace qv
