#pragma once
// The longest time the interface thread could not answer the user: a 10 ms
// ticker on that thread, and the longest gap between two of its ticks.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

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
