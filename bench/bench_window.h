#pragma once
// What the window benchmarks share: the window shown offscreen with settings
// of its own and silent messages, and a meter of interface stalls.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

#include "ui/main_window.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

struct OffscreenWindow {
  OffscreenWindow() {
    prompt.SetSilent(true);
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
  }
  QTemporaryDir dir;
  qv::QtSettingsStore store{dir.filePath(QStringLiteral("settings.ini"))};
  qv::QtUserPrompt prompt;
  qv::CMainFrame window{store, prompt, dir.path().toStdString() + "/"};
};

// The longest time the interface thread could not answer the user: a 10 ms
// ticker on that thread, and the longest gap between two of its ticks.
class StallMeter {
 public:
  StallMeter() {
    ticker_.setInterval(10);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      longestGapMs_ = std::max(longestGapMs_, sinceTick_.elapsed());
      sinceTick_.restart();
    });
  }
  void Start() {
    longestGapMs_ = 0;
    sinceTick_.start();
    ticker_.start();
  }
  // The longest gap, counting the one still open.
  qint64 Stop() {
    ticker_.stop();
    longestGapMs_ = std::max(longestGapMs_, sinceTick_.elapsed());
    return longestGapMs_;
  }
  qint64 LongestGapMs() const { return longestGapMs_; }

 private:
  QTimer ticker_;
  QElapsedTimer sinceTick_;
  qint64 longestGapMs_ = 0;
};
