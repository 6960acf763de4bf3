#pragma once
// "Packet Comment...": the comment of one packet, written or changed in a
// multi-line box; an emptied box removes it. Saving keeps it (in pcapng).

#include <QDialog>

#include <cstdint>

class QPlainTextEdit;

namespace qv {

class CTalvenorDoc;
class UserPrompt;

class PacketCommentDialog : public QDialog {
  Q_OBJECT
 public:
  PacketCommentDialog(std::uint32_t number, const QString& comment, QWidget* parent = nullptr);

  QString Text() const;
  QPlainTextEdit* Editor() const { return editor_; }

 private:
  QPlainTextEdit* editor_;
};

// Sets (or with an empty text removes) the packet's comment and decodes the
// shown packet again, so its tree's "Comment:" line follows; false when the
// packet is no longer held.
bool ApplyPacketComment(CTalvenorDoc& doc, std::uint32_t number, const QString& text);

// Asks for the packet's comment, its current one filled in, and applies it;
// `prompt` tells when it could not be kept.
void EditPacketComment(CTalvenorDoc& doc, UserPrompt& prompt, std::uint32_t number, QWidget* parent);

}  // namespace qv
