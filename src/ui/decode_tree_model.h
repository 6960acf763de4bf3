#pragma once
// The decode tree of the shown packet as a Qt item model. Each line's byte
// range is available under ByteRangeRole as a QPoint(start, end).

#include <QAbstractItemModel>
#include <QColor>

#include <array>
#include <vector>

#include "decode/decode_tree.h"

namespace qv {

class DecodeTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  static constexpr int ByteRangeRole = Qt::UserRole + 1;

  using QAbstractItemModel::QAbstractItemModel;

  void SetTree(const DecodeTree& tree, const std::vector<std::int32_t>& layerStarts);
  void Clear();
  // Text colours of the four layer colours; an invalid colour leaves the view's own.
  void SetLayerColours(const std::array<QColor, 4>& colours);

  const DecodeTree& Tree() const { return tree_; }
  // The tree line of an index; kRootNode for an invalid one.
  NodeId NodeAt(const QModelIndex& index) const { return NodeOf(index); }
  // Depth first, one tab per level of depth, each line ended by "\r\n".
  QString CopyAllText() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  NodeId NodeOf(const QModelIndex& index) const;

  DecodeTree tree_;
  std::vector<std::int32_t> layerStarts_;
  // Per node: its children, and its row under its parent.
  std::vector<std::vector<NodeId>> children_;
  std::vector<int> rowInParent_;
  std::array<QColor, 4> colours_;
};

}  // namespace qv
