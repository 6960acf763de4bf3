#include "filters/record_batch.h"

namespace qv {

void RecordBatch::Clear() {
  records_.clear();
  copies_.clear();
  copiedAt_.clear();
  pointed_ = false;
}

void RecordBatch::Add(const PacketRecord& record) {
  records_.push_back(record);
  if (record.holder) {
    copiedAt_.push_back(kHeld);
  } else {
    copiedAt_.push_back(copies_.size());
    copies_.insert(copies_.end(), record.bytes.begin(), record.bytes.end());
  }
  pointed_ = false;
}

const std::vector<PacketRecord>& RecordBatch::Records() {
  // Pointed only now: the copies move while they grow.
  if (!pointed_) {
    for (std::size_t k = 0; k < records_.size(); ++k) {
      if (copiedAt_[k] != kHeld) records_[k].bytes = {copies_.data() + copiedAt_[k], records_[k].bytes.size()};
    }
    pointed_ = true;
  }
  return records_;
}

}  // namespace qv
