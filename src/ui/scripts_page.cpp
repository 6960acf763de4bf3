#include "ui/scripts_page.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qv {

namespace {

const char* const kSection = "Scripts";
const char* const kCaption = "Quorvanet";
// A damaged store may claim any count; no real list comes near this.
constexpr int kMaxPersistedScripts = 4096;

std::string FileKey(int i) { return "file" + std::to_string(i); }

// The part of the path after its last "/"; empty when it has none.
QString FileNameOf(const QString& path) {
  const auto slash = path.lastIndexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : path.mid(slash + 1);
}

}  // namespace

ScriptsPage::ScriptsPage(ScriptRegistry& registry, SettingsStore& store, UserPrompt& prompt, QWidget* parent)
    : QWidget(parent), registry_(registry), store_(store), prompt_(prompt) {
  setObjectName(QStringLiteral("Scripts"));
  list_ = new QTreeWidget(this);
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHeaderLabels({QStringLiteral("Protocol"), QStringLiteral("File name"), QStringLiteral("File path")});
  list_->setColumnWidth(kProtocolColumn, 100);
  list_->setColumnWidth(kFileNameColumn, 200);
  list_->setColumnWidth(kFilePathColumn, 600);

  add_ = new QPushButton(QStringLiteral("Add"), this);
  delete_ = new QPushButton(QStringLiteral("Delete"), this);
  deleteAll_ = new QPushButton(QStringLiteral("Delete all"), this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {add_, delete_, deleteAll_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(add_, &QPushButton::clicked, this, [this] { Add(); });
  connect(delete_, &QPushButton::clicked, this, &ScriptsPage::DeleteSelected);
  connect(deleteAll_, &QPushButton::clicked, this, &ScriptsPage::DeleteAll);
  connect(list_, &QTreeWidget::itemChanged, this, &ScriptsPage::OnItemChanged);

  chooseFile_ = [this] {
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("ssc"));
    dialog.setNameFilter(QStringLiteral("*.ssc (Sniffer Script Files) (*.ssc)"));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                  : QString();
  };

  LoadPersisted();

  PaintButton(add_, 0);
  PaintButton(delete_, 1);
  PaintButton(deleteAll_, 2);
}

void ScriptsPage::PaintButton(QPushButton* button, std::size_t index) {
  auto* random = QRandomGenerator::global();
  auto light = [random](int base) {
    return QColor(base - random->bounded(20), base - random->bounded(20), base - random->bounded(20));
  };
  colours_[index] = {light(255), QColor(40, 160, 40), light(240)};
  const auto& c = colours_[index];
  button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; padding: 4px 14px; }"
                                       "QPushButton:hover, QPushButton:pressed { background-color: %3; }")
                            .arg(c[0].name(), c[1].name(), c[2].name()));
}

std::array<QColor, 3> ScriptsPage::ButtonColours(const QPushButton* button) const {
  if (button == delete_) return colours_[1];
  if (button == deleteAll_) return colours_[2];
  return colours_[0];
}

void ScriptsPage::LoadPersisted() {
  const int count = std::min(store_.GetInt(kSection, "Count").value_or(0), kMaxPersistedScripts);
  for (int i = 0; i < count; ++i) {
    const std::string path = store_.GetString(kSection, FileKey(i)).value_or(std::string());
    try {
      registry_.LoadScript(path);
    } catch (...) {
      continue;  // gone or damaged since the last run: left out without a word
    }
    const QString qpath = QString::fromStdString(path);
    AppendRow(qpath, FileNameOf(qpath));
  }
}

void ScriptsPage::AppendRow(const QString& path, const QString& fileName) {
  // The row is complete before it joins the list, so filling it raises no
  // check-box change.
  auto* item = new QTreeWidgetItem;
  const ProtocolScript* loaded = registry_.FirstScript();
  item->setText(kProtocolColumn, loaded != nullptr ? QString::fromStdString(loaded->ownName) : QString());
  item->setText(kFileNameColumn, fileName);
  item->setText(kFilePathColumn, path);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(kProtocolColumn, Qt::Checked);
  list_->addTopLevelItem(item);
}

void ScriptsPage::Add() {
  const QString path = chooseFile_ ? chooseFile_() : QString();
  if (path.isEmpty()) return;
  Add(path, QFileInfo(path).fileName());
}

bool ScriptsPage::Add(const QString& fullPath, const QString& fileName) {
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    if (list_->topLevelItem(i)->text(kFilePathColumn).compare(fullPath, Qt::CaseInsensitive) == 0) {
      prompt_.ShowMessage("This file is already here!", kCaption, MessageIcon::Warning);
      return false;
    }
  }
  try {
    registry_.LoadScript(fullPath.toStdString());
  } catch (const CScriptExc& e) {
    prompt_.ShowMessage(e.Message(), kCaption, MessageIcon::Warning);
    return false;
  } catch (...) {
    prompt_.ShowMessage("Unknown error", kCaption, MessageIcon::Error);
    return false;
  }
  AppendRow(fullPath, fileName);
  emit scriptsChanged();
  return true;
}

void ScriptsPage::DeleteSelected() {
  const auto selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  QTreeWidgetItem* item = selected.front();
  registry_.RemoveScript(item->text(kFilePathColumn).toStdString());
  delete item;
  emit scriptsChanged();
}

void ScriptsPage::DeleteAll() {
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    registry_.RemoveScript(list_->topLevelItem(i)->text(kFilePathColumn).toStdString());
  }
  list_->clear();
  emit scriptsChanged();
}

void ScriptsPage::OnItemChanged(QTreeWidgetItem* item, int /*column*/) {
  const QString path = item->text(kFilePathColumn);
  if (path.isEmpty()) return;
  registry_.SetScriptEnabled(path.toStdString(), item->checkState(kProtocolColumn) == Qt::Checked);
  emit scriptsChanged();
}

void ScriptsPage::SavePersisted() {
  const int rows = list_->topLevelItemCount();
  store_.SetInt(kSection, "Count", rows);
  for (int i = 0; i < rows; ++i) {
    store_.SetString(kSection, FileKey(i), list_->topLevelItem(i)->text(kFilePathColumn).toStdString());
  }
}

}  // namespace qv
