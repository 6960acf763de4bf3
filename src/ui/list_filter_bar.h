#pragma once
// The list filter above the packet list: a display filter (`dns.qry.name
// contains "example"`) or an expression in libpcap's filter language (typed,
// or the Filters page's rules) narrows the list to the buffered frames it
// accepts. A text that compiles as a display filter is one; any other is
// compiled by libpcap for the frames' link type, and a mark beside the field
// says which language it was read in. A large buffer is matched on a worker
// thread in chunks, with progress and "Cancel"; the list stays usable
// meanwhile, and frames arriving later are tested as they come. The field
// drops down the last filters applied, kept in the settings.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/settings_store.h"
#include "filters/list_filter.h"
#include "ui/packet_list_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qv {

class ListFilterBar : public QWidget {
  Q_OBJECT
 public:
  // `rules` gives the expression the Filters page builds; `store` keeps the history.
  ListFilterBar(CTalvenorDoc& doc, PacketListModel& model, SettingsStore& store, std::function<std::string()> rules,
                QWidget* parent = nullptr);
  ~ListFilterBar() override;

  // Filters the list by `expression`; empty shows every frame. False (with
  // both languages' reasons beside the field) when it does not compile.
  // `captureFilter`: read it in libpcap's language even if it would be a
  // display filter too (the Filters page's rules).
  bool SetExpression(const QString& expression, bool captureFilter = false);
  // Puts `expression` in the field and applies it.
  bool Apply(const QString& expression);
  // Puts `expression` in the field without applying it.
  void Prepare(const QString& expression);
  // The Filters page's expression, read as the capture filter it is.
  void UseRules();
  void Cancel();
  // The buffer was emptied: a running match is void, the filter stays.
  void BufferCleared();
  // Takes a finished match and updates "Shown: X of Y" (the window's timer).
  void Poll();

  bool Running() const { return job_ != nullptr; }
  QLineEdit* Field() const;
  QComboBox* History() const { return field_; }
  QProgressBar* Progress() const { return progress_; }
  QLabel* ShownLabel() const { return shown_; }  // for the status bar
  // "Display filter" or "Capture filter" while a filter applies; hidden otherwise.
  QLabel* LanguageMark() const { return language_; }
  QString Error() const;
  // The filters applied, newest first.
  const std::vector<std::string>& Applied() const { return history_; }

 private:
  // A compiled filter text: a display filter or a capture-filter program.
  struct Choice {
    DisplayFilterPtr display;
    std::shared_ptr<CompiledFilter> program;
    std::shared_ptr<const ListFilter> filter;
    bool Empty() const { return !display && !program; }
  };

  void Finish();
  // Matches frames 0..count-1 against next_ on the worker.
  void StartJob(std::uint32_t count);
  void Remember(const QString& expression);
  void ShowHistory();
  void ShowLanguage(const Choice& choice);
  // The filter as it applies to the buffer now: a display filter's relative
  // times count from the buffer's first frame.
  std::shared_ptr<const ListFilter> MakeFilter(const Choice& choice) const;

  CTalvenorDoc& doc_;
  PacketListModel& model_;
  SettingsStore& store_;
  std::function<std::string()> rules_;
  QComboBox* field_;
  QLabel* language_;
  QLabel* error_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  QLabel* shown_;
  QTimer* timer_;
  QString applied_;
  Choice current_;  // what the list shows
  Choice next_;     // what a running match will show
  bool awaitingFrames_ = false;    // the list's test is made with the first frame
  bool backlogCancelled_ = false;  // Cancel stopped a match of the untested frames
  std::unique_ptr<ListFilterJob> job_;
  std::vector<std::string> history_;
};

}  // namespace qv
