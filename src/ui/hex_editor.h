#pragma once
// The Send page's byte editor: a scroll area that paints a byte array in up
// to six column kinds (address, hex, decimal, octal, binary, characters),
// overwrites bytes in place (the length never changes) and selects with the
// mouse and the keyboard. It reports each overwritten byte with its offset;
// the owner of the bytes stores it and hands the array back.

#include <QAbstractScrollArea>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace qv {

class HexEditor : public QAbstractScrollArea {
  Q_OBJECT
 public:
  enum Column { Address, Hex, Decimal, Octal, Binary, Ascii, ColumnCount };

  explicit HexEditor(QWidget* parent = nullptr);

  void SetData(std::span<const std::uint8_t> bytes);
  const std::vector<std::uint8_t>& Data() const { return bytes_; }

  void SetColumnShown(Column column, bool shown);
  bool ColumnShown(Column column) const { return shown_[column]; }

  // First and last selected offsets, both included; none without a selection.
  std::optional<std::pair<std::size_t, std::size_t>> Selection() const;
  void SetSelection(std::size_t first, std::size_t last);
  void ClearSelection();
  std::size_t Caret() const { return caret_; }
  void SetCaret(std::size_t offset, bool extendSelection = false);

  // The text of one painted line (the shown columns side by side).
  QString LineText(int line) const;
  int BytesPerLine() const;

 signals:
  void byteEdited(qulonglong offset, quint8 value);
  void selectAllRequested();
  void copyRequested();
  void pasteRequested();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  static int CellWidth(Column column);
  QString CellText(Column column, std::size_t offset) const;
  // The character position of each shown column's start on a line.
  std::vector<std::pair<Column, int>> Layout() const;
  // The byte under a point of the viewport, with the column it lies in.
  std::optional<std::pair<std::size_t, Column>> HitTest(const QPoint& at) const;
  void Overwrite(std::uint8_t value);
  void UpdateScrollBar();
  void EnsureCaretVisible();
  int LineCount() const;

  std::vector<std::uint8_t> bytes_;
  std::array<bool, ColumnCount> shown_{true, true, false, false, false, true};
  std::size_t caret_ = 0;
  std::optional<std::size_t> anchor_;  // the selection's other end
  bool lowNibble_ = false;             // the next hex digit goes into the low half
  Column editColumn_ = Hex;
};

}  // namespace qv
