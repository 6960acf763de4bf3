#pragma once
// The "Filters" page: the strip ("Apply", "Load", "Save", the join operator
// pair, "About filters"), a live preview of the expression that Apply would
// set with a mark from compiling it, and the nine rule pages. The page owns
// the rules; the default rule file brings them back at the next start.

#include <QWidget>

#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/user_prompt.h"
#include "filters/filter_rules.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace qv {

class RulePage;

class CFiltersPage : public QWidget {
  Q_OBJECT
 public:
  // Loads the default rule file of `programFolder` over the initial state.
  CFiltersPage(CTalvenorDoc& doc, UserPrompt& prompt, std::string programFolder, QWidget* parent = nullptr);
  // Writes the default rule file back, silently.
  ~CFiltersPage() override;

  const FilterRules& Rules() const { return rules_; }
  // Replaces the whole state and shows it.
  void SetRules(const FilterRules& rules);
  std::string Expression() const { return BuildFilterExpression(rules_, BuildOptions()); }
  // "Match VLAN-tagged frames too": a setting of the program, not of the rules
  // (a rule file builds the same expression wherever it is loaded).
  bool MatchVlan() const;
  void SetMatchVlan(bool on);
  FilterBuildOptions BuildOptions() const { return {MatchVlan()}; }

  // --- commands ---
  bool Apply();
  void FlipOperator();
  void LoadRules();  // asks for the file
  bool LoadRules(const QString& path);
  void SaveRules();  // asks for the file
  bool SaveRules(const QString& path);
  void OpenFilterManual();
  // Ticks the row named `name` (a filter keyword) on "ETH rules" or "IP
  // rules" and brings that page to the front; false when no such row exists.
  bool TickProtocol(const std::string& name);
  // The rule pages' "Zastosuj" buttons follow the capture.
  void SetCapturing(bool capturing);

  // --- views ---
  QTabWidget* RuleTabs() const { return tabs_; }
  RulePage* Page(int tab) const { return pages_.at(static_cast<std::size_t>(tab)); }
  QPushButton* StripButton(const QString& text) const;
  QLineEdit* Preview() const { return preview_; }
  bool PreviewCompiles() const { return previewOk_; }
  QLabel* PreviewMark() const { return mark_; }
  QCheckBox* MatchVlanBox() const { return matchVlan_; }

 signals:
  void rulesChanged();

 private:
  void UpdatePreview();
  void ShowOperator();
  void Tell(const std::string& text, MessageIcon icon = MessageIcon::Warning);

  CTalvenorDoc& doc_;
  UserPrompt& prompt_;
  std::string defaultFile_;
  FilterRules rules_;
  std::vector<RulePage*> pages_;  // in tab order
  std::vector<QPushButton*> strip_;
  QPushButton* and_ = nullptr;
  QPushButton* or_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QLineEdit* preview_ = nullptr;
  QLabel* mark_ = nullptr;
  QCheckBox* matchVlan_ = nullptr;
  bool previewOk_ = true;
};

}  // namespace qv
