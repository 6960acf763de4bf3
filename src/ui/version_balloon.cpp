#include "ui/version_balloon.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

namespace qv {

VersionBalloon::VersionBalloon(QWidget* parent)
    : QLabel(parent, Qt::ToolTip | Qt::FramelessWindowHint), timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("VersionBalloon"));
  setTextFormat(Qt::RichText);
  setWordWrap(true);
  setMaximumWidth(420);
  setMargin(8);
  setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; color: black; border: 1px solid #767676; }"));
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &QWidget::hide);
}

void VersionBalloon::ShowAt(QWidget* anchor, const QString& html) {
  setText(html);
  adjustSize();
  QPoint at;
  if (anchor != nullptr) {
    // Above the button, its right edge at the button's centre.
    at = anchor->mapToGlobal(QPoint(anchor->width() / 2, 0)) - QPoint(width(), height());
  } else if (parentWidget() != nullptr) {
    at = parentWidget()->mapToGlobal(QPoint(parentWidget()->width() - width(), parentWidget()->height() - height()));
  }
  if (const QScreen* screen = QGuiApplication::screenAt(at); screen != nullptr) {
    const QRect free = screen->availableGeometry();
    at.setX(std::clamp(at.x(), free.left(), std::max(free.left(), free.right() - width())));
    at.setY(std::clamp(at.y(), free.top(), std::max(free.top(), free.bottom() - height())));
  }
  move(at);
  show();
  raise();
  timer_->start(kShownMs);
}

void VersionBalloon::mousePressEvent(QMouseEvent* event) {
  timer_->stop();
  hide();
  event->accept();
}

}  // namespace qv
