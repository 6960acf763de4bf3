#pragma once
// `quorvanet-cli -T json`: one JSON object per frame, one per line. Each frame
// is decoded in tree mode on the capture thread, as the -V tree is, and the
// text gathers in one buffer that is written in large pieces. Counting, the
// stop after -c frames, notices and the end of the run are left to a
// RowPrinter that prints no rows.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "cli/row_printer.h"
#include "decode/decode_tree.h"

namespace qv {

class JsonPrinter : public CaptureObserver {
 public:
  // `counter` counts the frames and stops the run; it must print no rows.
  JsonPrinter(CTalvenorDoc& doc, RowPrinter& counter, std::FILE* out, ScriptHost* scripts);
  ~JsonPrinter() override;

  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override;
  void CaptureEnded(bool failed) override;
  void CaptureNotice(const std::string& text) override;

  // Writes what is gathered.
  void Flush();

 private:
  CTalvenorDoc& doc_;
  RowPrinter& counter_;
  std::FILE* out_;
  ScriptHost* scripts_;
  std::string pending_;
  // Kept from frame to frame so that their storage is reused.
  DecodeTree tree_;
  std::vector<std::int32_t> layerStarts_;
};

}  // namespace qv
