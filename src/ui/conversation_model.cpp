#include "ui/conversation_model.h"

#include <algorithm>
#include <numeric>

#include "stats/conversation_export.h"

namespace qv {

ConversationModel::ConversationModel(ConversationTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
  Refresh();
}

int ConversationModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int ConversationModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ConversationTable::kColumns;
}

QString ConversationModel::Text(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= ConversationTable::kColumns) return {};
  return QString::fromStdString(rows_[static_cast<std::size_t>(order_[static_cast<std::size_t>(row)])].ColumnText(column));
}

QString ConversationModel::CopyAllText(int row) const {
  QStringList texts;
  for (int c = 0; c < ConversationTable::kColumns; ++c) texts << Text(row, c);
  return texts.join(QStringLiteral("\r\n"));
}

QVariant ConversationModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return Text(index.row(), index.column());
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
  // An IPv6 address is often wider than its column, which then elides it.
  if (role == Qt::ToolTipRole && index.column() <= 1) return Text(index.row(), index.column());
  // Where the name came from: the traffic (and which part of it) or reverse DNS.
  if (role == Qt::ToolTipRole && (index.column() == kSourceNameColumn || index.column() == kDestinationNameColumn)) {
    return NameSourceTip(index.row(), index.column());
  }
  return {};
}

QString ConversationModel::NameSourceTip(int row, int column) const {
  if (row < 0 || row >= rowCount()) return {};
  return QString::fromStdString(rows_[static_cast<std::size_t>(order_[static_cast<std::size_t>(row)])].NameSourceText(column));
}

QVariant ConversationModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ConversationTable::kColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kConversationHeadings[section]);
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
  return {};
}

std::vector<ConversationRow> ConversationModel::ShownRows() const {
  std::vector<ConversationRow> out;
  out.reserve(order_.size());
  for (int i : order_) out.push_back(rows_[static_cast<std::size_t>(i)]);
  return out;
}

void ConversationModel::Order() {
  std::iota(order_.begin(), order_.end(), 0);
  if (sortColumn_ < 0) return;
  // Stable: rows that compare equal keep the table's order.
  std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
    return CompareConversationRows(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)],
                                   sortColumn_) < 0;
  });
}

void ConversationModel::sort(int column, Qt::SortOrder) {
  sortColumn_ = column < ConversationTable::kColumns ? column : -1;
  emit layoutAboutToBeChanged();
  const std::vector<int> before = order_;
  Order();
  std::vector<int> shownAt(order_.size());
  for (std::size_t i = 0; i < order_.size(); ++i) shownAt[static_cast<std::size_t>(order_[i])] = static_cast<int>(i);
  QModelIndexList from, to;
  for (const QModelIndex& old : persistentIndexList()) {
    from << old;
    to << index(shownAt[static_cast<std::size_t>(before[static_cast<std::size_t>(old.row())])], old.column());
  }
  changePersistentIndexList(from, to);
  emit layoutChanged();
}

void ConversationModel::Refresh() {
  table_.TakeNewLearnedNames();
  const std::uint64_t version = table_.Version();
  if (version == version_) return;
  version_ = version;
  std::vector<ConversationRow> rows = table_.Rows();
  if (rows.size() < rows_.size()) {
    // Cleared.
    beginResetModel();
    rows_ = std::move(rows);
    order_.assign(rows_.size(), 0);
    Order();
    endResetModel();
    return;
  }
  if (rows.size() > rows_.size()) {
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, static_cast<int>(rows.size()) - 1);
    rows_ = std::move(rows);
    for (int i = first; i < static_cast<int>(rows_.size()); ++i) order_.push_back(i);
    endInsertRows();
  } else {
    rows_ = std::move(rows);
  }
  if (sortColumn_ >= 0) sort(sortColumn_);
  if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ConversationTable::kColumns - 1));
}

}  // namespace qv
