#include "ui/packet_info_bar.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/tree_filter_menu.h"

namespace qv {

PacketInfoBar::PacketInfoBar(QWidget* parent) : QWidget(parent), view_(new QTreeView(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setModel(&model_);
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(view_, &QTreeView::customContextMenuRequested, this, &PacketInfoBar::ShowMenu);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    const QPoint range = current.data(DecodeTreeModel::ByteRangeRole).toPoint();
    emit rangeSelected(static_cast<quint32>(range.x()), static_cast<quint32>(range.y()));
  });
}

void PacketInfoBar::ShowTree(const DecodeTree& tree, const std::vector<std::int32_t>& layerStarts,
                             std::span<const std::uint8_t> frame) {
  frame_.assign(frame.begin(), frame.end());
  model_.SetTree(tree, layerStarts);
  ApplyExpansion();
}

void PacketInfoBar::Clear() {
  model_.Clear();
  frame_.clear();
}

void PacketInfoBar::ApplyExpansion() {
  const int top = model_.rowCount();
  for (int k = 0; k < top && k < 6; ++k) view_->setExpanded(model_.index(k, 0), expanded_[static_cast<std::size_t>(k)]);
  if (visibleItem_ >= 1 && visibleItem_ <= top) {
    view_->scrollTo(model_.index(visibleItem_ - 1, 0), QAbstractItemView::PositionAtTop);
  }
}

void PacketInfoBar::SetExpanded(int item, bool expanded) {
  if (item < 1 || item > 6) return;
  expanded_[static_cast<std::size_t>(item - 1)] = expanded;
}

void PacketInfoBar::SetVisibleItem(int item) {
  if (item >= 1 && item <= 6) visibleItem_ = item;
}

void PacketInfoBar::ExpandAll() { view_->expandAll(); }
void PacketInfoBar::CollapseAll() { view_->collapseAll(); }

void PacketInfoBar::CopySelectedItem() {
  const QModelIndex current = view_->currentIndex();
  if (current.isValid()) QApplication::clipboard()->setText(current.data().toString());
}

void PacketInfoBar::CopyAll() { QApplication::clipboard()->setText(model_.CopyAllText()); }

void PacketInfoBar::ShowMenu(const QPoint& at) {
  QMenu* menu = MakeMenu(this);
  menu->exec(view_->viewport()->mapToGlobal(at));
  delete menu;
}

QMenu* PacketInfoBar::MakeMenu(QWidget* parent) {
  auto* menuPointer = new QMenu(parent);
  QMenu& menu = *menuPointer;
  menu.addAction(QStringLiteral("expand all"), this, &PacketInfoBar::ExpandAll);
  menu.addAction(QStringLiteral("collapse all"), this, &PacketInfoBar::CollapseAll);
  menu.addSeparator();
  for (int k = 1; k <= 6; ++k) {
    QAction* a = menu.addAction(QStringLiteral("%1. item expanded").arg(k));
    a->setCheckable(true);
    a->setChecked(Expanded(k));
    connect(a, &QAction::toggled, this, [this, k](bool on) { SetExpanded(k, on); });
  }
  menu.addSeparator();
  auto* group = new QActionGroup(&menu);
  for (int k = 1; k <= 6; ++k) {
    QAction* a = menu.addAction(QStringLiteral("%1. item visible").arg(k));
    a->setCheckable(true);
    a->setChecked(visibleItem_ == k);
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, k] { SetVisibleItem(k); });
  }
  menu.addSeparator();
  menu.addAction(QStringLiteral("copy selected item"), this, &PacketInfoBar::CopySelectedItem);
  menu.addAction(QStringLiteral("copy all"), this, &PacketInfoBar::CopyAll);
  const NodeId line = model_.NodeAt(view_->currentIndex());
  if (line != kRootNode) {
    menu.addSeparator();
    TreeFilterActions actions;
    actions.filter = [this](const QString& selected, FilterCombine how, bool apply) {
      emit filterRequested(selected, how, apply);
    };
    actions.column = [this](const FieldInfo& field) { emit columnRequested(&field); };
    AddTreeFilterMenus(menu, model_.Tree()[line], frame_, actions);
  }
  return menuPointer;
}

}  // namespace qv
