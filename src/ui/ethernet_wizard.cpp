#include "ui/ethernet_wizard.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {

CEthernetPage::CEthernetPage(Frame& bytes, UserPrompt& prompt, QWidget* parent)
    : QWizardPage(parent), bytes_(bytes), prompt_(prompt) {
  setTitle(QStringLiteral("Ethernet level"));
  setSubTitle(QStringLiteral("destination MAC + source MAC + type/size = 14 bytes"));
  setWindowTitle(QStringLiteral("Data Link Layer"));

  auto* protocolBox = new QGroupBox(QStringLiteral("Link Layer Protocol"), this);
  ethernetII_ = new QRadioButton(QStringLiteral("Ethernet II"), protocolBox);
  ieee8022_ = new QRadioButton(QStringLiteral("IEEE 802.2"), protocolBox);
  auto* group = new QButtonGroup(this);
  group->addButton(ethernetII_, 0);
  group->addButton(ieee8022_, 1);
  auto* protocolLayout = new QHBoxLayout(protocolBox);
  protocolLayout->addWidget(ethernetII_);
  protocolLayout->addWidget(ieee8022_);

  auto* fieldsBox = new QGroupBox(QStringLiteral("Data Link Layer"), this);
  auto* form = new QFormLayout(fieldsBox);
  destination_ = new QLineEdit(fieldsBox);
  source_ = new QLineEdit(fieldsBox);
  length_ = new QLineEdit(fieldsBox);
  type_ = new QComboBox(fieldsBox);
  for (const EtherTypeEntry& e : kEtherTypes) type_->addItem(QString::fromLatin1(e.label));
  form->addRow(QStringLiteral("Destination MAC"), destination_);
  form->addRow(QStringLiteral("Source MAC"), source_);
  form->addRow(QStringLiteral("Length"), length_);
  form->addRow(QStringLiteral("Type"), type_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(protocolBox);
  layout->addWidget(fieldsBox);
  connect(group, &QButtonGroup::idToggled, this, [this](int, bool) { UpdateEnabled(); });

  if (const auto opening = FormFromFrame(bytes_)) SetForm(*opening);
}

EthernetHeaderForm CEthernetPage::Form() const {
  EthernetHeaderForm f;
  f.protocol = ieee8022_->isChecked() ? LinkLayerProtocol::Ieee8022 : LinkLayerProtocol::EthernetII;
  f.destination = destination_->text().toStdString();
  f.source = source_->text().toStdString();
  f.length = length_->text().toStdString();
  f.typeIndex = static_cast<std::size_t>(std::max(0, type_->currentIndex()));
  return f;
}

void CEthernetPage::SetForm(const EthernetHeaderForm& f) {
  (f.protocol == LinkLayerProtocol::Ieee8022 ? ieee8022_ : ethernetII_)->setChecked(true);
  destination_->setText(QString::fromStdString(f.destination));
  source_->setText(QString::fromStdString(f.source));
  length_->setText(QString::fromStdString(f.length));
  type_->setCurrentIndex(static_cast<int>(f.typeIndex));
  UpdateEnabled();
}

bool CEthernetPage::LengthEnabled() const { return length_->isEnabled(); }
bool CEthernetPage::TypeEnabled() const { return type_->isEnabled(); }

void CEthernetPage::UpdateEnabled() {
  const bool ieee = ieee8022_->isChecked();
  length_->setEnabled(ieee);
  type_->setEnabled(!ieee);
}

bool CEthernetPage::validatePage() {
  if (const std::optional<FormError> error = ApplyForm(Form(), bytes_)) {
    prompt_.ShowMessage(error->text, error->caption, MessageIcon::Error);
    return false;
  }
  return true;
}

CSendPackagePS::CSendPackagePS(const Frame& frame, UserPrompt& prompt, QWidget* parent)
    : QWizard(parent), bytes_(frame), page_(new CEthernetPage(bytes_, prompt, this)) {
  setWindowTitle(QStringLiteral("Sending packet wizard"));
  setWizardStyle(QWizard::ModernStyle);
  setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoBackButtonOnLastPage);
  addPage(page_);
}

bool RunEthernetWizard(Frame& frame, UserPrompt& prompt, QWidget* parent) {
  if (frame.size() < kEthernetHeaderLength) {
    prompt.ShowMessage(kFrameTooSmallMessage, "Quorvanet", MessageIcon::Warning);
    return false;
  }
  CSendPackagePS wizard(frame, prompt, parent);
  if (wizard.exec() != QDialog::Accepted) return false;
  // Only the header changed; the frame keeps its length.
  std::copy_n(wizard.Bytes().begin(), kEthernetHeaderLength, frame.begin());
  return true;
}

}  // namespace qv
