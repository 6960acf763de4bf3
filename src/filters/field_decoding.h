#pragma once
// Decoding frames for the values of a few fields, as display filters need
// them: the tree mode's decoding, made cheaper for the purpose. It keeps
// only the lines of the fields asked for, writes no line texts, and leaves
// out the application decoders whose protocols none of the fields belongs
// to. What it collects equals what the full decode tree holds of the same
// fields (in the order the lines were written, which a filter ignores).

#include <vector>

#include "capture/packet_record.h"
#include "decode/decode_tree.h"
#include "decode/enabled_decoders.h"
#include "decode/field_selection.h"
#include "filters/frame_fields.h"

namespace qv {

class QuicInitialMemory;

// How frames are decoded: as the list decodes them.
struct DecodeSetup {
  EnabledDecoders decoders{};
  QuicInitialMemory* quicInitials = nullptr;  // may be null
};

class FieldDecoding {
 public:
  FieldDecoding(std::vector<const FieldInfo*> fields, DecodeSetup setup);

  // The values of the fields in the record's frame; valid until the next call.
  const FrameFieldValues& Decode(const PacketRecord& record, const FrameFacts& facts);

 private:
  DecodeSetup setup_;
  FrameFieldValues values_;
  bool decode_;  // false when only the frame's own fields are asked for
  EnabledDecoders decoders_;
  FieldSelection selection_;
  DecodeTree tree_;
};

}  // namespace qv
