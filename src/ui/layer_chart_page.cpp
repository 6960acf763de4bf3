#include "ui/layer_chart_page.h"

#include <QChart>
#include <QLegend>
#include <QPieSeries>
#include <QPieSlice>
#include <QTimer>

namespace qv {

namespace {
bool SamePoints(const std::vector<ChartPoint>& a, const std::vector<ChartPoint>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].value != b[i].value || a[i].label != b[i].label || !(a[i].colour == b[i].colour)) return false;
  }
  return true;
}
}  // namespace

LayerChartPage::LayerChartPage(const LayerCounters& counters, int layer, QWidget* parent)
    // The view owns the chart it is made with (one set later would leave
    // its first, default chart behind).
    : QChartView(new QChart, parent),
      counters_(counters),
      layer_(layer),
      series_(new QPieSeries),
      timer_(new QTimer(this)) {
  setObjectName(QString::fromLatin1(kLayerTitles[static_cast<std::size_t>(layer - 1)]));
  chart()->addSeries(series_);
  chart()->legend()->setAlignment(Qt::AlignRight);
  chart()->setAnimationOptions(QChart::NoAnimation);
  setRenderHint(QPainter::Antialiasing);
  connect(series_, &QPieSeries::clicked, this, [this](QPieSlice* slice) {
    const QString name = slice->property("protocol").toString();
    if (!name.isEmpty()) emit protocolClicked(name);
  });
  timer_->setInterval(kRepaintMs);
  connect(timer_, &QTimer::timeout, this, &LayerChartPage::Refresh);
}

bool LayerChartPage::Repainting() const { return timer_->isActive(); }

void LayerChartPage::showEvent(QShowEvent* event) {
  QChartView::showEvent(event);
  Refresh();
  timer_->start();
}

void LayerChartPage::hideEvent(QHideEvent* event) {
  timer_->stop();
  QChartView::hideEvent(event);
}

void LayerChartPage::Refresh() {
  std::vector<ChartPoint> points = LayerChartPoints(counters_.Snapshot(layer_));
  if (drawn_ && SamePoints(points, shown_)) return;
  drawn_ = true;
  series_->clear();
  for (const ChartPoint& p : points) {
    auto* slice = new QPieSlice(QString::fromStdString(p.label), p.value);
    const QColor colour(p.colour.r, p.colour.g, p.colour.b);
    slice->setColor(colour);
    slice->setBorderColor(colour == Qt::white ? QColor(Qt::white) : colour.darker(120));
    slice->setProperty("protocol", QString::fromStdString(p.protocol));
    series_->append(slice);
  }
  shown_ = std::move(points);
}

}  // namespace qv
