#include "cli/json_printer.h"

#include "cli/json_frame.h"

namespace qv {

namespace {
constexpr std::size_t kFlushAt = 1 << 16;
}  // namespace

JsonPrinter::JsonPrinter(CTalvenorDoc& doc, RowPrinter& counter, std::FILE* out, ScriptHost* scripts)
    : doc_(doc), counter_(counter), out_(out), scripts_(scripts) {
  pending_.reserve(kFlushAt * 2);
}

JsonPrinter::~JsonPrinter() { Flush(); }

void JsonPrinter::Flush() {
  if (!pending_.empty()) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  std::fflush(out_);
}

void JsonPrinter::PacketAdded(const PacketRecord& record, const PacketSummary& row) {
  PacketDecoder decoder(record.bytes, {record.linkType, nullptr, scripts_, doc_.Decoders(), doc_.QuicInitials(), nullptr, record.comment}, &tree_, DecodeMode::Tree,
                        &layerStarts_, nullptr);
  decoder.Decode();
  // The frame's number in the file or capture, also when a display filter
  // leaves frames out.
  AppendJsonFrame(pending_, std::uint64_t{record.number} + 1, record, row, tree_);
  if (pending_.size() >= kFlushAt) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  counter_.PacketAdded(record, row);
}

void JsonPrinter::CaptureEnded(bool failed) { counter_.CaptureEnded(failed); }

void JsonPrinter::CaptureNotice(const std::string& text) { counter_.CaptureNotice(text); }

}  // namespace qv
