#include "cli/field_printer.h"

#include "filters/display_filter_match.h"

namespace qv {

namespace {
constexpr std::size_t kFlushAt = 1 << 16;
}  // namespace

FrameFacts FrameClock::Next(const PacketRecord& record) {
  const std::int64_t now = RecordTimeNs(record);
  if (!started_) {
    started_ = true;
    firstNs_ = now;
    previousNs_ = now;
  }
  const FrameFacts facts = FactsOf(record, firstNs_, previousNs_);
  previousNs_ = now;
  return facts;
}

FieldPrinter::FieldPrinter(CTalvenorDoc& doc, RowPrinter& counter, std::FILE* out, ScriptHost* scripts,
                           std::vector<const FieldInfo*> fields, FieldFormat format)
    : doc_(doc), counter_(counter), out_(out), scripts_(scripts), format_(format), values_(std::move(fields)) {
  pending_.reserve(kFlushAt * 2);
  if (format_.header) AppendFieldHeader(pending_, values_.Wanted(), format_);
}

FieldPrinter::~FieldPrinter() { Flush(); }

void FieldPrinter::Flush() {
  if (!pending_.empty()) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  std::fflush(out_);
}

void FieldPrinter::PacketAdded(const PacketRecord& record, const PacketSummary& row) {
  const FrameFacts facts = clock_.Next(record);
  PacketDecoder decoder(record.bytes, {record.linkType, nullptr, scripts_, doc_.Decoders(), doc_.QuicInitials(), nullptr, record.comment},
                        &tree_, DecodeMode::Tree, &layerStarts_, nullptr);
  decoder.Decode();
  values_.Collect(tree_, record.bytes, facts);
  AppendFieldLine(pending_, values_, format_);
  if (pending_.size() >= kFlushAt) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  counter_.PacketAdded(record, row);
}

void FieldPrinter::CaptureEnded(bool failed) { counter_.CaptureEnded(failed); }

void FieldPrinter::CaptureNotice(const std::string& text) { counter_.CaptureNotice(text); }

}  // namespace qv
