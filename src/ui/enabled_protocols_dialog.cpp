#include "ui/enabled_protocols_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

EnabledProtocolsDialog::EnabledProtocolsDialog(EnabledDecoders current, QWidget* parent)
    : QDialog(parent),
      enableAll_(new QPushButton(QStringLiteral("Enable All"), this)),
      disableAll_(new QPushButton(QStringLiteral("Disable All"), this)) {
  setWindowTitle(QStringLiteral("Enabled Protocols"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(QStringLiteral("Decoders beyond the classic set. A decoder switched off leaves its "
                                          "frames to the classic decoders, which show them as before."),
                           this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* group = new QGroupBox(QStringLiteral("Protocols"), this);
  auto* grid = new QGridLayout(group);
  for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
    const OptionalDecoderInfo& info = kOptionalDecoders[i];
    auto* box = new QCheckBox(Q(info.title), group);
    box->setObjectName(Q(info.name));
    box->setChecked(current.IsOn(static_cast<OptionalDecoder>(i)));
    auto* description = new QLabel(Q(info.description), group);
    description->setWordWrap(true);
    const int row = static_cast<int>(i);
    grid->addWidget(box, row, 0);
    grid->addWidget(description, row, 1);
    boxes_.push_back(box);
  }
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);

  auto* all = new QHBoxLayout;
  all->addWidget(enableAll_);
  all->addWidget(disableAll_);
  all->addStretch();
  layout->addLayout(all);
  connect(enableAll_, &QPushButton::clicked, this, [this] { SetAll(true); });
  connect(disableAll_, &QPushButton::clicked, this, [this] { SetAll(false); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

EnabledDecoders EnabledProtocolsDialog::Chosen() const {
  EnabledDecoders chosen;
  for (std::size_t i = 0; i < boxes_.size(); ++i) chosen.Set(static_cast<OptionalDecoder>(i), boxes_[i]->isChecked());
  return chosen;
}

void EnabledProtocolsDialog::SetAll(bool on) {
  for (QCheckBox* box : boxes_) box->setChecked(on);
}

}  // namespace qv
