#pragma once
// A small frameless balloon with HTML text that points at a widget (the
// status bar's web-site button). It closes when clicked or after a while.

#include <QLabel>
#include <QPointer>

class QTimer;

namespace qv {

class VersionBalloon : public QLabel {
  Q_OBJECT
 public:
  static constexpr int kShownMs = 30000;
  explicit VersionBalloon(QWidget* parent = nullptr);

  // Shows `html` just above `anchor` (or at the parent's corner without one).
  void ShowAt(QWidget* anchor, const QString& html);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QTimer* timer_;
};

}  // namespace qv
