#pragma once
// The "Packets" page: the packet list with its copy commands.

#include <QWidget>

#include "ui/packet_list_model.h"

class QMenu;
class QTableView;

namespace qv {

class PacketsPage : public QWidget {
  Q_OBJECT
 public:
  PacketsPage(PacketListModel& model, QWidget* parent = nullptr);

  QTableView* View() const { return view_; }
  PacketListModel& Model() const { return model_; }
  // The first selected row, or -1.
  int SelectedRow() const;
  // The single-column copy commands and "copy all"; nothing without a selection.
  void CopyColumn(int column);
  void CopyAll();
  // "Resend": the selected row's frame onto the Send page.
  void ResendSelected();
  // "Packet Comment...": asks the window to edit the selected row's comment.
  void CommentSelected();
  // The list's right-button menu; "save packets to file" follows SetSaveEnabled().
  QMenu* MakeMenu(QWidget* parent);
  // Saving is refused during a capture; the menu then shows it disabled.
  void SetSaveEnabled(bool enabled) { saveEnabled_ = enabled; }
  // A field column after the others ("Apply as Column"); false when it is there already.
  bool AddFieldColumn(const FieldInfo* field);
  bool RemoveFieldColumn(int column);
  // The list heading's right-button menu for `column`: "Remove column" for a field column.
  QMenu* MakeHeaderMenu(int column, QWidget* parent);

 signals:
  void packetSelected(quint32 number);
  void clearRequested();
  void saveRequested();
  void resendRequested(quint32 number);
  void commentRequested(quint32 number);
  // A field column was added or removed.
  void fieldColumnsChanged();

 private:
  void ShowMenu(const QPoint& at);
  void ShowHeaderMenu(const QPoint& at);

  PacketListModel& model_;
  QTableView* view_;
  bool saveEnabled_ = false;
};

}  // namespace qv
