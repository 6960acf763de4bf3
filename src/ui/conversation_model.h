#pragma once
// The IP conversation table as a table model: seven columns over a copy of
// the table's rows (IPv4 and IPv6 pairs alike; an address's full text is
// also its tooltip, and a host name's tooltip says where the name came
// from), refreshed while the page is visible. A header click sorts ascending
// by that column and the order holds as rows keep changing;
// rows keep their identity (the table's row number) across refreshes, so a
// selection stays on its conversation.

#include <QAbstractTableModel>

#include <vector>

#include "stats/conversation_table.h"

namespace qv {

inline constexpr const char* kConversationHeadings[ConversationTable::kColumns] = {
    "Src IP", "Dest IP", "Packets", "Bytes", "Ports", "Src host name", "Dest host name"};
inline constexpr int kConversationWidths[ConversationTable::kColumns] = {100, 100, 100, 100, 180, 220, 220};

class ConversationModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ConversationModel(ConversationTable& table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Ascending by `column` whatever the order asked for; -1 for the table's own order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Takes the table's rows when they changed since the last look (after
  // they took the names learned from the traffic since).
  void Refresh();
  QString Text(int row, int column) const;
  // "From the traffic: DNS answer", "From reverse DNS", or empty.
  QString NameSourceTip(int row, int column) const;
  // The seven texts of the row, joined by CR LF.
  QString CopyAllText(int row) const;
  // The rows in the order shown.
  std::vector<ConversationRow> ShownRows() const;
  int SortColumn() const { return sortColumn_; }

 private:
  void Order();

  ConversationTable& table_;
  std::vector<ConversationRow> rows_;  // the table's list order
  std::vector<int> order_;             // shown row -> index into rows_
  std::uint64_t version_ = ~0ull;
  int sortColumn_ = -1;
};

}  // namespace qv
