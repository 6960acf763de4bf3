#include "ui/file_properties_dialog.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "decode/link_types.h"

namespace qv {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QString CaptureFilePropertiesText(const CTalvenorDoc::FileInfo& info, const DropCounts& drops,
                                  std::uint32_t packetCount) {
  QStringList lines;
  lines << (info.path.empty() ? QStringLiteral("File: none read") : QStringLiteral("File: %1").arg(Q(info.path)));
  lines << QStringLiteral("Packets: %1").arg(packetCount);
  int n = 0;
  for (const PacketBuffer::Interface& i : info.interfaces) {
    QString line = QStringLiteral("Interface %1: %2").arg(++n).arg(i.name.empty() ? QStringLiteral("(no name)")
                                                                                   : Q(i.name));
    if (!i.description.empty()) line += QStringLiteral(" (%1)").arg(Q(i.description));
    line += QStringLiteral(", %1 (link type %2)").arg(Q(LinkTypeDescription(i.linkType))).arg(i.linkType);
    lines << line;
  }
  for (const std::string& comment : info.sectionComments) lines << QStringLiteral("Comment: %1").arg(Q(comment));
  if (drops.known || drops.ours != 0) {
    lines << QStringLiteral("Dropped: %1 (by the kernel %2, by the interface %3, given up by Quorvanet %4)")
                 .arg(drops.Total())
                 .arg(drops.kernel)
                 .arg(drops.interface)
                 .arg(drops.ours);
  } else {
    lines << QStringLiteral("Dropped: unknown");
  }
  return lines.join(QLatin1Char('\n'));
}

FilePropertiesDialog::FilePropertiesDialog(const QString& text, QWidget* parent)
    : QDialog(parent), view_(new QPlainTextEdit(this)) {
  setWindowTitle(QStringLiteral("Capture File Properties"));
  auto* layout = new QVBoxLayout(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setPlainText(text);
  layout->addWidget(view_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(520, 300);
}

void ShowCaptureFileProperties(const CTalvenorDoc& doc, QWidget* parent) {
  FilePropertiesDialog dialog(CaptureFilePropertiesText(doc.LastFileInfo(), doc.Drops(), doc.PacketCount()), parent);
  dialog.exec();
}

}  // namespace qv
