#pragma once
// `quorvanet-cli -T fields`: one line per frame with the values of the -e
// fields, decoded on the capture thread in tree mode as the -T json tree is.
// Counting, the stop after -c frames, notices and the end of the run are
// left to a RowPrinter that prints no rows.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "cli/field_format.h"
#include "cli/row_printer.h"
#include "decode/decode_tree.h"
#include "filters/frame_fields.h"

namespace qv {

// The times a frame's own fields count from: the first frame read and the
// one read before it, whether or not those were shown.
class FrameClock {
 public:
  FrameFacts Next(const PacketRecord& record);

 private:
  bool started_ = false;
  std::int64_t firstNs_ = 0;
  std::int64_t previousNs_ = 0;
};

class FieldPrinter : public CaptureObserver {
 public:
  // `counter` counts the frames and stops the run; it must print no rows.
  FieldPrinter(CTalvenorDoc& doc, RowPrinter& counter, std::FILE* out, ScriptHost* scripts,
               std::vector<const FieldInfo*> fields, FieldFormat format);
  ~FieldPrinter() override;

  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override;
  void CaptureEnded(bool failed) override;
  void CaptureNotice(const std::string& text) override;
  // A frame read and not shown (a display filter refused it): it still
  // moves the time of the previous frame on.
  void PacketSkipped(const PacketRecord& record) { clock_.Next(record); }

  void Flush();

 private:
  CTalvenorDoc& doc_;
  RowPrinter& counter_;
  std::FILE* out_;
  ScriptHost* scripts_;
  FieldFormat format_;
  FrameFieldValues values_;
  FrameClock clock_;
  std::string pending_;
  DecodeTree tree_;
  std::vector<std::int32_t> layerStarts_;
};

}  // namespace qv
