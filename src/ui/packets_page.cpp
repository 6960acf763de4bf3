#include "ui/packets_page.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "capture/packet_row.h"

namespace qv {

namespace {
constexpr int kColumnWidths[kColumnCount] = {100, 50, 100, 100, 100, 100, 50, 50, 200};
}

PacketsPage::PacketsPage(PacketListModel& model, QWidget* parent)
    : QWidget(parent), model_(model), view_(new QTableView(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setModel(&model_);
  view_->setShowGrid(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->horizontalHeader()->setSectionsClickable(true);
  // The classic widths, widened where this font needs more room for the text.
  const QFontMetrics metrics = view_->fontMetrics();
  const char* const widest[kColumnCount] = {"00:00:00:000000", "00000", "00:00:00:00:00:00", "00:00:00:00:00:00",
                                            "000.000.000.000", "000.000.000.000", "00000", "00000", ""};
  for (int c = 0; c < kColumnCount; ++c) {
    const int text = metrics.horizontalAdvance(QString::fromLatin1(widest[c]));
    const int heading = metrics.horizontalAdvance(QString::fromLatin1(kColumnHeadings[static_cast<std::size_t>(c)]));
    const int needed = std::max(text, heading) + 16;
    view_->setColumnWidth(c, std::max(kColumnWidths[c], needed));
  }
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QTableView::customContextMenuRequested, this, &PacketsPage::ShowMenu);
  connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    model_.sort(column, Qt::AscendingOrder);
    view_->horizontalHeader()->setSortIndicatorShown(true);
    view_->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
  });
  view_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this, &PacketsPage::ShowHeaderMenu);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
    if (current.isValid()) emit packetSelected(model_.PacketNumberAt(current.row()));
  });
}

int PacketsPage::SelectedRow() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  int first = rows.front().row();
  for (const QModelIndex& i : rows) first = std::min(first, i.row());
  return first;
}

void PacketsPage::CopyColumn(int column) {
  const int row = SelectedRow();
  if (row >= 0) QApplication::clipboard()->setText(model_.Text(row, column));
}

void PacketsPage::CopyAll() {
  const int row = SelectedRow();
  if (row >= 0) QApplication::clipboard()->setText(model_.CopyAllText(row));
}

void PacketsPage::ResendSelected() {
  const int row = SelectedRow();
  if (row >= 0) emit resendRequested(model_.PacketNumberAt(row));
}

void PacketsPage::CommentSelected() {
  const int row = SelectedRow();
  if (row >= 0) emit commentRequested(model_.PacketNumberAt(row));
}

void PacketsPage::ShowMenu(const QPoint& at) {
  QMenu* menu = MakeMenu(this);
  menu->exec(view_->viewport()->mapToGlobal(at));
  delete menu;
}

bool PacketsPage::AddFieldColumn(const FieldInfo* field) {
  if (!model_.AddFieldColumn(field)) return false;
  const int column = model_.columnCount() - 1;
  const QFontMetrics metrics = view_->fontMetrics();
  const int heading = metrics.horizontalAdvance(model_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
  view_->setColumnWidth(column, std::max(120, heading + 16));
  emit fieldColumnsChanged();
  return true;
}

bool PacketsPage::RemoveFieldColumn(int column) {
  const bool sortedByIt = model_.SortColumn() == column;
  if (!model_.RemoveFieldColumn(column)) return false;
  // The rows keep their order; no column claims it any more.
  if (sortedByIt) view_->horizontalHeader()->setSortIndicatorShown(false);
  emit fieldColumnsChanged();
  return true;
}

void PacketsPage::ShowHeaderMenu(const QPoint& at) {
  QMenu* menu = MakeHeaderMenu(view_->horizontalHeader()->logicalIndexAt(at), this);
  if (!menu->isEmpty()) menu->exec(view_->horizontalHeader()->mapToGlobal(at));
  delete menu;
}

QMenu* PacketsPage::MakeHeaderMenu(int column, QWidget* parent) {
  auto* menu = new QMenu(parent);
  if (const FieldInfo* field = model_.FieldOfColumn(column)) {
    const QString name = QString::fromUtf8(field->abbrev.data(), static_cast<qsizetype>(field->abbrev.size()));
    menu->addAction(QStringLiteral("Remove column \"%1\"").arg(name), this, [this, column] { RemoveFieldColumn(column); });
  }
  return menu;
}

QMenu* PacketsPage::MakeMenu(QWidget* parent) {
  auto* menuPointer = new QMenu(parent);
  QMenu& menu = *menuPointer;
  menu.addAction(QStringLiteral("copy all"), this, &PacketsPage::CopyAll);
  menu.addSeparator();
  static constexpr std::pair<const char*, int> kCopies[] = {
      {"copy time", kColumnTime},          {"copy size", kColumnSize},
      {"copy source MAC", kColumnSrcMac},  {"copy destination MAC", kColumnDestMac},
      {"copy source IP", kColumnSrcIp},    {"copy destination IP", kColumnDestIp},
      {"copy source port", kColumnSrcPort}, {"copy destination port", kColumnDestPort},
      {"copy names of protocols", kColumnProtocols},
  };
  for (const auto& [label, column] : kCopies) {
    menu.addAction(QString::fromLatin1(label), this, [this, c = column] { CopyColumn(c); });
  }
  menu.addSeparator();
  menu.addAction(QStringLiteral("clear"), this, &PacketsPage::clearRequested);
  menu.addSeparator();
  QAction* save = menu.addAction(QStringLiteral("save packets to file"), this, &PacketsPage::saveRequested);
  save->setEnabled(saveEnabled_);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Resend"), this, &PacketsPage::ResendSelected);
  menu.addAction(QStringLiteral("Packet Comment..."), this, &PacketsPage::CommentSelected)
      ->setEnabled(SelectedRow() >= 0);
  return menuPointer;
}

}  // namespace qv
