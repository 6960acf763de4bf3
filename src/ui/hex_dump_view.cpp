#include "ui/hex_dump_view.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "decode/hex_dump.h"

namespace qv {

namespace {

QPlainTextEdit* MakePane(QWidget* parent, int minWidthChars) {
  auto* pane = new QPlainTextEdit(parent);
  pane->setReadOnly(true);
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane->setFrameShape(QFrame::NoFrame);
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  pane->setFont(font);
  pane->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QString(minWidthChars, QLatin1Char('0'))) + 12);
  return pane;
}

// Where the byte at `offset` stands in each pane's text.
int HexPosition(std::uint32_t offset) {
  const int line = static_cast<int>(offset / 16);
  const int col = static_cast<int>(offset % 16);
  // 16 bytes of "xx " plus a blank after the 8th and 16th, plus the line break.
  return line * 51 + col * 3 + (col >= 8 ? 1 : 0);
}
int TextPosition(std::uint32_t offset) { return static_cast<int>(offset / 16) * 17 + static_cast<int>(offset % 16); }

}  // namespace

std::array<QColor, 4> HexDumpView::DefaultColours() {
  return {QColor(0, 0, 160), QColor(0, 120, 0), QColor(170, 0, 0), QColor(128, 0, 128)};
}

HexDumpView::HexDumpView(QWidget* parent)
    : QWidget(parent),
      addresses_(MakePane(this, 5)),
      hex_(MakePane(this, 50)),
      text_(MakePane(this, 17)),
      colours_(DefaultColours()) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(addresses_, 0);
  layout->addWidget(hex_, 0);
  layout->addWidget(text_, 1);
  addresses_->setMaximumWidth(addresses_->minimumWidth());
  hex_->setMaximumWidth(hex_->minimumWidth() + 8);
  // The three panes scroll together.
  for (QPlainTextEdit* a : {addresses_, hex_, text_}) {
    for (QPlainTextEdit* b : {addresses_, hex_, text_}) {
      if (a != b) connect(a->verticalScrollBar(), &QScrollBar::valueChanged, b->verticalScrollBar(), &QScrollBar::setValue);
    }
  }
  addresses_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  hex_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void HexDumpView::ShowFrame(std::span<const std::uint8_t> bytes, const std::vector<std::int32_t>& layerStarts) {
  bytes_.assign(bytes.begin(), bytes.end());
  layerStarts_ = layerStarts;
  highlight_ = {0, 0};
  Render();
}

void HexDumpView::Clear() {
  bytes_.clear();
  layerStarts_.clear();
  highlight_ = {0, 0};
  Render();
}

void HexDumpView::SetLayerColours(const std::array<QColor, 4>& colours) {
  const std::array<QColor, 4> defaults = DefaultColours();
  for (std::size_t i = 0; i < 4; ++i) colours_[i] = colours[i].isValid() ? colours[i] : defaults[i];
  Render();
}

int HexDumpView::ColourOfByte(std::uint32_t offset) const { return LayerColour(offset, layerStarts_); }

void HexDumpView::Render() {
  const HexDumpPanes panes = FormatHexDump(bytes_);
  addresses_->setPlainText(QString::fromStdString(panes.addresses));
  hex_->setPlainText(QString::fromStdString(panes.hex));
  // Bytes of 128 and above are shown as "." already; the rest is ASCII.
  text_->setPlainText(QString::fromLatin1(panes.text.data(), static_cast<qsizetype>(panes.text.size())));

  // Colour each layer segment alike in the hex and the text pane.
  for (QPlainTextEdit* pane : {hex_, text_}) {
    const bool isHex = pane == hex_;
    QTextCursor cursor(pane->document());
    std::uint32_t begin = 0;
    while (begin < bytes_.size()) {
      const int colour = ColourOfByte(begin);
      std::uint32_t end = begin + 1;
      while (end < bytes_.size() && ColourOfByte(end) == colour) ++end;
      QTextCharFormat format;
      format.setForeground(colours_[static_cast<std::size_t>(colour - 1)]);
      const int from = isHex ? HexPosition(begin) : TextPosition(begin);
      const int to = isHex ? HexPosition(end - 1) + 2 : TextPosition(end - 1) + 1;
      cursor.setPosition(from);
      cursor.setPosition(to, QTextCursor::KeepAnchor);
      cursor.setCharFormat(format);
      begin = end;
    }
    if (highlight_.second > highlight_.first && highlight_.first < bytes_.size()) {
      const std::uint32_t last = std::min<std::uint32_t>(highlight_.second, static_cast<std::uint32_t>(bytes_.size())) - 1;
      const int from = isHex ? HexPosition(highlight_.first) : TextPosition(highlight_.first);
      const int to = isHex ? HexPosition(last) + 2 : TextPosition(last) + 1;
      QTextCharFormat mark;
      mark.setBackground(pane->palette().highlight());
      mark.setForeground(pane->palette().highlightedText());
      cursor.setPosition(from);
      cursor.setPosition(to, QTextCursor::KeepAnchor);
      cursor.mergeCharFormat(mark);
      pane->setTextCursor(QTextCursor(pane->document()->findBlockByNumber(static_cast<int>(highlight_.first / 16))));
      pane->ensureCursorVisible();
    }
  }
}

void HexDumpView::Highlight(std::uint32_t start, std::uint32_t end) {
  highlight_ = {start, end};
  Render();
}

QString HexDumpView::AddressText() const { return addresses_->toPlainText(); }
QString HexDumpView::HexText() const { return hex_->toPlainText(); }
QString HexDumpView::AsciiText() const { return text_->toPlainText(); }

}  // namespace qv
