#include "cli/field_format.h"

namespace qv {

namespace {

// "/t" and "/s" stand for a tab and a blank; otherwise the value's first
// character is the one used, as tshark takes it.
bool SeparatorValue(std::string_view value, char& into) {
  if (value.empty()) return false;
  if (value == "/t") {
    into = '\t';
  } else if (value == "/s") {
    into = ' ';
  } else {
    into = value.front();
  }
  return true;
}

bool YesNo(std::string_view value, bool& into) {
  if (value != "y" && value != "n") return false;
  into = value == "y";
  return true;
}

// A value's control characters that would break the line or the columns,
// written as tshark writes them: \b \f \n \r \t. Everything else goes out
// as it is, a backslash too.
void AppendEscaped(std::string& out, std::string_view value) {
  for (const char c : value) {
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c; break;
    }
  }
}

}  // namespace

bool ApplyFieldOption(FieldFormat& format, std::string_view option, std::string& error) {
  const std::size_t equals = option.find('=');
  const std::string_view name = option.substr(0, equals);
  const std::string_view value = equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
  bool ok = equals != std::string_view::npos;
  if (!ok) {
  } else if (name == "header") {
    ok = YesNo(value, format.header);
  } else if (name == "separator") {
    ok = SeparatorValue(value, format.separator);
  } else if (name == "aggregator") {
    ok = value == "," ? (format.aggregator = ',', true) : SeparatorValue(value, format.aggregator);
  } else if (name == "occurrence") {
    if (value == "f") {
      format.occurrence = FieldFormat::Occurrence::First;
    } else if (value == "l") {
      format.occurrence = FieldFormat::Occurrence::Last;
    } else if (value == "a") {
      format.occurrence = FieldFormat::Occurrence::All;
    } else {
      ok = false;
    }
  } else if (name == "quote") {
    if (value == "d") {
      format.quote = '"';
    } else if (value == "s") {
      format.quote = '\'';
    } else if (value == "n") {
      format.quote = '\0';
    } else {
      ok = false;
    }
  } else if (name == "bom") {
    // Accepted for tshark's sake; the output never starts with a byte-order mark.
    bool bom = false;
    ok = YesNo(value, bom) && !bom;
  } else {
    ok = false;
  }
  if (!ok) {
    error = "-E \"" + std::string(option) +
            "\" is not a field output option: header=y|n, separator=/t|/s|CHAR, occurrence=f|l|a, "
            "aggregator=,|/s|CHAR, quote=d|s|n";
  }
  return ok;
}

std::vector<const FieldInfo*> ResolveOutputFields(const std::vector<std::string>& names, std::string& error) {
  std::vector<const FieldInfo*> fields;
  std::string unknown;
  for (const std::string& name : names) {
    const FieldInfo* f = FindField(name);
    if (f == nullptr) {
      unknown += "\n\t" + name;
    } else {
      fields.push_back(f);
    }
  }
  if (unknown.empty()) return fields;
  error = "Some fields aren't valid:" + unknown;
  return {};
}

void AppendFieldHeader(std::string& out, const std::vector<const FieldInfo*>& fields, const FieldFormat& format) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) out += format.separator;
    out += fields[i]->abbrev;
  }
  out += '\n';
}

void AppendFieldLine(std::string& out, const FrameFieldValues& values, const FieldFormat& format) {
  for (std::size_t i = 0; i < values.Wanted().size(); ++i) {
    if (i != 0) out += format.separator;
    std::span<const FieldOccurrence> shown = values.Of(i);
    if (shown.empty()) continue;
    if (format.occurrence == FieldFormat::Occurrence::First) shown = shown.first(1);
    if (format.occurrence == FieldFormat::Occurrence::Last) shown = shown.last(1);
    if (format.quote != '\0') out += format.quote;
    for (std::size_t k = 0; k < shown.size(); ++k) {
      if (k != 0) out += format.aggregator;
      AppendEscaped(out, OccurrenceText(shown[k]));
    }
    if (format.quote != '\0') out += format.quote;
  }
  out += '\n';
}

}  // namespace qv
