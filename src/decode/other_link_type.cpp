#include "decode/other_link_type.h"

#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The link layer of a link type without a decoder: the whole frame, named by
// its link type.
constexpr FieldInfo kProto{"linktype", "Link layer not decoded", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kProto};
const FieldRegistration kRegistration(kFields);

}  // namespace

void DecodeOtherLinkType(PacketDecoder& d) {
  if (!d.IsTree()) return;
  d.offset = 0;
  d.parentItem = kRootNode;
  const int linkType = d.LinkType();
  d.AddLayerLine(kProto, Format("Link type %d (%s)", linkType, LinkTypeDescription(linkType).c_str()), 0,
                 d.capturedLength);
  d.MarkUnsupported();
}

}  // namespace qv
