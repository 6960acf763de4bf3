#pragma once
// The packet list as a virtual table over the packet buffer. A row holds no
// texts: they are produced from the buffered frame when the row is shown.
// New rows are announced in batches by Refresh(), which the window calls on
// a timer. Sorting keeps a row → packet number permutation (4 bytes a row).
// After the fixed columns come the field columns ("Apply as Column"), whose
// texts need the frame decoded in tree mode: a few hundred rows' values are
// kept, so scrolling does not decode the same rows again and again.

#include <QAbstractTableModel>
#include <QColor>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "capture/packet_record.h"
#include "decode/packet_summary.h"
#include "filters/field_column.h"
#include "filters/filter_settings.h"

namespace qv {

class CTalvenorDoc;
class FieldSortJob;
class FrameTest;
class ListFilter;

class PacketListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit PacketListModel(CTalvenorDoc& doc, QObject* parent = nullptr);
  ~PacketListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Rows sort ascending by the column, whatever `order` asks. A field
  // column sorts on a worker: the new order shows at a Refresh() after it
  // is done (Sorting() until then).
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  bool Sorting() const { return sortJob_ != nullptr; }

  // Announces the frames buffered since the last call.
  void Refresh();
  // The buffer was emptied.
  void Reset();
  // Every row's texts may have changed (other decoders): the rows are read
  // again, a sorted list is sorted again, and the selection stays.
  void RowsChanged();

  // Packet number of a row (its item data).
  std::uint32_t PacketNumberAt(int row) const;
  QString Text(int row, int column) const;
  // "copy all": Time, Size, Src MAC, Src IP, Src Port, Dest MAC, Dest IP,
  // Dest Port, Protocols joined by "\r\n".
  QString CopyAllText(int row) const;
  int SortColumn() const { return sortColumn_; }

  // The list filter: only frames `filter` accepts are shown. `matched` are
  // the accepting numbers among 0..tested-1; later frames go to `test`
  // (which has seen the frames up to `tested`, in order) as Refresh()
  // announces them. Without a test (none made yet) nothing further is
  // tested until SetFrameTest().
  void SetListFilter(std::shared_ptr<const ListFilter> filter, std::unique_ptr<FrameTest> test,
                     std::vector<std::uint32_t> matched, std::uint32_t tested);
  void SetFrameTest(std::unique_ptr<FrameTest> test);
  bool HasFrameTest() const { return test_ != nullptr; }
  void ClearListFilter();
  bool ListFiltered() const { return listFilter_ != nullptr; }
  const ListFilter* CurrentListFilter() const { return listFilter_.get(); }
  // Frames buffered but not yet tested (Refresh() tests a bounded number at a time).
  bool TestsPending() const;
  // Frames buffered but not yet tested.
  std::uint32_t UntestedFrames() const;

  // The field columns, after the fixed ones, in the order shown.
  const std::vector<const FieldInfo*>& FieldColumns() const { return fieldColumns_; }
  void SetFieldColumns(std::vector<const FieldInfo*> fields);
  // False when the field already has a column (or is null).
  bool AddFieldColumn(const FieldInfo* field);
  // `column` counts the fixed columns too; false when it is not a field column.
  bool RemoveFieldColumn(int column);
  // The field of a column; null for a fixed one.
  const FieldInfo* FieldOfColumn(int column) const;

 signals:
  // RowsChanged(): the frames decode differently now (a display filter's
  // matches may differ too).
  void decodingChanged();

 private:
  struct CachedRow {
    std::uint32_t number;
    PacketRecord record;
    PacketSummary summary;
  };
  const CachedRow* RowAt(int row) const;
  // Visits the shown frames `shown` (rising numbers) in passes; a frame no
  // longer held comes as null.
  void ForEachShown(const std::vector<std::uint32_t>& shown,
                    const std::function<void(std::size_t, const PacketRecord*)>& use) const;
  // The field columns' values of a frame, from the cache or decoded now.
  const std::vector<FieldColumnValue>* FieldValuesOf(std::uint32_t number) const;
  void ResetFieldReader() const;
  // Rows in this order (packet numbers), sorted by `column`; selections stay on their packets.
  void ApplyOrder(std::vector<std::uint32_t> order, int column);
  void TakeSortResult();

  CTalvenorDoc& doc_;
  int rows_ = 0;
  int sortColumn_ = -1;
  bool Mapped() const { return sortColumn_ >= 0 || listFilter_ != nullptr; }

  std::vector<std::uint32_t> order_;  // row → packet number, while sorted or filtered
  std::shared_ptr<const ListFilter> listFilter_;
  std::unique_ptr<FrameTest> test_;
  std::uint32_t tested_ = 0;  // frames below this number went through the list filter
  mutable std::optional<CachedRow> cache_;

  std::unique_ptr<FieldSortJob> sortJob_;
  int sortJobColumn_ = -1;
  int sortJobRows_ = 0;  // rows when it started; later ones follow its order

  std::vector<const FieldInfo*> fieldColumns_;
  mutable std::unique_ptr<FieldColumnReader> fieldReader_;
  mutable std::unordered_map<std::uint32_t, std::vector<FieldColumnValue>> fieldCache_;
  mutable std::deque<std::uint32_t> fieldCacheOrder_;  // oldest first, for eviction
};

}  // namespace qv
