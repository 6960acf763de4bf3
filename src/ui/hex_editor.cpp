#include "ui/hex_editor.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

namespace qv {

namespace {
constexpr int kColumnGap = 2;  // characters between column kinds
constexpr int kMargin = 4;     // pixels
}  // namespace

HexEditor::HexEditor(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
}

void HexEditor::SetData(std::span<const std::uint8_t> bytes) {
  bytes_.assign(bytes.begin(), bytes.end());
  if (caret_ > bytes_.size()) caret_ = bytes_.size();
  if (anchor_ && *anchor_ >= bytes_.size()) anchor_.reset();
  UpdateScrollBar();
  viewport()->update();
}

void HexEditor::SetColumnShown(Column column, bool shown) {
  shown_[column] = shown;
  if (!shown_[editColumn_]) editColumn_ = shown_[Hex] ? Hex : Ascii;
  UpdateScrollBar();
  viewport()->update();
}

std::optional<std::pair<std::size_t, std::size_t>> HexEditor::Selection() const {
  if (!anchor_ || bytes_.empty()) return std::nullopt;
  const std::size_t end = std::min(caret_, bytes_.size() - 1);
  return std::pair{std::min(*anchor_, end), std::max(*anchor_, end)};
}

void HexEditor::SetSelection(std::size_t first, std::size_t last) {
  if (bytes_.empty()) return ClearSelection();
  last = std::min(last, bytes_.size() - 1);
  anchor_ = std::min(first, last);
  caret_ = last;
  lowNibble_ = false;
  viewport()->update();
}

void HexEditor::ClearSelection() {
  anchor_.reset();
  viewport()->update();
}

void HexEditor::SetCaret(std::size_t offset, bool extendSelection) {
  const std::size_t last = bytes_.empty() ? 0 : bytes_.size() - 1;
  offset = std::min(offset, last);
  if (extendSelection) {
    if (!anchor_) anchor_ = std::min(caret_, last);
  } else {
    anchor_ = offset;  // a caret alone selects its byte: paste goes there
  }
  caret_ = offset;
  lowNibble_ = false;
  EnsureCaretVisible();
  viewport()->update();
}

int HexEditor::BytesPerLine() const { return shown_[Binary] ? 8 : 16; }

int HexEditor::LineCount() const {
  const int per = BytesPerLine();
  return static_cast<int>((bytes_.size() + static_cast<std::size_t>(per) - 1) / static_cast<std::size_t>(per));
}

int HexEditor::CellWidth(Column column) {
  switch (column) {
    case Hex: return 2;
    case Decimal: return 3;
    case Octal: return 3;
    case Binary: return 8;
    case Ascii: return 1;
    default: return 0;
  }
}

QString HexEditor::CellText(Column column, std::size_t offset) const {
  const std::uint8_t b = bytes_[offset];
  switch (column) {
    case Hex: return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    case Decimal: return QStringLiteral("%1").arg(b, 3, 10, QLatin1Char('0'));
    case Octal: return QStringLiteral("%1").arg(b, 3, 8, QLatin1Char('0'));
    case Binary: return QStringLiteral("%1").arg(b, 8, 2, QLatin1Char('0'));
    case Ascii: return QString(b >= 0x20 && b < 0x7F ? QChar(b) : QChar('.'));
    default: return {};
  }
}

std::vector<std::pair<HexEditor::Column, int>> HexEditor::Layout() const {
  std::vector<std::pair<Column, int>> out;
  int at = 0;
  const int per = BytesPerLine();
  const int addressWidth = bytes_.size() > 0xFFFF ? 8 : 4;
  for (int c = 0; c < ColumnCount; ++c) {
    const auto column = static_cast<Column>(c);
    if (!shown_[column]) continue;
    out.emplace_back(column, at);
    if (column == Address) {
      at += addressWidth + kColumnGap;
    } else {
      // Cells are one blank apart; the characters run together.
      const int cell = CellWidth(column) + (column == Ascii ? 0 : 1);
      at += cell * per - (column == Ascii ? 0 : 1) + kColumnGap;
    }
  }
  return out;
}

QString HexEditor::LineText(int line) const {
  const int per = BytesPerLine();
  const std::size_t first = static_cast<std::size_t>(line) * static_cast<std::size_t>(per);
  QString text;
  for (const auto& [column, start] : Layout()) {
    text = text.leftJustified(start, QLatin1Char(' '));
    if (column == Address) {
      text += QStringLiteral("%1").arg(first, bytes_.size() > 0xFFFF ? 8 : 4, 16, QLatin1Char('0')).toUpper();
      continue;
    }
    for (std::size_t i = first; i < std::min(bytes_.size(), first + static_cast<std::size_t>(per)); ++i) {
      if (column != Ascii && i != first) text += QLatin1Char(' ');
      text += CellText(column, i);
    }
  }
  while (text.endsWith(QLatin1Char(' '))) text.chop(1);
  return text;
}

void HexEditor::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), palette().base());
  const QFontMetrics m(font());
  const int cw = m.horizontalAdvance(QLatin1Char('0'));
  const int lh = m.height();
  const int per = BytesPerLine();
  const int firstLine = verticalScrollBar()->value();
  const int x0 = kMargin - horizontalScrollBar()->value();
  const auto selection = Selection();
  const auto layout = Layout();
  for (int line = firstLine; line < LineCount() && (line - firstLine) * lh < viewport()->height(); ++line) {
    const int y = (line - firstLine) * lh;
    const std::size_t first = static_cast<std::size_t>(line) * static_cast<std::size_t>(per);
    for (const auto& [column, start] : layout) {
      if (column == Address) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(x0 + start * cw, y + m.ascent(),
                   QStringLiteral("%1").arg(first, bytes_.size() > 0xFFFF ? 8 : 4, 16, QLatin1Char('0')).toUpper());
        continue;
      }
      const int step = CellWidth(column) + (column == Ascii ? 0 : 1);
      for (std::size_t i = first; i < std::min(bytes_.size(), first + static_cast<std::size_t>(per)); ++i) {
        const int x = x0 + (start + static_cast<int>(i - first) * step) * cw;
        const QRect cell(x, y, CellWidth(column) * cw, lh);
        const bool selected = selection && i >= selection->first && i <= selection->second;
        if (selected) p.fillRect(cell, palette().highlight());
        if (i == caret_ && hasFocus() && column == editColumn_) {
          const int nibble = column == Hex && lowNibble_ ? cw : 0;
          p.fillRect(QRect(x + nibble, y + lh - 2, cw, 2), palette().text());
        }
        p.setPen(selected ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text));
        p.drawText(x, y + m.ascent(), CellText(column, i));
      }
    }
  }
}

void HexEditor::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBar();
}

void HexEditor::UpdateScrollBar() {
  const QFontMetrics m(font());
  const int visible = std::max(1, viewport()->height() / m.height());
  verticalScrollBar()->setRange(0, std::max(0, LineCount() - visible));
  verticalScrollBar()->setPageStep(visible);
  int width = 0;
  if (const auto layout = Layout(); !layout.empty()) {
    const auto& [column, start] = layout.back();
    width = (start + (column == Address ? 8 : (CellWidth(column) + 1) * BytesPerLine())) *
                m.horizontalAdvance(QLatin1Char('0')) + 2 * kMargin;
  }
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexEditor::EnsureCaretVisible() {
  const int line = static_cast<int>(caret_ / static_cast<std::size_t>(BytesPerLine()));
  QScrollBar* bar = verticalScrollBar();
  if (line < bar->value()) bar->setValue(line);
  if (line >= bar->value() + bar->pageStep()) bar->setValue(line - bar->pageStep() + 1);
}

std::optional<std::pair<std::size_t, HexEditor::Column>> HexEditor::HitTest(const QPoint& at) const {
  if (bytes_.empty()) return std::nullopt;
  const QFontMetrics m(font());
  const int cw = m.horizontalAdvance(QLatin1Char('0'));
  const int line = verticalScrollBar()->value() + std::max(0, at.y()) / m.height();
  const int charPos = (at.x() - kMargin + horizontalScrollBar()->value()) / std::max(1, cw);
  const int per = BytesPerLine();
  for (const auto& [column, start] : Layout()) {
    if (column == Address) continue;
    const int step = CellWidth(column) + (column == Ascii ? 0 : 1);
    const int span = step * per;
    if (charPos < start || charPos >= start + span) continue;
    const int index = std::min((charPos - start) / step, per - 1);
    const std::size_t offset = static_cast<std::size_t>(line) * static_cast<std::size_t>(per) + static_cast<std::size_t>(index);
    return std::pair{std::min(offset, bytes_.size() - 1), column};
  }
  return std::nullopt;
}

void HexEditor::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return;  // keep the selection for the menu
  if (const auto hit = HitTest(event->position().toPoint())) {
    if (hit->second == Hex || hit->second == Ascii) editColumn_ = hit->second;
    SetCaret(hit->first, event->modifiers() & Qt::ShiftModifier);
  }
}

void HexEditor::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  if (const auto hit = HitTest(event->position().toPoint())) SetCaret(hit->first, true);
}

void HexEditor::Overwrite(std::uint8_t value) {
  if (caret_ >= bytes_.size()) return;
  bytes_[caret_] = value;
  emit byteEdited(caret_, value);
}

bool HexEditor::event(QEvent* event) {
  // Tab moves between the hex digits and the characters, not to the next control.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
    keyPressEvent(static_cast<QKeyEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::event(event);
}

void HexEditor::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) return emit selectAllRequested();
  if (event->matches(QKeySequence::Copy)) return emit copyRequested();
  if (event->matches(QKeySequence::Paste)) return emit pasteRequested();
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const auto per = static_cast<std::size_t>(BytesPerLine());
  const std::size_t last = bytes_.empty() ? 0 : bytes_.size() - 1;
  switch (event->key()) {
    case Qt::Key_Left: return SetCaret(caret_ > 0 ? caret_ - 1 : 0, extend);
    case Qt::Key_Right: return SetCaret(std::min(caret_ + 1, last), extend);
    case Qt::Key_Up: return SetCaret(caret_ >= per ? caret_ - per : caret_, extend);
    case Qt::Key_Down: return SetCaret(caret_ + per <= last ? caret_ + per : caret_, extend);
    case Qt::Key_Home: return SetCaret(event->modifiers() & Qt::ControlModifier ? 0 : caret_ - caret_ % per, extend);
    case Qt::Key_End:
      return SetCaret(event->modifiers() & Qt::ControlModifier ? last : std::min(caret_ - caret_ % per + per - 1, last),
                      extend);
    case Qt::Key_PageUp: {
      const std::size_t page = per * static_cast<std::size_t>(verticalScrollBar()->pageStep());
      return SetCaret(caret_ >= page ? caret_ - page : 0, extend);
    }
    case Qt::Key_PageDown:
      return SetCaret(std::min(caret_ + per * static_cast<std::size_t>(verticalScrollBar()->pageStep()), last), extend);
    case Qt::Key_Tab:
      editColumn_ = editColumn_ == Hex && shown_[Ascii] ? Ascii : (shown_[Hex] ? Hex : Ascii);
      viewport()->update();
      return;
    default: break;
  }
  const QString text = event->text();
  if (text.size() != 1 || bytes_.empty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    return QAbstractScrollArea::keyPressEvent(event);
  }
  const QChar c = text.front();
  if (editColumn_ == Ascii) {
    if (c.unicode() < 0x20 || c.unicode() > 0xFF) return;
    Overwrite(static_cast<std::uint8_t>(c.unicode()));
    SetCaret(std::min(caret_ + 1, last));
    return;
  }
  bool ok = false;
  const int digit = QString(c).toInt(&ok, 16);
  if (!ok) return;
  const std::uint8_t old = bytes_[caret_];
  if (!lowNibble_) {
    Overwrite(static_cast<std::uint8_t>((digit << 4) | (old & 0x0F)));
    lowNibble_ = true;
    viewport()->update();
  } else {
    Overwrite(static_cast<std::uint8_t>((old & 0xF0) | digit));
    SetCaret(std::min(caret_ + 1, last));
  }
}

void HexEditor::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("Select All"), this, &HexEditor::selectAllRequested);
  menu.addAction(QStringLiteral("Copy"), this, &HexEditor::copyRequested);
  menu.addAction(QStringLiteral("Paste"), this, &HexEditor::pasteRequested);
  menu.exec(event->globalPos());
}

}  // namespace qv
