#include "ui/packet_list_model.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>

#include "capture/capture_session.h"
#include "capture/packet_row.h"
#include "filters/field_sort.h"
#include "filters/list_filter.h"
#include "ui/packet_sort.h"

namespace qv {

namespace {
// Frames a display filter tests in one Refresh() on this thread: each is
// decoded, and a burst of frames must not stall the window. The rest wait
// for the next Refresh(). A capture-filter program is cheap enough for all.
constexpr std::uint32_t kDisplayTestsPerRefresh = 1024;
}  // namespace

PacketListModel::PacketListModel(CTalvenorDoc& doc, QObject* parent) : QAbstractTableModel(parent), doc_(doc) {}

PacketListModel::~PacketListModel() = default;

int PacketListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PacketListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount + static_cast<int>(fieldColumns_.size());
}

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
  if (FieldOfColumn(column) != nullptr) {
    if (row < 0 || row >= rows_) return {};
    const std::vector<FieldColumnValue>* values = FieldValuesOf(PacketNumberAt(row));
    const auto i = static_cast<std::size_t>(column - kColumnCount);
    return values == nullptr || i >= values->size() ? QString() : QString::fromStdString((*values)[i].text);
  }
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
      return index.column() >= kColumnProtocols ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                                : QVariant(Qt::AlignCenter);
    case Qt::UserRole:
      return PacketNumberAt(index.row());
    default:
      return {};
  }
}

QVariant PacketListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (const FieldInfo* field = FieldOfColumn(section)) {
    // The field's name, as the filter language spells it; the tooltip says what it is.
    if (role == Qt::DisplayRole) return QString::fromUtf8(field->abbrev.data(), static_cast<qsizetype>(field->abbrev.size()));
    if (role == Qt::ToolTipRole) return QString::fromUtf8(field->name.data(), static_cast<qsizetype>(field->name.size()));
    if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
  }
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnHeadings[static_cast<std::size_t>(section)]);
  if (role == Qt::TextAlignmentRole) {
    return section == kColumnProtocols ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
  }
  return {};
}

void PacketListModel::Refresh() {
  TakeSortResult();
  const int available = static_cast<int>(std::min<std::uint32_t>(doc_.Buffer().Count(), 0x7FFFFFFF));
  if (listFilter_) {
    // New frames are tested as they come; the matching ones are appended.
    if (!test_) return;
    const auto available32 = static_cast<std::uint32_t>(available);
    if (available32 <= tested_) return;
    const std::uint32_t count = listFilter_->IsDisplayFilter()
                                    ? tested_ + std::min(kDisplayTestsPerRefresh, available32 - tested_)
                                    : available32;
    std::vector<std::uint32_t> matched = MatchFrames(doc_.Buffer(), *test_, tested_, count);
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
  sortJob_.reset();
  beginResetModel();
  rows_ = 0;
  order_.clear();
  order_.shrink_to_fit();
  sortColumn_ = -1;
  tested_ = 0;  // a list filter stays, for the frames to come
  test_.reset();  // its test knew the frames before: the filter bar makes a new one
  cache_.reset();
  fieldCache_.clear();
  fieldCacheOrder_.clear();
  fieldReader_.reset();  // the first frame's time changes
  endResetModel();
}

void PacketListModel::RowsChanged() {
  cache_.reset();
  ResetFieldReader();
  emit decodingChanged();
  if (sortColumn_ >= 0) {
    sort(sortColumn_);  // reads every row again and announces the new order
    return;
  }
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

bool PacketListModel::TestsPending() const {
  return listFilter_ != nullptr && (test_ == nullptr ? doc_.Buffer().Count() > 0 : doc_.Buffer().Count() > tested_);
}

std::uint32_t PacketListModel::UntestedFrames() const {
  if (listFilter_ == nullptr) return 0;
  const std::uint32_t count = doc_.Buffer().Count();
  return count > tested_ ? count - tested_ : 0;
}

void PacketListModel::SetFrameTest(std::unique_ptr<FrameTest> test) {
  test_ = std::move(test);
  Refresh();
}

void PacketListModel::SetListFilter(std::shared_ptr<const ListFilter> filter, std::unique_ptr<FrameTest> test,
                                    std::vector<std::uint32_t> matched, std::uint32_t tested) {
  sortJob_.reset();
  beginResetModel();
  listFilter_ = std::move(filter);
  test_ = std::move(test);
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
  sortJob_.reset();
  beginResetModel();
  listFilter_.reset();
  test_.reset();
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
  if (column < 0 || column >= columnCount()) return;
  sortJob_.reset();  // a later click wins
  // Positions into the rows shown: all frames, or those the list filter kept
  // (in capture order, whatever an earlier sort did).
  std::vector<std::uint32_t> shown(static_cast<std::size_t>(rows_));
  std::iota(shown.begin(), shown.end(), 0u);
  if (listFilter_) {
    shown = order_;
    std::sort(shown.begin(), shown.end());
  }
  if (const FieldInfo* field = FieldOfColumn(column)) {
    // Every frame is decoded for its value: on the worker; Refresh() takes
    // the order when it is done.
    sortJobColumn_ = column;
    sortJobRows_ = rows_;
    sortJob_ = std::make_unique<FieldSortJob>(doc_.Buffer(), *field, DecodeSetup{doc_.Decoders(), doc_.QuicInitials()},
                                              doc_.Buffer().TimeNsAt(0).value_or(0), std::move(shown));
    return;
  }
  std::vector<std::uint32_t> order(shown.size());
  std::iota(order.begin(), order.end(), 0u);
  auto forEachText = [&](const std::function<void(std::size_t, const std::string&)>& use) {
    ForEachShown(shown, [&](std::size_t i, const PacketRecord* record) {
      use(i, record == nullptr ? std::string() : ColumnText(*record, doc_.SummaryOf(*record), column));
    });
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
  ApplyOrder(std::move(order), column);
}

void PacketListModel::TakeSortResult() {
  if (!sortJob_ || !sortJob_->Done()) return;
  std::vector<std::uint32_t> order = sortJob_->TakeOrder();
  sortJob_.reset();
  // Rows that arrived while it ran follow in the order they came.
  for (int r = sortJobRows_; r < rows_; ++r) order.push_back(PacketNumberAt(r));
  ApplyOrder(std::move(order), sortJobColumn_);
}

void PacketListModel::ApplyOrder(std::vector<std::uint32_t> order, int column) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<std::uint32_t> numbersBefore;
  numbersBefore.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& i : before) numbersBefore.push_back(PacketNumberAt(i.row()));

  order_ = std::move(order);
  rows_ = static_cast<int>(order_.size());
  sortColumn_ = column;
  cache_.reset();

  // Keep selections on the same packets.
  std::vector<std::uint32_t> rowOf(order_.empty() ? 0 : *std::max_element(order_.begin(), order_.end()) + 1u);
  for (std::size_t r = 0; r < order_.size(); ++r) rowOf[order_[r]] = static_cast<std::uint32_t>(r);
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    const std::uint32_t number = numbersBefore[static_cast<std::size_t>(i)];
    after << (number < rowOf.size() ? index(static_cast<int>(rowOf[number]), before[i].column()) : QModelIndex());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// The rows' records, read in passes of a few thousand frames: a pass reads
// a file's frames in a row and looks at the file once, and the buffer's
// lock is let go between passes so that a capture goes on meanwhile.
void PacketListModel::ForEachShown(const std::vector<std::uint32_t>& shown,
                                   const std::function<void(std::size_t, const PacketRecord*)>& use) const {
  constexpr std::uint32_t kPass = 4096;
  std::size_t i = 0;
  while (i < shown.size()) {
    const std::uint32_t first = shown[i];
    const std::uint32_t last = first < UINT32_MAX - kPass ? first + kPass : UINT32_MAX;
    doc_.Buffer().ForEachInRange(first, last, [&](const PacketRecord& record) {
      if (i < shown.size() && shown[i] == record.number) {
        use(i, &record);
        ++i;
      }
    });
    // Rows no longer held (cleared meanwhile) sort with empty texts; the
    // row at `first` is passed at least, so every pass moves on.
    while (i < shown.size() && shown[i] < last) use(i++, nullptr);
  }
}

}  // namespace qv
