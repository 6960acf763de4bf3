#pragma once
// "Capture File Properties": what the last file read said of itself beyond
// its frames (its interfaces, its section comments), the frames it lost by
// its own interface statistics, and the packets held, read only.

#include <QDialog>

#include <cstdint>

#include "capture/capture_session.h"

class QPlainTextEdit;

namespace qv {

// The dialog's text, one fact a line: "File: ...", "Packets: N",
// "Interface 1: eth0 (description), Ethernet", "Comment: ...", "Dropped: ...".
QString CaptureFilePropertiesText(const CTalvenorDoc::FileInfo& info, const DropCounts& drops,
                                  std::uint32_t packetCount);

class FilePropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  FilePropertiesDialog(const QString& text, QWidget* parent = nullptr);

  QPlainTextEdit* View() const { return view_; }

 private:
  QPlainTextEdit* view_;
};

// Shows the properties of the document's last file read.
void ShowCaptureFileProperties(const CTalvenorDoc& doc, QWidget* parent);

}  // namespace qv
