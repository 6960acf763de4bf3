#pragma once
// The nine rule pages of the Filters page. Each edits its part of a
// FilterRules owned by the Filters page, says when it changed it, and keeps
// its controls enabled as its state allows. Every page but "Advanced rules"
// has its own "Zastosuj" button, enabled while capturing after a change.

#include <QWidget>

#include <functional>

#include "filters/filter_rules.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace qv {

class RulePage : public QWidget {
  Q_OBJECT
 public:
  RulePage(FilterRules& rules, QWidget* parent);
  // Shows the rules again (after a load).
  virtual void Reload() = 0;
  // "Zastosuj": null on the advanced page.
  QPushButton* ApplyButton() const { return apply_; }
  // Re-evaluates "Zastosuj": enabled while capturing after a change here.
  void SetCapturing(bool capturing);
  void MarkChanged();

 signals:
  void changed();
  void applyRequested();

 protected:
  // Adds "Zastosuj" under the page's group.
  void AddApplyButton();

  FilterRules& rules_;
  QPushButton* apply_ = nullptr;
  bool capturing_ = false;
  bool dirty_ = false;
};

class ProtocolRulesPage : public RulePage {
  Q_OBJECT
 public:
  ProtocolRulesPage(FilterRules& rules, ProtocolPage page, const QString& title, QWidget* parent);
  void Reload() override;
  QGroupBox* Group() const { return group_; }
  QListWidget* List() const { return list_; }
  QRadioButton* CaptureRadio() const { return capture_; }
  QRadioButton* IgnoreRadio() const { return ignore_; }

 private:
  ProtocolPage page_;
  QGroupBox* group_;
  QListWidget* list_;
  QRadioButton* capture_;
  QRadioButton* ignore_;
};

// "MAC addr", "IP addr", "Ports".
class AddressRulesPage : public RulePage {
  Q_OBJECT
 public:
  enum class Kind { Mac, Ip, Port };
  // Shows a message (the page's refusals).
  using Tell = std::function<void(const std::string&)>;
  AddressRulesPage(FilterRules& rules, Kind kind, Tell tell, QWidget* parent);
  void Reload() override;

  QGroupBox* Group() const { return group_; }
  QTreeWidget* List() const { return list_; }
  // The value input: one box, or the four fields of the IP address box.
  QLineEdit* Input(int field = 0) const { return inputs_.at(field); }
  QRadioButton* Direction(std::string_view word) const;
  QPushButton* AddButton() const { return add_; }
  QPushButton* DeleteButton() const { return delete_; }
  QPushButton* DeleteAllButton() const { return deleteAll_; }

  void Add();
  void DeleteSelected();
  void DeleteAll();

 private:
  AddressRules& Page();
  void UpdateEnabling();
  std::string DirectionWord() const;

  Kind kind_;
  Tell tell_;
  QGroupBox* group_;
  QTreeWidget* list_;
  std::vector<QLineEdit*> inputs_;
  std::vector<QRadioButton*> directions_;  // destination, source, both
  QPushButton* add_;
  QPushButton* delete_;
  QPushButton* deleteAll_;
};

class SizeRulesPage : public RulePage {
  Q_OBJECT
 public:
  SizeRulesPage(FilterRules& rules, QWidget* parent);
  void Reload() override;
  QGroupBox* Group() const { return group_; }
  QComboBox* Relation() const { return relation_; }
  QLineEdit* Number() const { return number_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QGroupBox* group_;
  QComboBox* relation_;
  QLineEdit* number_;
};

class AdvancedRulesPage : public RulePage {
  Q_OBJECT
 public:
  // Checks a rule with the capture library (the Filters page's seam).
  using CheckRule = std::function<bool(const std::string&)>;
  AdvancedRulesPage(FilterRules& rules, CheckRule check, std::function<void()> correct, QWidget* parent);
  void Reload() override;

  QGroupBox* Group() const { return group_; }
  QListWidget* List() const { return list_; }
  QLineEdit* Input() const { return input_; }
  QRadioButton* AndRadio() const { return and_; }
  QRadioButton* OrRadio() const { return or_; }
  QPushButton* Button(const QString& text) const;

  void Add();
  void Check();
  void LoadSelected();
  void DeleteSelected();
  void DeleteAll();

 private:
  void UpdateEnabling();

  CheckRule check_;
  std::function<void()> correct_;
  QGroupBox* group_;
  QListWidget* list_;
  QLineEdit* input_;
  QRadioButton* and_;
  QRadioButton* or_;
  std::vector<QPushButton*> buttons_;  // Add, Delete, Delete All, Load, Check
};

}  // namespace qv
