#pragma once
// A 10 ms ticker on the interface thread: the longest gap between its ticks
// is the longest time the window could not answer the user.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class StallMeter {
 public:
  StallMeter() {
    ticker_.setInterval(10);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      longestMs_ = std::max(longestMs_, sinceTick_.elapsed());
      sinceTick_.restart();
    });
  }
  void Start() {
    sinceTick_.start();
    ticker_.start();
  }
  void Stop() { ticker_.stop(); }
  qint64 LongestMs() const { return longestMs_; }

 private:
  QTimer ticker_;
  QElapsedTimer sinceTick_;
  qint64 longestMs_ = 0;
};
