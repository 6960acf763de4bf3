#include "ui/adapter_dialog.h"

#include <QBrush>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "capture/adapter_overview.h"

namespace qv {

AdapterDialog::AdapterDialog(const std::vector<Adapter>& adapters, QWidget* parent)
    : QDialog(parent), adapters_(adapters), list_(new QTreeWidget(this)) {
  setWindowTitle(QStringLiteral("Wybierz urządzenie"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Select adapter which I may use to sniff"), this));
  list_->setColumnCount(3);
  list_->setHeaderLabels({QStringLiteral("Nazwa"), QStringLiteral("Opis"), QStringLiteral("RESZTA")});
  list_->setColumnWidth(0, 100);
  list_->setColumnWidth(1, 300);
  list_->setColumnWidth(2, 300);
  list_->setRootIsDecorated(false);
  list_->setAllColumnsShowFocus(true);
  // Network adapters first; those that carry no network frames follow in
  // grey, with the reason in the third column.
  const std::optional<std::size_t> preselected = PreselectedAdapter(adapters);
  for (const std::size_t i : AdapterDisplayOrder(adapters)) {
    const Adapter& a = adapters[i];
    auto* item = new QTreeWidgetItem(
        {QString::fromStdString(a.name), QString::fromStdString(a.description), QString::fromStdString(AdapterDetails(a))});
    if (!NonNetworkReason(a).empty()) {
      for (int c = 0; c < 3; ++c) item->setForeground(c, QBrush(Qt::gray));
    }
    list_->addTopLevelItem(item);
    if (preselected == i) {
      list_->setCurrentItem(item);
      item->setSelected(true);
    }
  }
  layout->addWidget(list_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AdapterDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AdapterDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &AdapterDialog::accept);
  layout->addWidget(buttons);
  resize(720, 320);
}

void AdapterDialog::accept() {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr || !item->isSelected()) {
    QMessageBox::warning(this, QStringLiteral("Quorvanet"), QStringLiteral("Zaznacz urządzenie które ma snifować!"));
    return;
  }
  const std::string name = item->text(0).toStdString();
  for (std::size_t i = 0; i < adapters_.size(); ++i) {
    if (adapters_[i].name == name) {
      chosen_ = i;
      QDialog::accept();
      return;
    }
  }
  QMessageBox::critical(this, QStringLiteral("Błąd"),
                        QStringLiteral("Wystąpił nieoczekiwany błąd podczas wybierania urządzenia!"));
  reject();
}

}  // namespace qv
