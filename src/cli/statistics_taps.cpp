#include "cli/statistics_taps.h"

#include <array>
#include <string_view>

#include "cli/conversation_tables.h"
#include "cli/protocol_hierarchy.h"

namespace qv {

namespace {

constexpr std::array<std::string_view, 4> kKinds = {"conv,eth", "conv,ip", "conv,ipv6", "io,phs"};

std::unique_ptr<StatisticsTable> MakeTable(const StatisticsRequest& request) {
  if (request.kind == "io,phs") return std::make_unique<ProtocolHierarchy>(request.filter);
  const ConversationKind kind = request.kind == "conv,eth"  ? ConversationKind::Ethernet
                                : request.kind == "conv,ip" ? ConversationKind::Ipv4
                                                            : ConversationKind::Ipv6;
  return std::make_unique<AddressConversations>(kind, request.filter);
}

}  // namespace

bool ParseStatisticsRequest(const std::string& argument, StatisticsRequest& request, std::string& error) {
  const std::size_t comma = argument.find(',');
  const std::size_t second = comma == std::string::npos ? std::string::npos : argument.find(',', comma + 1);
  request.kind = argument.substr(0, second);
  request.filter.reset();
  if (second != std::string::npos) request.filter = argument.substr(second + 1);
  for (const std::string_view kind : kKinds) {
    if (request.kind == kind) return true;
  }
  error = "Invalid -z argument \"" + argument + "\"; it must be one of:";
  for (const std::string_view kind : kKinds) error += "\n     " + std::string(kind);
  return false;
}

StatisticsTaps::StatisticsTaps(CTalvenorDoc& doc, std::vector<StatisticsRequest> requests, CaptureObserver& next)
    : ForwardingObserver(next), doc_(doc) {
  for (StatisticsRequest& request : requests) {
    Tap tap{MakeTable(request), nullptr};
    if (request.compiled) {
      tap.matcher = std::make_unique<DisplayFilterMatcher>(std::move(request.compiled),
                                                           DecodeSetup{doc.Decoders(), doc.QuicInitials()});
    }
    taps_.push_back(std::move(tap));
  }
}

StatisticsTaps::~StatisticsTaps() = default;

void StatisticsTaps::TakeFirstTime(const PacketRecord& record) {
  if (started_) return;
  started_ = true;
  firstNs_ = RecordTimeNs(record);
  for (Tap& tap : taps_) {
    if (tap.matcher) tap.matcher->SetFirstTime(firstNs_);
  }
}

void StatisticsTaps::Skipped(const PacketRecord& record) {
  TakeFirstTime(record);
  for (Tap& tap : taps_) {
    if (tap.matcher) tap.matcher->Follows(RecordTimeNs(record));
  }
}

void StatisticsTaps::PacketAdded(const PacketRecord& record, const PacketSummary& row) {
  TakeFirstTime(record);
  PacketDecoder(record.bytes, {record.linkType, nullptr, nullptr, doc_.Decoders(), doc_.QuicInitials()}, &tree_,
                DecodeMode::Tree, &layerStarts_, nullptr)
      .Decode();
  const CountedFrame frame{tree_, record.bytes, record.wireLength, RecordTimeNs(record) - firstNs_};
  for (Tap& tap : taps_) {
    if (!tap.matcher || tap.matcher->Matches(record)) tap.table->Add(frame);
  }
  Next().PacketAdded(record, row);
}

void StatisticsTaps::Print(std::FILE* out) const {
  for (auto tap = taps_.rbegin(); tap != taps_.rend(); ++tap) {
    const std::string text = tap->table->Format();
    std::fwrite(text.data(), 1, text.size(), out);
  }
}

}  // namespace qv
