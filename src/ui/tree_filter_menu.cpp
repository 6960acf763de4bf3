#include "ui/tree_filter_menu.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>

namespace qv {

namespace {
QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void AddTreeFilterMenus(QMenu& menu, const DecodeNode& line, std::span<const std::uint8_t> frame,
                        const TreeFilterActions& actions) {
  const QString filter = QString::fromStdString(FilterForLine(line, frame));
  if (line.field != nullptr && !filter.isEmpty()) {
    for (const auto& [title, apply] : {std::pair{"Apply as Filter", true}, std::pair{"Prepare as Filter", false}}) {
      QMenu* sub = menu.addMenu(QString::fromLatin1(title));
      for (const auto& [text, how] : kFilterCombinations) {
        sub->addAction(QString::fromLatin1(text), &menu,
                       [filter, how = how, apply = apply, f = actions.filter] { if (f) f(filter, how, apply); });
      }
    }
  }
  QMenu* copy = menu.addMenu(QStringLiteral("Copy"));
  // A protocol's value is its line; a line without a field copies its text.
  std::string value = NodeValueText(line, frame);
  if (value.empty()) value = line.text;
  copy->addAction(QStringLiteral("Value"), &menu,
                  [text = QString::fromStdString(value)] { QApplication::clipboard()->setText(text); });
  if (line.field == nullptr) return;
  copy->addAction(QStringLiteral("Field Name"), &menu,
                  [text = FromView(line.field->abbrev)] { QApplication::clipboard()->setText(text); });
  copy->addAction(QStringLiteral("As Filter"), &menu, [filter] { QApplication::clipboard()->setText(filter); });
  const FieldInfo* field = line.field;
  menu.addAction(QStringLiteral("Apply as Column"), &menu, [field, c = actions.column] { if (c) c(*field); });
}

}  // namespace qv
