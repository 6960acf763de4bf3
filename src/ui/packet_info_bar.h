#pragma once
// The " Packet Info" bar: the decode tree of the shown packet, with the
// options which top-level lines to expand and which to scroll to.

#include <QWidget>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "filters/filter_expression.h"
#include "ui/decode_tree_model.h"

class QTreeView;
class QMenu;
class QAction;

namespace qv {

class PacketInfoBar : public QWidget {
  Q_OBJECT
 public:
  explicit PacketInfoBar(QWidget* parent = nullptr);

  // `frame`: the bytes the tree describes, where the lines' values are read.
  void ShowTree(const DecodeTree& tree, const std::vector<std::int32_t>& layerStarts,
                std::span<const std::uint8_t> frame);
  void Clear();
  DecodeTreeModel& Model() { return model_; }
  QTreeView* View() const { return view_; }

  void SetExpanded(int item, bool expanded);  // item 1..6
  bool Expanded(int item) const { return expanded_[static_cast<std::size_t>(item - 1)]; }
  void SetVisibleItem(int item);  // 1..6
  int VisibleItem() const { return visibleItem_; }

  void ExpandAll();
  void CollapseAll();
  void CopySelectedItem();
  void CopyAll();
  // The right-button menu for the current line.
  QMenu* MakeMenu(QWidget* parent);

 signals:
  // "Apply as Filter" / "Prepare as Filter": the line's filter, joined to
  // the list filter's as `how` says.
  void filterRequested(const QString& selected, qv::FilterCombine how, bool apply);
  // "Apply as Column".
  void columnRequested(const qv::FieldInfo* field);
  // The selected line's bytes [start, end); an empty range for a line without one.
  void rangeSelected(quint32 start, quint32 end);

 private:
  void ApplyExpansion();
  void ShowMenu(const QPoint& at);

  DecodeTreeModel model_;
  std::vector<std::uint8_t> frame_;
  QTreeView* view_;
  std::array<bool, 6> expanded_{true, true, true, true, true, true};
  int visibleItem_ = 1;
};

}  // namespace qv
