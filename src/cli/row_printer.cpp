#include "cli/row_printer.h"

#include "capture/packet_row.h"
#include "decode/hex_dump.h"
#include "decode/text_format.h"

namespace qv {

namespace {
constexpr std::size_t kFlushAt = 1 << 16;

// Splits a pane into its lines.
std::vector<std::string_view> Lines(const std::string& pane) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  while (at <= pane.size()) {
    const std::size_t nl = pane.find('\n', at);
    if (nl == std::string::npos) {
      lines.emplace_back(pane.data() + at, pane.size() - at);
      break;
    }
    lines.emplace_back(pane.data() + at, nl - at);
    at = nl + 1;
  }
  return lines;
}
}  // namespace

RowPrinter::RowPrinter(CTalvenorDoc& doc, std::FILE* out, RowPrinterOptions options)
    : doc_(doc), out_(out), options_(options) {
  pending_.reserve(kFlushAt * 2);
}

RowPrinter::~RowPrinter() { Flush(); }

void RowPrinter::Flush() {
  if (!pending_.empty()) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  std::fflush(out_);
}

void RowPrinter::PacketAdded(const PacketRecord& record, const PacketSummary& row) {
  const std::uint64_t n = frames_.fetch_add(1) + 1;
  wireBytes_.fetch_add(record.wireLength);
  if (options_.rows) {
    AppendTabbedRow(pending_, record, row);
    pending_ += '\n';
    if (options_.tree || options_.hex) AppendDetails(record);
    if (pending_.size() >= kFlushAt) {
      std::fwrite(pending_.data(), 1, pending_.size(), out_);
      pending_.clear();
    }
  }
  if (options_.stopAfter != 0 && n >= options_.stopAfter) doc_.Stop();
}

void RowPrinter::AppendDetails(const PacketRecord& record) {
  DecodeTree tree;
  std::vector<std::int32_t> layerStarts;
  PacketDecoder decoder(record.bytes, {record.linkType, nullptr, options_.scripts, doc_.Decoders(), doc_.QuicInitials(), nullptr,
                         record.comment}, &tree, DecodeMode::Tree, &layerStarts,
                        nullptr);
  decoder.Decode();
  if (options_.tree) pending_ += tree.ToText();
  if (options_.hex) {
    const HexDumpPanes panes = FormatHexDump(record.bytes);
    const auto addresses = Lines(panes.addresses);
    const auto hex = Lines(panes.hex);
    const auto text = Lines(panes.text);
    for (std::size_t i = 0; i < addresses.size() && !panes.addresses.empty(); ++i) {
      pending_ += addresses[i];
      pending_ += "  ";
      pending_ += hex[i];
      // Pad a short last line so the text column stays aligned.
      if (hex[i].size() < 50) pending_.append(50 - hex[i].size(), ' ');
      pending_ += ' ';
      pending_ += text[i];
      pending_ += '\n';
    }
    pending_ += "layers:";
    for (std::int32_t s : layerStarts) {
      pending_ += ' ';
      AppendDecimal(pending_, static_cast<std::uint64_t>(s));
    }
    pending_ += '\n';
  }
}

void RowPrinter::CaptureNotice(const std::string& text) { std::fprintf(stderr, "quorvanet-cli: %s\n", text.c_str()); }

void RowPrinter::CaptureEnded(bool /*failed*/) {
  {
    std::lock_guard lock(endMutex_);
    ended_ = true;
  }
  endSignal_.notify_all();
}

bool RowPrinter::WaitForEnd(std::chrono::milliseconds timeout) {
  std::unique_lock lock(endMutex_);
  return endSignal_.wait_for(lock, timeout, [this] { return ended_.load(); });
}

}  // namespace qv
