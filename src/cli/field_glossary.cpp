#include "cli/field_glossary.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "decode/text_format.h"

namespace qv {

namespace {

std::string_view ProtocolOf(const FieldInfo& f) { return f.abbrev.substr(0, f.abbrev.find('.')); }

// A protocol's own line: a Protocol field whose abbreviation has no dot.
bool IsProtocolLine(const FieldInfo& f) { return f.type == FieldType::Protocol && ProtocolOf(f) == f.abbrev; }

void AppendFieldLine(std::string& out, const FieldInfo& f) {
  out += "F\t";
  out += f.name;
  out += '\t';
  out += f.abbrev;
  out += '\t';
  out += FieldTypeName(f.type);
  out += '\t';
  out += ProtocolOf(f);
  out += '\t';
  out += FieldBaseText(f);
  out += Format("\t0x%llx\t\n", static_cast<unsigned long long>(f.mask));
}

}  // namespace

std::string FieldBaseText(const FieldInfo& f) {
  if (f.type == FieldType::Boolean) return f.mask == 0 ? "0" : std::to_string(FieldWidth(f) * 8);
  if (!IsIntegerField(f)) return {};
  switch (f.base) {
    case FieldBase::Dec: return "BASE_DEC";
    case FieldBase::Hex: return "BASE_HEX";
    case FieldBase::None: break;
  }
  return "BASE_NONE";
}

std::string FieldGlossary() {
  const std::vector<const FieldInfo*>& fields = RegisteredFields();
  std::vector<std::string_view> protocols;
  for (const FieldInfo* f : fields) {
    const std::string_view p = ProtocolOf(*f);
    if (std::find(protocols.begin(), protocols.end(), p) == protocols.end()) protocols.push_back(p);
  }
  std::string out;
  for (const std::string_view p : protocols) {
    for (const FieldInfo* f : fields) {
      if (IsProtocolLine(*f) && f->abbrev == p) {
        out += "P\t";
        out += f->name;
        out += '\t';
        out += f->abbrev;
        out += '\n';
      }
    }
    for (const FieldInfo* f : fields) {
      if (!IsProtocolLine(*f) && ProtocolOf(*f) == p) AppendFieldLine(out, *f);
    }
  }
  return out;
}

}  // namespace qv
