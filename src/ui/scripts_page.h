#pragma once
// The "Scripts" page: the loaded protocol scripts with a check box each,
// and the buttons that add and remove script files. The list of files
// persists in the settings ("Scripts"/"Count"/"file%d") and is loaded
// silently when the page is created.

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

#include "capture/settings_store.h"
#include "capture/user_prompt.h"
#include "scripts/script_registry.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class ScriptsPage : public QWidget {
  Q_OBJECT
 public:
  enum Column { kProtocolColumn = 0, kFileNameColumn = 1, kFilePathColumn = 2 };

  ScriptsPage(ScriptRegistry& registry, SettingsStore& store, UserPrompt& prompt, QWidget* parent = nullptr);

  QTreeWidget* List() const { return list_; }
  QPushButton* AddButton() const { return add_; }
  QPushButton* DeleteButton() const { return delete_; }
  QPushButton* DeleteAllButton() const { return deleteAll_; }
  // A button's three colour slots: its face, its text, and its face while
  // pressed or under the mouse.
  std::array<QColor, 3> ButtonColours(const QPushButton* button) const;

  // Where "Add" asks for a file; the open-file dialog unless replaced (tests).
  void SetFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }

  // --- the page's actions ---
  void Add();                                                 // asks for the file
  bool Add(const QString& fullPath, const QString& fileName);  // false (with a message) when not added
  void DeleteSelected();
  void DeleteAll();
  // Writes the list of files to the settings store.
  void SavePersisted();

 signals:
  // Any change to what the scripts would show: a script added, removed,
  // enabled or disabled.
  void scriptsChanged();

 private:
  void LoadPersisted();
  void AppendRow(const QString& path, const QString& fileName);
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void PaintButton(QPushButton* button, std::size_t index);

  ScriptRegistry& registry_;
  SettingsStore& store_;
  UserPrompt& prompt_;
  QTreeWidget* list_;
  QPushButton* add_;
  QPushButton* delete_;
  QPushButton* deleteAll_;
  std::array<std::array<QColor, 3>, 3> colours_;
  std::function<QString()> chooseFile_;
};

}  // namespace qv
