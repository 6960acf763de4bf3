#pragma once
// "Enabled Protocols": one check box per decoder beyond the classic set,
// with its title and what it reads, "Enable All", "Disable All", OK and
// Cancel. A decoder switched off leaves its frames to the classic decoders,
// so every box cleared gives the classic decoding back.

#include <QDialog>

#include <vector>

#include "decode/enabled_decoders.h"

class QCheckBox;
class QPushButton;

namespace qv {

class EnabledProtocolsDialog : public QDialog {
  Q_OBJECT
 public:
  // The boxes show `current`.
  explicit EnabledProtocolsDialog(EnabledDecoders current, QWidget* parent = nullptr);

  // What the boxes say now.
  EnabledDecoders Chosen() const;
  void SetAll(bool on);

  QCheckBox* Box(OptionalDecoder decoder) const { return boxes_.at(static_cast<std::size_t>(decoder)); }
  QPushButton* EnableAllButton() const { return enableAll_; }
  QPushButton* DisableAllButton() const { return disableAll_; }

 private:
  std::vector<QCheckBox*> boxes_;  // in the order of kOptionalDecoders
  QPushButton* enableAll_;
  QPushButton* disableAll_;
};

}  // namespace qv
