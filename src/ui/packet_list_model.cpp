#include "ui/packet_list_model.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>

#include "capture/capture_session.h"
#include "capture/packet_row.h"
#include "filters/list_filter.h"
#include "ui/packet_sort.h"

namespace qv {

PacketListModel::PacketListModel(CTalvenorDoc& doc, QObject* parent) : QAbstractTableModel(parent), doc_(doc) {}

int PacketListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PacketListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

std::uint32_t PacketListModel::PacketNumberAt(int row) const {
  if (Mapped() && row >= 0 && static_cast<std::size_t>(row) < order_.size()) {
    return order_[static_cast<std::size_t>(row)];
  }
  return static_cast<std::uint32_t>(row);
}

const PacketListModel::CachedRow* PacketListModel::RowAt(int row) const {
  if (row < 0 || row >= rows_) return nullptr;
  const std::uint32_t number = PacketNumberAt(row);
  if (cache_ && cache_->number == number) return &*cache_;
  const std::optional<PacketRecord> record = doc_.Buffer().Find(number);
  if (!record) return nullptr;
  cache_ = CachedRow{number, *record, doc_.SummaryOf(*record)};
  return &*cache_;
}

QString PacketListModel::Text(int row, int column) const {
  const CachedRow* r = RowAt(row);
  if (r == nullptr) return {};
  return QString::fromStdString(ColumnText(r->record, r->summary, column));
}

QString PacketListModel::CopyAllText(int row) const {
  static constexpr int kCopyOrder[] = {kColumnTime,  kColumnSize,    kColumnSrcMac,  kColumnSrcIp,    kColumnSrcPort,
                                       kColumnDestMac, kColumnDestIp, kColumnDestPort, kColumnProtocols};
  QStringList parts;
  for (int c : kCopyOrder) parts << Text(row, c);
  return parts.join(QStringLiteral("\r\n"));
}

QVariant PacketListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Text(index.row(), index.column());
    case Qt::ForegroundRole: {
      const CachedRow* r = RowAt(index.row());
      if (r == nullptr) return {};
      const Rgb c = RowColour(doc_.OwnAddress(), r->summary);
      return QColor(c.r, c.g, c.b);
    }
    case Qt::TextAlignmentRole:
      return index.column() == kColumnProtocols ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                                : QVariant(Qt::AlignCenter);
    case Qt::UserRole:
      return PacketNumberAt(index.row());
    default:
      return {};
  }
}

QVariant PacketListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnHeadings[static_cast<std::size_t>(section)]);
  if (role == Qt::TextAlignmentRole) {
    return section == kColumnProtocols ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
  }
  return {};
}

void PacketListModel::Refresh() {
  const int available = static_cast<int>(std::min<std::uint32_t>(doc_.Buffer().Count(), 0x7FFFFFFF));
  if (listFilter_) {
    // New frames are tested as they come; the matching ones are appended.
    const auto count = static_cast<std::uint32_t>(available);
    if (count <= tested_) return;
    std::vector<std::uint32_t> matched = MatchFrames(doc_.Buffer(), listFilter_->Program(), tested_, count);
    tested_ = count;
    if (matched.empty()) return;
    beginInsertRows({}, rows_, rows_ + static_cast<int>(matched.size()) - 1);
    order_.insert(order_.end(), matched.begin(), matched.end());
    rows_ = static_cast<int>(order_.size());
    endInsertRows();
    return;
  }
  if (available <= rows_) return;
  beginInsertRows({}, rows_, available - 1);
  if (sortColumn_ >= 0) {
    // Rows that arrive after a sort are appended in capture order.
    for (int n = rows_; n < available; ++n) order_.push_back(static_cast<std::uint32_t>(n));
  }
  rows_ = available;
  endInsertRows();
}

void PacketListModel::Reset() {
  beginResetModel();
  rows_ = 0;
  order_.clear();
  order_.shrink_to_fit();
  sortColumn_ = -1;
  tested_ = 0;  // a list filter stays, for the frames to come
  cache_.reset();
  endResetModel();
}

void PacketListModel::RowsChanged() {
  cache_.reset();
  if (sortColumn_ >= 0) {
    sort(sortColumn_);  // reads every row again and announces the new order
    return;
  }
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kColumnCount - 1));
}

void PacketListModel::SetListFilter(std::shared_ptr<CompiledFilter> filter, std::vector<std::uint32_t> matched,
                                    std::uint32_t tested) {
  beginResetModel();
  listFilter_ = std::move(filter);
  order_ = std::move(matched);
  tested_ = tested;
  rows_ = static_cast<int>(order_.size());
  sortColumn_ = -1;
  cache_.reset();
  endResetModel();
  Refresh();
}

void PacketListModel::ClearListFilter() {
  if (!listFilter_) return;
  beginResetModel();
  listFilter_.reset();
  order_.clear();
  order_.shrink_to_fit();
  rows_ = 0;
  sortColumn_ = -1;
  tested_ = 0;
  cache_.reset();
  endResetModel();
  Refresh();
}

void PacketListModel::sort(int column, Qt::SortOrder) {
  if (column < 0 || column >= kColumnCount) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<std::uint32_t> numbersBefore;
  numbersBefore.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& i : before) numbersBefore.push_back(PacketNumberAt(i.row()));

  // Positions into the rows shown: all frames, or those the list filter kept
  // (in capture order, whatever an earlier sort did).
  std::vector<std::uint32_t> shown(static_cast<std::size_t>(rows_));
  std::iota(shown.begin(), shown.end(), 0u);
  if (listFilter_) {
    shown = order_;
    std::sort(shown.begin(), shown.end());
  }
  std::vector<std::uint32_t> order(shown.size());
  std::iota(order.begin(), order.end(), 0u);
  // The rows' texts, read in passes of a few thousand frames: a pass reads
  // a file's frames in a row and looks at the file once, and the buffer's
  // lock is let go between passes so that a capture goes on meanwhile.
  auto forEachText = [&](const std::function<void(std::size_t, const std::string&)>& use) {
    constexpr std::uint32_t kPass = 4096;
    std::size_t i = 0;
    while (i < shown.size()) {
      const std::uint32_t first = shown[i];
      const std::uint32_t last = first < UINT32_MAX - kPass ? first + kPass : UINT32_MAX;
      doc_.Buffer().ForEachInRange(first, last, [&](const PacketRecord& record) {
        if (i < shown.size() && shown[i] == record.number) {
          use(i, ColumnText(record, doc_.SummaryOf(record), column));
          ++i;
        }
      });
      // Rows no longer held (cleared meanwhile) sort with empty texts; the
      // row at `first` is passed at least, so every pass moves on.
      while (i < shown.size() && shown[i] < last) use(i++, std::string());
    }
  };
  if (IsTextColumn(column)) {
    std::vector<std::string> keys(order.size());
    forEachText([&](std::size_t i, const std::string& text) { keys[i] = text; });
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  } else {
    std::vector<std::uint64_t> keys(order.size());
    forEachText([&](std::size_t i, const std::string& text) { keys[i] = NumericSortKey(text, column); });
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  }
  for (std::uint32_t& i : order) i = shown[i];
  order_ = std::move(order);
  sortColumn_ = column;
  cache_.reset();

  // Keep selections on the same packets.
  std::vector<std::uint32_t> rowOf(order_.empty() ? 0 : *std::max_element(order_.begin(), order_.end()) + 1u);
  for (std::size_t r = 0; r < order_.size(); ++r) rowOf[order_[r]] = static_cast<std::uint32_t>(r);
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    after << index(static_cast<int>(rowOf[numbersBefore[static_cast<std::size_t>(i)]]), before[i].column());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace qv
