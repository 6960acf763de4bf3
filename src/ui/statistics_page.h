#pragma once
// The "Statistics" page: a tab control whose first page is the IP
// conversation table, with its copy, clear and export commands, and whose
// further pages draw the four layer counters.

#include <QWidget>

#include <array>

#include "capture/user_prompt.h"
#include "stats/session_statistics.h"
#include "ui/conversation_model.h"

class QMenu;
class QTabWidget;
class QTableView;
class QTimer;

namespace qv {

class LayerChartPage;

class StatisticsPage : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTableRefreshMs = 250;

  StatisticsPage(SessionStatistics& statistics, UserPrompt& prompt, QWidget* parent = nullptr);

  ConversationModel& Model() { return model_; }
  QTableView* View() const { return view_; }
  QTabWidget* Tabs() const { return tabs_; }
  LayerChartPage* Chart(int layer) const { return charts_[static_cast<std::size_t>(layer - 1)]; }

  // Reads the table and the visible chart again now.
  void Refresh();
  // The first selected row, or -1.
  int SelectedRow() const;
  // Copy commands; nothing without a selection.
  void CopyColumn(int column);
  void CopyAll();
  // Writes the rows in the order shown; shows "I couldn't open that file"
  // and returns false when the file cannot be written.
  bool ExportToFile(const QString& path);
  void ExportToFile();  // asks for the file
  // The table's right-button menu for the selected row.
  QMenu* MakeMenu(QWidget* parent);
  // "Filter on this conversation": the list filter for the selected row's two hosts.
  void FilterOnSelected();

 signals:
  void clearRequested();
  void clearCacheRequested();
  // A pie slice of this protocol was clicked.
  void protocolClicked(const QString& name);
  // The list filter to apply: the frames between a row's two hosts.
  void conversationFilterRequested(const QString& filter);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowMenu(const QPoint& at);

  UserPrompt& prompt_;
  ConversationModel model_;
  QTabWidget* tabs_;
  QTableView* view_;
  std::array<LayerChartPage*, LayerCounters::kLayers> charts_{};
  QTimer* timer_;
};

// What a click on a protocol's slice does: puts its name on the clipboard.
void UseClickedProtocol(const QString& name);

}  // namespace qv
