#include "ui/statistics_page.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "filters/filter_expression.h"
#include "stats/conversation_export.h"
#include "ui/layer_chart_page.h"

namespace qv {

void UseClickedProtocol(const QString& name) { QApplication::clipboard()->setText(name); }

StatisticsPage::StatisticsPage(SessionStatistics& statistics, UserPrompt& prompt, QWidget* parent)
    : QWidget(parent),
      prompt_(prompt),
      model_(statistics.conversations),
      tabs_(new QTabWidget(this)),
      view_(new QTableView(tabs_)),
      timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("Statistics"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);

  view_->setModel(&model_);
  view_->setShowGrid(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  view_->horizontalHeader()->setHighlightSections(false);
  view_->horizontalHeader()->setSectionsClickable(true);
  for (int c = 0; c < ConversationTable::kColumns; ++c) view_->setColumnWidth(c, kConversationWidths[c]);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QTableView::customContextMenuRequested, this, &StatisticsPage::ShowMenu);
  connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    model_.sort(column, Qt::AscendingOrder);
    view_->horizontalHeader()->setSortIndicatorShown(true);
    view_->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
  });
  tabs_->addTab(view_, QStringLiteral("IP STATISTICS"));

  for (int layer = 1; layer <= LayerCounters::kLayers; ++layer) {
    auto* chart = new LayerChartPage(statistics.layers, layer, tabs_);
    connect(chart, &LayerChartPage::protocolClicked, this, &StatisticsPage::protocolClicked);
    charts_[static_cast<std::size_t>(layer - 1)] = chart;
    tabs_->addTab(chart, QString::fromLatin1(kLayerTitles[static_cast<std::size_t>(layer - 1)]));
  }

  // The table follows the capture while it can be seen; names that arrive
  // from lookups show within this interval.
  timer_->setInterval(kTableRefreshMs);
  connect(timer_, &QTimer::timeout, this, [this] {
    if (view_->isVisible()) model_.Refresh();
  });
}

void StatisticsPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  model_.Refresh();
  timer_->start();
}

void StatisticsPage::hideEvent(QHideEvent* event) {
  timer_->stop();
  QWidget::hideEvent(event);
}

void StatisticsPage::Refresh() {
  model_.Refresh();
  for (LayerChartPage* chart : charts_) {
    if (chart->isVisible()) chart->Refresh();
  }
}

int StatisticsPage::SelectedRow() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void StatisticsPage::CopyColumn(int column) {
  const int row = SelectedRow();
  if (row >= 0) QApplication::clipboard()->setText(model_.Text(row, column));
}

void StatisticsPage::CopyAll() {
  const int row = SelectedRow();
  if (row >= 0) QApplication::clipboard()->setText(model_.CopyAllText(row));
}

bool StatisticsPage::ExportToFile(const QString& path) {
  model_.Refresh();
  if (WriteConversationExport(path.toStdString(), model_.ShownRows(), LocalTimeNow())) return true;
  prompt_.ShowMessage("I couldn't open that file", "Quorvanet", MessageIcon::Warning);
  return false;
}

void StatisticsPage::ExportToFile() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("Text files(*.txt)"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(QStringLiteral("statistics"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ExportToFile(dialog.selectedFiles().front());
}

void StatisticsPage::FilterOnSelected() {
  const int row = SelectedRow();
  if (row < 0) return;
  const std::vector<ConversationRow> rows = model_.ShownRows();
  if (static_cast<std::size_t>(row) >= rows.size()) return;
  const ConversationRow& r = rows[static_cast<std::size_t>(row)];
  emit conversationFilterRequested(QString::fromStdString(ConversationFilter(r.source, r.destination)));
}

void StatisticsPage::ShowMenu(const QPoint& at) {
  QMenu* menu = MakeMenu(this);
  menu->exec(view_->viewport()->mapToGlobal(at));
  delete menu;
}

QMenu* StatisticsPage::MakeMenu(QWidget* parent) {
  auto* menuPointer = new QMenu(parent);
  QMenu& menu = *menuPointer;
  menu.addAction(QStringLiteral("copy all"), this, &StatisticsPage::CopyAll);
  menu.addSeparator();
  static constexpr std::pair<const char*, int> kCopies[] = {
      {"copy source ip", 0},        {"copy destination ip", 1},         {"copy ports", 4},
      {"copy bytes", 3},            {"copy packet number", 2},          {"copy source host name", 5},
      {"copy destination host name", 6},
  };
  for (const auto& [text, column] : kCopies) {
    menu.addAction(QString::fromLatin1(text), this, [this, c = column] { CopyColumn(c); });
  }
  menu.addSeparator();
  menu.addAction(QStringLiteral("clear"), this, &StatisticsPage::clearRequested);
  menu.addAction(QStringLiteral("clear host name cache"), this, &StatisticsPage::clearCacheRequested);
  menu.addSeparator();
  menu.addAction(QStringLiteral("export to file"), this, [this] { ExportToFile(); });
  menu.addSeparator();
  QAction* filter = menu.addAction(QStringLiteral("Filter on this conversation"), this, &StatisticsPage::FilterOnSelected);
  filter->setEnabled(SelectedRow() >= 0);
  return menuPointer;
}

}  // namespace qv
