#pragma once
// The list filter above the packet list: an expression in libpcap's filter
// language (typed, or the Filters page's rules) narrows the list to the
// buffered frames it accepts. A large buffer is matched on a worker thread
// in chunks, with progress and "Cancel"; the list stays usable meanwhile,
// and frames arriving later are tested as they come.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "capture/capture_session.h"
#include "filters/list_filter.h"
#include "ui/packet_list_model.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qv {

class ListFilterBar : public QWidget {
  Q_OBJECT
 public:
  // `rules` gives the expression the Filters page builds.
  ListFilterBar(CTalvenorDoc& doc, PacketListModel& model, std::function<std::string()> rules,
                QWidget* parent = nullptr);
  ~ListFilterBar() override;

  // Filters the list by `expression`; empty shows every frame. False (with
  // the library's reason beside the field) when it does not compile.
  bool SetExpression(const QString& expression);
  void UseRules();
  void Cancel();
  // The buffer was emptied: a running match is void, the filter stays.
  void BufferCleared();
  // Takes a finished match and updates "Shown: X of Y" (the window's timer).
  void Poll();

  bool Running() const { return job_ != nullptr; }
  QLineEdit* Field() const { return field_; }
  QProgressBar* Progress() const { return progress_; }
  QLabel* ShownLabel() const { return shown_; }  // for the status bar
  QString Error() const;

 private:
  void Finish();

  CTalvenorDoc& doc_;
  PacketListModel& model_;
  std::function<std::string()> rules_;
  QLineEdit* field_;
  QLabel* error_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  QLabel* shown_;
  QTimer* timer_;
  std::shared_ptr<CompiledFilter> filter_;
  std::unique_ptr<ListFilterJob> job_;
};

}  // namespace qv
