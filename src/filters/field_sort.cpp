#include "filters/field_sort.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "filters/record_batch.h"

namespace qv {

FieldSortJob::FieldSortJob(const PacketBuffer& buffer, const FieldInfo& field, DecodeSetup setup,
                           std::int64_t firstTimeNs, std::vector<std::uint32_t> shown)
    : buffer_(buffer), reader_({&field}, setup), byNumber_(SortsByNumber(field)), shown_(std::move(shown)) {
  reader_.SetFirstTime(firstTimeNs);
  thread_ = std::thread([this] { Run(); });
}

FieldSortJob::~FieldSortJob() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void FieldSortJob::Run() {
  std::vector<FieldColumnValue> keys(shown_.size());
  // A pass takes its frames out under the buffer's lock and decodes them
  // after letting it go: the interface thread reads rows meanwhile, and a
  // capture appends, without waiting for the decoding.
  constexpr std::uint32_t kPass = 1024;
  struct Row {
    std::size_t row;
    std::optional<std::int64_t> previous;  // the time of the frame before it
  };
  RecordBatch batch;
  std::vector<Row> rows;
  std::size_t i = 0;
  while (i < shown_.size() && !cancel_) {
    const std::uint32_t first = shown_[i];
    const std::uint32_t last = first < UINT32_MAX - kPass ? first + kPass : UINT32_MAX;
    // The frame before the pass, for frame.time_delta; within the pass every
    // held frame is seen.
    std::optional<std::int64_t> previous;
    if (first > 0) previous = buffer_.TimeNsAt(first - 1);
    batch.Clear();
    rows.clear();
    buffer_.ForEachInRange(first, last, [&](const PacketRecord& record) {
      if (i < shown_.size() && shown_[i] == record.number) {
        batch.Add(record);
        rows.push_back({i, previous});
        ++i;
      }
      previous = RecordTimeNs(record);
    });
    // Rows no longer held (cleared meanwhile) sort with empty values.
    while (i < shown_.size() && shown_[i] < last) ++i;
    const std::vector<PacketRecord>& records = batch.Records();
    for (std::size_t k = 0; k < records.size(); ++k) {
      std::vector<FieldColumnValue> v = reader_.Read(records[k], rows[k].previous);
      if (!v.empty()) keys[rows[k].row] = std::move(v.front());
    }
    progress_.store(i);
  }
  if (!cancel_) {
    std::vector<std::uint32_t> order(shown_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      const FieldColumnValue& x = keys[a];
      const FieldColumnValue& y = keys[b];
      if (byNumber_ && (x.hasNumber != y.hasNumber || x.number != y.number)) {
        return x.hasNumber != y.hasNumber ? !x.hasNumber : x.number < y.number;
      }
      return x.text < y.text;
    });
    for (std::uint32_t& k : order) k = shown_[k];
    order_ = std::move(order);
  }
  done_.store(true, std::memory_order_release);
}

}  // namespace qv
