#pragma once
// The IP conversation statistics: one row per ordered pair of IP addresses
// (IPv4 or IPv6) that carried TCP or UDP, with packets, bytes, the ports seen and the host
// names of both ends. At most "row limit" rows; when the table is full the
// least recently updated row is reused for a new pair.
//
// Rows are fed on the capture thread, names arrive from lookup threads and
// the interface thread reads and clears: one lock guards the rows. Finding a
// pair's row goes through a hash index, and the least recently updated row is
// the head of a list kept in stamp order, so a frame costs the same with 1000
// rows as with 30. The index key holds both addresses with their family, so
// an IPv4 pair and an IPv6 pair never share a row.
//
// A host name comes from the traffic (a name the decoders learned for the
// address, see LearnedNames) or from reverse DNS. A row takes the traffic's
// names when it is made, and again when it is next updated after new names
// were learned; reverse DNS is asked only for what the traffic left empty,
// and its answer never replaces a name from the traffic.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decode/ip_conversation_sample.h"
#include "stats/conversation_index.h"
#include "stats/host_name_requests.h"
#include "stats/learned_names.h"

namespace qv {

// Where a row's host name came from.
enum class NameSource : std::uint8_t { None, ReverseDns, Traffic };

struct ConversationRow {
  IpAddress source{};
  IpAddress destination{};
  std::uint64_t packets = 0;
  std::uint64_t bytes = 0;  // the whole count: a 32-bit cell would go negative after 2 GiB
  std::string ports;        // destination port first, joined by ", "
  std::string sourceName;   // empty until known, "----" when the lookup failed
  std::string destinationName;
  std::int32_t stamp = 0;  // the update counter when the row was last written
  NameSource sourceNameFrom = NameSource::None;
  NameSource destinationNameFrom = NameSource::None;
  NameOrigin sourceNameOrigin = NameOrigin::Dns;  // of a name from the traffic
  NameOrigin destinationNameOrigin = NameOrigin::Dns;
  std::uint64_t learnedVersion = 0;  // the learned names' version when the row last looked
  // The ports of the row's last frame as one number, destination first;
  // beyond any pair until the row has a frame. A frame with the same two
  // ports adds nothing to `ports`, so it is not looked at again.
  std::uint64_t lastPorts = ~std::uint64_t{0};

  // The text of column 0..6 ("Src IP" .. "Dest host name").
  std::string ColumnText(int column) const;
  // Where the name of column 5 or 6 came from: "From the traffic: TLS server
  // name", "From reverse DNS", or empty while it has none.
  std::string NameSourceText(int column) const;
};

class ConversationTable : public HostNameTarget {
 public:
  static constexpr int kColumns = 7;
  static constexpr int kDefaultRowLimit = 30;
  static constexpr int kMaxRowLimit = 1000;
  // The update counter is renumbered before it can overflow.
  static constexpr std::int32_t kRenumberAt = 0x7FFFFFFD;

  void Update(const IpConversationSample& sample);
  // Deletes all rows; the update counter starts again at 0.
  void Clear();

  // 1..1000; rows already beyond a lowered limit stay until they are cleared.
  void SetRowLimit(int rows);
  int RowLimit() const { return rowLimit_.load(std::memory_order_relaxed); }
  void SetUseDns(bool on) { useDns_.store(on, std::memory_order_relaxed); }
  bool UseDns() const { return useDns_.load(std::memory_order_relaxed); }
  // Whether rows take the names learned from the traffic (when a table of
  // them is set).
  void SetUseTrafficNames(bool on) { useTrafficNames_.store(on, std::memory_order_relaxed); }
  bool UseTrafficNames() const { return useTrafficNames_.load(std::memory_order_relaxed); }
  // The names learned from the traffic (null: none). Read on the capture
  // thread, under the table's lock.
  void SetLearnedNames(LearnedNames* names) { learned_ = names; }
  // Rows that have not looked since names were learned take them now, so
  // that a name learned after a row's last frame still shows (the view and
  // the report ask before they read the rows). Nothing to do costs one
  // comparison.
  void TakeNewLearnedNames();
  // Where new and reused rows ask for their host names (null: nowhere).
  void SetNameRequester(HostNameRequester* requester);

  void ApplyName(const IpAddress& address, std::size_t row, int column,
                 const std::optional<std::string>& name) override;

  // A copy of the rows in list order.
  std::vector<ConversationRow> Rows() const;
  std::size_t RowCount() const;
  // Changes whenever a row is added, updated, named or cleared.
  std::uint64_t Version() const { return version_.load(std::memory_order_acquire); }
  std::int32_t UpdateCounter() const;
  int LastUpdatedRow() const;

  std::uint64_t Samples() const { return samples_.load(std::memory_order_relaxed); }
  std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }

  // Sets the update counter (to see the renumbering without two billion
  // frames).
  void SetUpdateCounterForTest(std::int32_t counter);

 private:
  void Touch(std::uint32_t row);  // stamps the row and moves it to the recent end
  void Unlink(std::uint32_t row);
  void LinkAtEnd(std::uint32_t row);
  void Renumber();
  // Takes the learned names of the row's addresses, over what it shows;
  // true when one of its names changed.
  bool TakeLearnedNames(ConversationRow& row);

  mutable std::mutex mutex_;
  std::vector<ConversationRow> rows_;
  ConversationIndex index_;  // pair -> row
  // Rows from the oldest stamp to the newest, as a list over row numbers.
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::vector<std::uint32_t> older_, newer_;
  std::uint32_t oldest_ = kNone, newest_ = kNone;
  std::int32_t counter_ = 0;
  int lastUpdated_ = -1;

  std::atomic<int> rowLimit_{kDefaultRowLimit};
  std::atomic<bool> useDns_{true};
  std::atomic<bool> useTrafficNames_{true};
  LearnedNames* learned_ = nullptr;
  std::uint64_t learnedSwept_ = 0;  // the learned names' version at the last TakeNewLearnedNames
  std::string learnedName_;         // where a learned name is read to, under the lock
  std::atomic<HostNameRequester*> requester_{nullptr};
  std::atomic<std::uint64_t> version_{0};
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<std::uint64_t> bytes_{0};
};

// Port texts joined as the Ports column does: a text is added after ", "
// unless it already occurs anywhere in the column (so 80 joins no "8080").
void AddPortTexts(std::string& ports, std::string_view destinationPort, std::string_view sourcePort);
// The same with the two port numbers.
void AddPorts(std::string& ports, std::uint16_t destinationPort, std::uint16_t sourcePort);

}  // namespace qv
