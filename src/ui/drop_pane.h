#pragma once
// The status bar's "Dropped: N" pane: frames a live capture lost since the
// last Start or Clear All, red once there are any, with a tooltip that says
// where they were lost and what helps.

#include <QLabel>

#include <cstdint>

#include "capture/drop_counts.h"

namespace qv {

class DropPane : public QLabel {
  Q_OBJECT
 public:
  explicit DropPane(QWidget* parent = nullptr);

  // `bufferInForce` is the kernel buffer the last capture got, in bytes (0:
  // unknown); `askedMB` the size asked for.
  void Show(const DropCounts& drops, std::uint64_t bufferInForce, int askedMB);

 private:
  DropCounts shown_;
  std::uint64_t shownBuffer_ = 0;
  int shownAsked_ = 0;
  bool painted_ = false;
};

}  // namespace qv
