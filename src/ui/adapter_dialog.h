#pragma once
// "Wybierz urządzenie": the user picks the adapter to capture on.

#include <QDialog>

#include <optional>
#include <vector>

#include "capture/adapters.h"

class QTreeWidget;

namespace qv {

class AdapterDialog : public QDialog {
  Q_OBJECT
 public:
  AdapterDialog(const std::vector<Adapter>& adapters, QWidget* parent = nullptr);
  std::optional<std::size_t> ChosenIndex() const { return chosen_; }
  QTreeWidget* List() const { return list_; }

  void accept() override;

 private:
  const std::vector<Adapter>& adapters_;
  QTreeWidget* list_;
  std::optional<std::size_t> chosen_;
};

}  // namespace qv
