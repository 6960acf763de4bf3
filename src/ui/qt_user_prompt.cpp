#include "ui/qt_user_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "ui/adapter_dialog.h"

namespace qv {

QtUserPrompt::QtUserPrompt(QWidget* parentWindow) : window_(parentWindow) {}

template <typename F>
void QtUserPrompt::OnInterfaceThread(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
  }
}

void QtUserPrompt::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  OnInterfaceThread([&] {
    if (silent_) {
      silenced_.push_back(text);
      return;
    }
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
      case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
      case MessageIcon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
      case MessageIcon::Error:
        qtIcon = QMessageBox::Critical;
        break;
      case MessageIcon::None:
        break;
    }
    QMessageBox box(qtIcon, caption.empty() ? QStringLiteral("Quorvanet") : QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, window_);
    box.exec();
  });
}

bool QtUserPrompt::AskYesNo(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnInterfaceThread([&] {
    if (silent_) {
      silenced_.push_back(text);
      return;
    }
    yes = QMessageBox::question(window_, caption.empty() ? QStringLiteral("Quorvanet") : QString::fromStdString(caption),
                                QString::fromStdString(text)) == QMessageBox::Yes;
  });
  return yes;
}

std::optional<std::size_t> QtUserPrompt::ChooseAdapter(const std::vector<Adapter>& adapters) {
  std::optional<std::size_t> pick;
  OnInterfaceThread([&] {
    if (silent_) return;
    AdapterDialog dialog(adapters, window_);
    if (dialog.exec() == QDialog::Accepted) pick = dialog.ChosenIndex();
  });
  return pick;
}

}  // namespace qv
