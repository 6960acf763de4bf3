#pragma once
// The main window's status bar panes, left to right: the capture's moving
// bar, the read progress of a file, the list filter's shown count, the
// dropped frames, the buffer's count and size gauges, the sender's progress
// and the web-site button.

class QProgressBar;
class QStatusBar;
class QToolButton;
class QWidget;

namespace qv {

class DropPane;
class ReadProgressBar;

struct StatusPanes {
  QProgressBar* animation = nullptr;
  ReadProgressBar* reading = nullptr;
  QProgressBar* count = nullptr;
  QProgressBar* size = nullptr;
  DropPane* drops = nullptr;
  QProgressBar* send = nullptr;
  QToolButton* webSite = nullptr;
};

// Adds the panes to `bar`, with `shownLabel` (the list filter's) among them;
// the web-site button opens `webSite`. The message pane starts with "Ready",
// or once with the word that root is not needed when the program runs as root.
StatusPanes BuildStatusPanes(QStatusBar& bar, QWidget* shownLabel, const char* webSite);

}  // namespace qv
