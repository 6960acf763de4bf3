#pragma once
// "Sending packet wizard": one page ("Ethernet level") that fills the
// 14-byte Ethernet header of a copy of the Send page's frame. The fields'
// rules live in sender/ethernet_header_form.h.

#include <QWizard>
#include <QWizardPage>

#include "capture/user_prompt.h"
#include "sender/ethernet_header_form.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace qv {

class CEthernetPage : public QWizardPage {
  Q_OBJECT
 public:
  CEthernetPage(Frame& bytes, UserPrompt& prompt, QWidget* parent = nullptr);

  // The fields as they stand, and setting them (tests, and opening the page).
  EthernetHeaderForm Form() const;
  void SetForm(const EthernetHeaderForm& form);
  bool LengthEnabled() const;
  bool TypeEnabled() const;
  QRadioButton* EthernetIIButton() const { return ethernetII_; }
  QRadioButton* Ieee8022Button() const { return ieee8022_; }

  // "Finish": checks the fields and writes the header into the wizard's
  // copy; false (with the field's message shown) keeps the page open.
  bool validatePage() override;

 private:
  void UpdateEnabled();

  Frame& bytes_;
  UserPrompt& prompt_;
  QRadioButton* ethernetII_;
  QRadioButton* ieee8022_;
  QLineEdit* destination_;
  QLineEdit* source_;
  QLineEdit* length_;
  QComboBox* type_;
};

class CSendPackagePS : public QWizard {
  Q_OBJECT
 public:
  // Works on a copy of `frame`, which must hold at least 14 bytes.
  CSendPackagePS(const Frame& frame, UserPrompt& prompt, QWidget* parent = nullptr);
  CEthernetPage& Page() { return *page_; }
  // The edited copy, to be taken when the wizard was finished.
  const Frame& Bytes() const { return bytes_; }

 private:
  Frame bytes_;
  CEthernetPage* page_;
};

// Runs the wizard over `frame`; true when it was finished and `frame` now
// holds the new header. A frame shorter than 14 bytes is refused with its
// message and left alone.
bool RunEthernetWizard(Frame& frame, UserPrompt& prompt, QWidget* parent);

}  // namespace qv
