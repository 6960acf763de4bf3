#pragma once
// Message boxes and the adapter dialog on the interface thread. A call from
// the capture thread waits until the user has answered.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "capture/user_prompt.h"

namespace qv {

class QtUserPrompt : public QObject, public UserPrompt {
  Q_OBJECT
 public:
  explicit QtUserPrompt(QWidget* parentWindow = nullptr);
  void SetParentWindow(QWidget* window) { window_ = window; }

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  std::optional<std::size_t> ChooseAdapter(const std::vector<Adapter>& adapters) override;

  // While set, messages are collected instead of shown (tests, benchmarks).
  void SetSilent(bool silent) { silent_ = silent; }
  const std::vector<std::string>& SilencedMessages() const { return silenced_; }

 private:
  template <typename F>
  void OnInterfaceThread(F&& f);

  QPointer<QWidget> window_;
  bool silent_ = false;
  std::vector<std::string> silenced_;
};

}  // namespace qv
