#include "stats/conversation_table.h"

#include <algorithm>
#include <charconv>

#include "decode/text_format.h"

namespace qv {

std::string ConversationRow::ColumnText(int column) const {
  std::string out;
  switch (column) {
    case 0:
      source.AppendText(out);
      break;
    case 1:
      destination.AppendText(out);
      break;
    case 2:
      AppendDecimal(out, packets);
      break;
    case 3:
      AppendDecimal(out, bytes);
      break;
    case 4:
      out = ports;
      break;
    case kSourceNameColumn:
      out = sourceName;
      break;
    case kDestinationNameColumn:
      out = destinationName;
      break;
    default:
      break;
  }
  return out;
}

std::string ConversationRow::NameSourceText(int column) const {
  const bool sourceColumn = column == kSourceNameColumn;
  if (!sourceColumn && column != kDestinationNameColumn) return {};
  switch (sourceColumn ? sourceNameFrom : destinationNameFrom) {
    case NameSource::ReverseDns:
      return "From reverse DNS";
    case NameSource::Traffic:
      return "From the traffic: " + std::string(NameOriginText(sourceColumn ? sourceNameOrigin : destinationNameOrigin));
    case NameSource::None:
      break;
  }
  return {};
}

void AddPortTexts(std::string& ports, std::string_view destinationPort, std::string_view sourcePort) {
  if (ports.empty()) {
    ports = destinationPort;
    if (sourcePort != destinationPort) {
      ports += ", ";
      ports += sourcePort;
    }
    return;
  }
  for (const std::string_view port : {destinationPort, sourcePort}) {
    if (ports.find(port) != std::string::npos) continue;
    ports += ", ";
    ports += port;
  }
}

void AddPorts(std::string& ports, std::uint16_t destinationPort, std::uint16_t sourcePort) {
  char destination[8], source[8];
  const char* destinationEnd = std::to_chars(destination, destination + sizeof destination, destinationPort).ptr;
  const char* sourceEnd = std::to_chars(source, source + sizeof source, sourcePort).ptr;
  AddPortTexts(ports, std::string_view(destination, static_cast<std::size_t>(destinationEnd - destination)),
               std::string_view(source, static_cast<std::size_t>(sourceEnd - source)));
}

namespace {

// A row's ports as they come with a frame, once per pair in a row.
void TakePorts(ConversationRow& r, const IpConversationSample& sample) {
  const std::uint64_t pair = std::uint64_t{sample.destinationPort} << 16 | sample.sourcePort;
  if (pair == r.lastPorts) return;
  r.lastPorts = pair;
  AddPorts(r.ports, sample.destinationPort, sample.sourcePort);
}

}  // namespace

void ConversationTable::Update(const IpConversationSample& sample) {
  const IpAddress source = sample.ipv6 ? IpAddress::V6(sample.source6) : IpAddress::V4(sample.source);
  const IpAddress destination = sample.ipv6 ? IpAddress::V6(sample.destination6) : IpAddress::V4(sample.destination);

  // A new or reused row asks reverse DNS for the names the traffic did not give.
  std::uint32_t named = kNone;
  bool askSource = false, askDestination = false;
  const bool trafficNames = learned_ != nullptr && UseTrafficNames();
  {
    std::lock_guard lock(mutex_);
    // Every writer of the totals and the version holds the lock, so a
    // plain add suffices (a locked read-modify-write a frame is not free);
    // readers still read them without it.
    samples_.store(samples_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    bytes_.store(bytes_.load(std::memory_order_relaxed) + sample.totalLength, std::memory_order_relaxed);
    if (++counter_ >= kRenumberAt) Renumber();

    std::uint32_t row = index_.Find(source, destination);
    if (row != ConversationIndex::kNone) {
      ConversationRow& r = rows_[row];
      ++r.packets;
      r.bytes += sample.totalLength;
      TakePorts(r, sample);
      // Names learned since the row last looked (a DNS answer after the
      // first frames of a connection) reach it now.
      if (trafficNames && r.learnedVersion != learned_->Version()) TakeLearnedNames(r);
    } else {
      const std::size_t limit = static_cast<std::size_t>(rowLimit_.load(std::memory_order_relaxed));
      if (rows_.size() >= limit && !rows_.empty()) {
        // The least recently updated row: the oldest stamp. Its index entry
        // moves to the new pair without a new allocation.
        row = oldest_;
        index_.Move(rows_[row].source, rows_[row].destination, source, destination, row);
      } else {
        row = static_cast<std::uint32_t>(rows_.size());
        index_.Add(source, destination, row);
        rows_.emplace_back();
        older_.push_back(kNone);
        newer_.push_back(kNone);
        LinkAtEnd(row);
      }
      ConversationRow& r = rows_[row];
      r.source = source;
      r.destination = destination;
      r.packets = 1;
      r.bytes = sample.totalLength;
      r.ports.clear();
      r.lastPorts = ~std::uint64_t{0};
      TakePorts(r, sample);
      r.sourceName.clear();
      r.destinationName.clear();
      r.sourceNameFrom = r.destinationNameFrom = NameSource::None;
      if (trafficNames) TakeLearnedNames(r);
      named = row;
      askSource = r.sourceNameFrom == NameSource::None;
      askDestination = r.destinationNameFrom == NameSource::None;
    }
    Touch(row);
    lastUpdated_ = static_cast<int>(row);
    version_.store(version_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }

  // Outside the lock: a name found in a cache comes back at once.
  if (named == kNone || !UseDns()) return;
  if (HostNameRequester* requester = requester_.load(std::memory_order_acquire)) {
    if (askSource) requester->RequestName(source, named, kSourceNameColumn);
    if (askDestination) requester->RequestName(destination, named, kDestinationNameColumn);
  }
}

void ConversationTable::TakeNewLearnedNames() {
  if (learned_ == nullptr || !UseTrafficNames()) return;
  std::lock_guard lock(mutex_);
  const std::uint64_t version = learned_->Version();
  if (version == learnedSwept_) return;
  learnedSwept_ = version;
  bool changed = false;
  for (ConversationRow& r : rows_) {
    if (r.learnedVersion != version) changed = TakeLearnedNames(r) || changed;
  }
  if (changed) version_.fetch_add(1, std::memory_order_release);
}

bool ConversationTable::TakeLearnedNames(ConversationRow& r) {
  // The version first: a name learned during the look is taken next time.
  r.learnedVersion = learned_->Version();
  bool changed = false;
  const auto take = [&](const IpAddress& address, std::string& name, NameSource& from, NameOrigin& origin) {
    NameOrigin found;
    if (!learned_->Find(address, learnedName_, found)) return;
    if (from == NameSource::Traffic && origin == found && name == learnedName_) return;
    name = learnedName_;
    from = NameSource::Traffic;
    origin = found;
    changed = true;
  };
  take(r.source, r.sourceName, r.sourceNameFrom, r.sourceNameOrigin);
  take(r.destination, r.destinationName, r.destinationNameFrom, r.destinationNameOrigin);
  return changed;
}

void ConversationTable::Touch(std::uint32_t row) {
  rows_[row].stamp = counter_;
  if (newest_ == row) return;
  Unlink(row);
  LinkAtEnd(row);
}

void ConversationTable::Unlink(std::uint32_t row) {
  const std::uint32_t before = older_[row], after = newer_[row];
  (before == kNone ? oldest_ : newer_[before]) = after;
  (after == kNone ? newest_ : older_[after]) = before;
  older_[row] = newer_[row] = kNone;
}

void ConversationTable::LinkAtEnd(std::uint32_t row) {
  older_[row] = newest_;
  newer_[row] = kNone;
  (newest_ == kNone ? oldest_ : newer_[newest_]) = row;
  newest_ = row;
}

void ConversationTable::Renumber() {
  // Row i gets stamp i, so the order of age becomes the list order.
  oldest_ = newest_ = kNone;
  for (std::uint32_t i = 0; i < rows_.size(); ++i) {
    rows_[i].stamp = static_cast<std::int32_t>(i);
    LinkAtEnd(i);
  }
  counter_ = static_cast<std::int32_t>(rows_.size());
}

void ConversationTable::Clear() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  index_.Clear();
  older_.clear();
  newer_.clear();
  oldest_ = newest_ = kNone;
  counter_ = 0;
  lastUpdated_ = -1;
  samples_.store(0, std::memory_order_relaxed);
  bytes_.store(0, std::memory_order_relaxed);
  version_.fetch_add(1, std::memory_order_release);
}

void ConversationTable::SetRowLimit(int rows) {
  rowLimit_.store(std::clamp(rows, 1, kMaxRowLimit), std::memory_order_relaxed);
}

void ConversationTable::SetNameRequester(HostNameRequester* requester) {
  requester_.store(requester, std::memory_order_release);
}

void ConversationTable::ApplyName(const IpAddress& address, std::size_t row, int column,
                                  const std::optional<std::string>& name) {
  std::lock_guard lock(mutex_);
  if (row >= rows_.size()) return;
  ConversationRow& r = rows_[row];
  const bool source = column == kSourceNameColumn;
  // The row may have been reused for another pair meanwhile: a late name
  // for the old address is dropped.
  if ((source ? r.source : r.destination) != address) return;
  // A name the traffic gave stays: the traffic says which name was used.
  NameSource& from = source ? r.sourceNameFrom : r.destinationNameFrom;
  if (from == NameSource::Traffic) return;
  (source ? r.sourceName : r.destinationName) = name.value_or("----");
  from = NameSource::ReverseDns;
  version_.fetch_add(1, std::memory_order_release);
}

std::vector<ConversationRow> ConversationTable::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::size_t ConversationTable::RowCount() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

std::int32_t ConversationTable::UpdateCounter() const {
  std::lock_guard lock(mutex_);
  return counter_;
}

int ConversationTable::LastUpdatedRow() const {
  std::lock_guard lock(mutex_);
  return lastUpdated_;
}

void ConversationTable::SetUpdateCounterForTest(std::int32_t counter) {
  std::lock_guard lock(mutex_);
  counter_ = counter;
}

}  // namespace qv
