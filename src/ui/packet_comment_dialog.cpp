#include "ui/packet_comment_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "capture/capture_session.h"
#include "capture/user_prompt.h"

namespace qv {

PacketCommentDialog::PacketCommentDialog(std::uint32_t number, const QString& comment, QWidget* parent)
    : QDialog(parent), editor_(new QPlainTextEdit(this)) {
  setWindowTitle(QStringLiteral("Packet Comment"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Comment of packet %1 (empty: none):").arg(number), this));
  editor_->setPlainText(comment);
  editor_->setTabChangesFocus(true);
  layout->addWidget(editor_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(420, 220);
}

QString PacketCommentDialog::Text() const { return editor_->toPlainText(); }

bool ApplyPacketComment(CTalvenorDoc& doc, std::uint32_t number, const QString& text) {
  // Only blanks is no comment either.
  const QString comment = text.trimmed().isEmpty() ? QString() : text;
  if (!doc.SetPacketComment(number, comment.toStdString())) return false;
  doc.ReshowPacket();
  return true;
}

void EditPacketComment(CTalvenorDoc& doc, UserPrompt& prompt, std::uint32_t number, QWidget* parent) {
  const std::optional<PacketRecord> record = doc.Buffer().Find(number);
  if (!record) return;
  PacketCommentDialog dialog(number, QString::fromStdString(record->comment), parent);
  if (dialog.exec() != QDialog::Accepted) return;
  // The packet may have left the buffer meanwhile, or the memory budget
  // may have no room for the text.
  if (!ApplyPacketComment(doc, number, dialog.Text())) {
    prompt.ShowMessage("The comment could not be kept: the packet has left the buffer or its memory is full.",
                       "Quorvanet", MessageIcon::Warning);
  }
}

}  // namespace qv
