#include "decode/other_link_type.h"

#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

void DecodeOtherLinkType(PacketDecoder& d) {
  if (!d.IsTree()) return;
  d.offset = 0;
  d.parentItem = kRootNode;
  const int linkType = d.LinkType();
  d.AddLayerLine(Format("Link type %d (%s)", linkType, LinkTypeDescription(linkType).c_str()), 0, d.capturedLength);
  d.MarkUnsupported();
}

}  // namespace qv
