#pragma once
// The packet list as a virtual table over the packet buffer. A row holds no
// texts: they are produced from the buffered frame when the row is shown.
// New rows are announced in batches by Refresh(), which the window calls on
// a timer. Sorting keeps a row → packet number permutation (4 bytes a row).

#include <QAbstractTableModel>
#include <QColor>

#include <memory>
#include <optional>
#include <vector>

#include "capture/packet_record.h"
#include "decode/packet_summary.h"

namespace qv {

class CTalvenorDoc;
class CompiledFilter;

class PacketListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit PacketListModel(CTalvenorDoc& doc, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Rows sort ascending by the column, whatever `order` asks.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

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
  // the accepting numbers among 0..tested-1; later frames are tested as
  // Refresh() announces them.
  void SetListFilter(std::shared_ptr<CompiledFilter> filter, std::vector<std::uint32_t> matched,
                     std::uint32_t tested);
  void ClearListFilter();
  bool ListFiltered() const { return listFilter_ != nullptr; }

 private:
  struct CachedRow {
    std::uint32_t number;
    PacketRecord record;
    PacketSummary summary;
  };
  const CachedRow* RowAt(int row) const;

  CTalvenorDoc& doc_;
  int rows_ = 0;
  int sortColumn_ = -1;
  bool Mapped() const { return sortColumn_ >= 0 || listFilter_ != nullptr; }

  std::vector<std::uint32_t> order_;  // row → packet number, while sorted or filtered
  std::shared_ptr<CompiledFilter> listFilter_;
  std::uint32_t tested_ = 0;  // frames below this number went through the list filter
  mutable std::optional<CachedRow> cache_;
};

}  // namespace qv
