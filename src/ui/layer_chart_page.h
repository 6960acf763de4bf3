#pragma once
// One layer's protocol counters as a pie, with the legend "name - count".
// It repaints once a second while it is visible, and not at all while hidden.

#include <QChartView>

#include <vector>

#include "stats/layer_chart.h"

class QPieSeries;
class QPieSlice;
class QTimer;

namespace qv {

class LayerChartPage : public QChartView {
  Q_OBJECT
 public:
  static constexpr int kRepaintMs = 1000;

  // `layer` is 1..4.
  LayerChartPage(const LayerCounters& counters, int layer, QWidget* parent = nullptr);

  // Reads the counters and redraws when they changed.
  void Refresh();
  QPieSeries* Series() const { return series_; }
  bool Repainting() const;

 signals:
  // A slice of a named protocol was clicked.
  void protocolClicked(const QString& name);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  const LayerCounters& counters_;
  const int layer_;
  QPieSeries* series_;
  QTimer* timer_;
  std::vector<ChartPoint> shown_;
  bool drawn_ = false;
};

}  // namespace qv
