#pragma once
// The Packet Data bar: the selected frame in three panes (offset, hex,
// text), coloured by protocol layer, with the bytes of the selected decode
// line highlighted.

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class QPlainTextEdit;

namespace qv {

class HexDumpView : public QWidget {
  Q_OBJECT
 public:
  explicit HexDumpView(QWidget* parent = nullptr);

  void ShowFrame(std::span<const std::uint8_t> bytes, const std::vector<std::int32_t>& layerStarts);
  void Clear();
  // Highlights bytes [start, end); an empty range removes the highlight.
  void Highlight(std::uint32_t start, std::uint32_t end);
  void SetLayerColours(const std::array<QColor, 4>& colours);
  const std::array<QColor, 4>& LayerColours() const { return colours_; }

  QString AddressText() const;
  QString HexText() const;
  QString AsciiText() const;
  // Colour number (1..4) the byte at `offset` is drawn in.
  int ColourOfByte(std::uint32_t offset) const;
  std::pair<std::uint32_t, std::uint32_t> HighlightedRange() const { return highlight_; }

  static std::array<QColor, 4> DefaultColours();

 private:
  void Render();

  QPlainTextEdit* addresses_;
  QPlainTextEdit* hex_;
  QPlainTextEdit* text_;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::int32_t> layerStarts_;
  std::array<QColor, 4> colours_;
  std::pair<std::uint32_t, std::uint32_t> highlight_{0, 0};
};

}  // namespace qv
