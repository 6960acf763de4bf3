#pragma once
// Sorting the packet list by a field column: every shown frame is decoded
// in tree mode for its value, which takes far longer than a fixed column's
// summary, so it runs on a worker thread. The frames are read in passes of
// a few thousand, the buffer's lock let go between passes, and a cancel is
// seen within one pass.

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "capture/packet_buffer.h"
#include "filters/field_column.h"

namespace qv {

class FieldSortJob {
 public:
  // Starts sorting `shown` (rising packet numbers) by `field` at once.
  // `firstTimeNs`: the origin of frame.time_relative.
  FieldSortJob(const PacketBuffer& buffer, const FieldInfo& field, DecodeSetup setup, std::int64_t firstTimeNs,
               std::vector<std::uint32_t> shown);
  ~FieldSortJob();  // cancels and waits
  FieldSortJob(const FieldSortJob&) = delete;
  FieldSortJob& operator=(const FieldSortJob&) = delete;

  void Cancel() { cancel_ = true; }
  bool Done() const { return done_.load(std::memory_order_acquire); }
  std::size_t Rows() const { return shown_.size(); }
  std::size_t Read() const { return progress_.load(); }  // rows read so far
  // The shown numbers in their new order: ascending by the value (see
  // FieldColumnValue), equal values in capture order. Only once Done().
  std::vector<std::uint32_t> TakeOrder() { return std::move(order_); }

 private:
  void Run();

  const PacketBuffer& buffer_;
  FieldColumnReader reader_;
  bool byNumber_;
  std::vector<std::uint32_t> shown_;
  std::vector<std::uint32_t> order_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<std::size_t> progress_{0};
  std::thread thread_;
};

}  // namespace qv
