#include "ui/decode_tree_model.h"

#include <QPoint>

#include "decode/hex_dump.h"

namespace qv {

void DecodeTreeModel::SetTree(const DecodeTree& tree, const std::vector<std::int32_t>& layerStarts) {
  beginResetModel();
  tree_ = tree;
  layerStarts_ = layerStarts;
  const std::size_t n = tree_.LineCount() + 1;
  children_.assign(n, {});
  rowInParent_.assign(n, 0);
  for (NodeId id = 1; id < static_cast<NodeId>(n); ++id) {
    const NodeId parent = tree_[id].parent;
    rowInParent_[static_cast<std::size_t>(id)] = static_cast<int>(children_[static_cast<std::size_t>(parent)].size());
    children_[static_cast<std::size_t>(parent)].push_back(id);
  }
  endResetModel();
}

void DecodeTreeModel::Clear() { SetTree(DecodeTree(), {}); }

void DecodeTreeModel::SetLayerColours(const std::array<QColor, 4>& colours) {
  colours_ = colours;
  if (tree_.LineCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

NodeId DecodeTreeModel::NodeOf(const QModelIndex& i) const {
  return i.isValid() ? static_cast<NodeId>(i.internalId()) : kRootNode;
}

QModelIndex DecodeTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  const NodeId p = NodeOf(parent);
  if (static_cast<std::size_t>(p) >= children_.size()) return {};
  const auto& kids = children_[static_cast<std::size_t>(p)];
  if (static_cast<std::size_t>(row) >= kids.size()) return {};
  return createIndex(row, 0, static_cast<quintptr>(kids[static_cast<std::size_t>(row)]));
}

QModelIndex DecodeTreeModel::parent(const QModelIndex& child) const {
  const NodeId id = NodeOf(child);
  if (id == kRootNode) return {};
  const NodeId p = tree_[id].parent;
  if (p == kRootNode) return {};
  return createIndex(rowInParent_[static_cast<std::size_t>(p)], 0, static_cast<quintptr>(p));
}

int DecodeTreeModel::rowCount(const QModelIndex& parent) const {
  const NodeId p = NodeOf(parent);
  if (static_cast<std::size_t>(p) >= children_.size()) return 0;
  return static_cast<int>(children_[static_cast<std::size_t>(p)].size());
}

int DecodeTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant DecodeTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const DecodeNode& n = tree_[NodeOf(index)];
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(n.text);
    case ByteRangeRole:
      return QPoint(static_cast<int>(n.start), static_cast<int>(n.end));
    case Qt::ForegroundRole: {
      // A line takes the colour of the layer its bytes begin in, as in the dump.
      if (!n.HasRange()) return {};
      const QColor& c = colours_[static_cast<std::size_t>(LayerColour(n.start, layerStarts_) - 1)];
      return c.isValid() ? QVariant(c) : QVariant();
    }
    default:
      return {};
  }
}

namespace {
void AppendLines(const DecodeTree& tree, NodeId id, int depth, QString& out) {
  for (NodeId c = tree.FirstChild(id); c != kNoNode; c = tree.NextSibling(c)) {
    out += QString(depth, QLatin1Char('\t'));
    out += QString::fromStdString(tree[c].text);
    out += QStringLiteral("\r\n");
    AppendLines(tree, c, depth + 1, out);
  }
}
}  // namespace

QString DecodeTreeModel::CopyAllText() const {
  QString out;
  AppendLines(tree_, kRootNode, 0, out);
  return out;
}

}  // namespace qv
