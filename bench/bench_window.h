#pragma once
// What the window benchmarks share: the window shown offscreen with settings
// of its own and silent messages, a meter of interface stalls, and the stop
// of a live capture at SIGINT or after a time limit.

#include <csignal>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>

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

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it
// starts afterwards (call it first in main, before QApplication): they are
// then taken by CaptureStopper's polling, never by a handler that could cut
// into the capture.
inline sigset_t BlockStopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  return stop;
}

// Stops the window's live capture at SIGINT or SIGTERM, or once it has run
// for its time limit, and quits the event loop when the capture thread has
// ended. `beforeStop` runs once, just before the capture is stopped.
class CaptureStopper {
 public:
  CaptureStopper(qv::CMainFrame& window, const sigset_t& stopSignals, int limitSeconds,
                 std::function<void()> beforeStop = {})
      : window_(window), signals_(stopSignals), limitMs_(limitSeconds * 1000LL), beforeStop_(std::move(beforeStop)) {
    watch_.setInterval(20);
    QObject::connect(&watch_, &QTimer::timeout, [this] { Look(); });
  }
  // Starts the clock of the time limit and the polling.
  void Start() {
    running_.start();
    watch_.start();
  }

 private:
  void Look() {
    const timespec now{0, 0};
    if (!stopping_ && (sigtimedwait(&signals_, nullptr, &now) > 0 || running_.elapsed() > limitMs_)) {
      stopping_ = true;
      if (beforeStop_) beforeStop_();
      window_.StopCapture();
    }
    if (stopping_ && window_.Doc().CanStart()) QApplication::quit();
  }

  qv::CMainFrame& window_;
  const sigset_t signals_;
  const qint64 limitMs_;
  std::function<void()> beforeStop_;
  QElapsedTimer running_;
  QTimer watch_;
  bool stopping_ = false;
};
