// The packet list's field columns ("Apply as Column"): their values, read
// by decoding the row's frame in tree mode and kept for a few hundred rows,
// and adding and removing them.

#include <algorithm>

#include "capture/capture_session.h"
#include "capture/packet_row.h"
#include "filters/field_sort.h"
#include "filters/list_filter.h"
#include "ui/packet_list_model.h"

namespace qv {

namespace {
// Rows whose field values are kept: a few screens' worth.
constexpr std::size_t kFieldCacheRows = 512;
}  // namespace

const FieldInfo* PacketListModel::FieldOfColumn(int column) const {
  if (column < kColumnCount) return nullptr;
  const auto i = static_cast<std::size_t>(column - kColumnCount);
  return i < fieldColumns_.size() ? fieldColumns_[i] : nullptr;
}

void PacketListModel::SetFieldColumns(std::vector<const FieldInfo*> fields) {
  std::erase(fields, nullptr);
  sortJob_.reset();
  beginResetModel();
  fieldColumns_ = std::move(fields);
  if (sortColumn_ >= columnCount()) sortColumn_ = -1;
  ResetFieldReader();
  endResetModel();
}

bool PacketListModel::AddFieldColumn(const FieldInfo* field) {
  if (field == nullptr || fieldColumns_.size() >= kMaxFieldColumns ||
      std::find(fieldColumns_.begin(), fieldColumns_.end(), field) != fieldColumns_.end()) {
    return false;
  }
  const int column = columnCount();
  beginInsertColumns({}, column, column);
  fieldColumns_.push_back(field);
  ResetFieldReader();
  endInsertColumns();
  return true;
}

bool PacketListModel::RemoveFieldColumn(int column) {
  if (FieldOfColumn(column) == nullptr) return false;
  const bool sortedByIt = sortColumn_ == column;
  if (sortJob_ && sortJobColumn_ >= column) sortJob_.reset();
  beginRemoveColumns({}, column, column);
  fieldColumns_.erase(fieldColumns_.begin() + (column - kColumnCount));
  if (sortColumn_ > column) --sortColumn_;  // a later column moves left
  ResetFieldReader();
  endRemoveColumns();
  if (sortedByIt) {
    // No column orders the rows any more: back to capture order.
    beginResetModel();
    sortColumn_ = -1;
    if (listFilter_) {
      std::sort(order_.begin(), order_.end());
    } else {
      order_.clear();
    }
    cache_.reset();
    endResetModel();
  }
  return true;
}

void PacketListModel::ResetFieldReader() const {
  fieldReader_.reset();
  fieldCache_.clear();
  fieldCacheOrder_.clear();
}

const std::vector<FieldColumnValue>* PacketListModel::FieldValuesOf(std::uint32_t number) const {
  if (fieldColumns_.empty()) return nullptr;
  if (const auto it = fieldCache_.find(number); it != fieldCache_.end()) return &it->second;
  const std::optional<PacketRecord> record = doc_.Buffer().Find(number);
  if (!record) return nullptr;
  if (!fieldReader_) {
    fieldReader_ = std::make_unique<FieldColumnReader>(fieldColumns_, DecodeSetup{doc_.Decoders(), doc_.QuicInitials()});
    fieldReader_->SetFirstTime(doc_.Buffer().TimeNsAt(0).value_or(RecordTimeNs(*record)));
  }
  std::vector<FieldColumnValue> values =
      fieldReader_->Read(*record, number > 0 ? doc_.Buffer().TimeNsAt(number - 1) : std::nullopt);
  if (fieldCacheOrder_.size() >= kFieldCacheRows) {
    fieldCache_.erase(fieldCacheOrder_.front());
    fieldCacheOrder_.pop_front();
  }
  fieldCacheOrder_.push_back(number);
  return &fieldCache_.emplace(number, std::move(values)).first->second;
}

}  // namespace qv
