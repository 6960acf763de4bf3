#include "ui/status_panes.h"

#include <QDesktopServices>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include "capture/capture_rights.h"
#include "ui/drop_pane.h"
#include "ui/read_progress_bar.h"

namespace qv {

StatusPanes BuildStatusPanes(QStatusBar& bar, QWidget* shownLabel, const char* webSite) {
  StatusPanes panes;
  // Root gains nothing: only the capture helper holds a right, and the group's members run it.
  const std::string root = RootNotNeededNotice();
  bar.showMessage(root.empty() ? QStringLiteral("Ready") : QString::fromStdString(root));
  const QString gauge = QStringLiteral(
      "QProgressBar { background: rgb(220,220,220); border: 1px solid gray; text-align: center; }"
      "QProgressBar::chunk { background: rgb(%1); }");
  auto makeBar = [&](int width, const QString& chunk) {
    auto* b = new QProgressBar(&bar);
    b->setMinimumWidth(width);
    b->setMaximumWidth(width + 40);
    b->setMaximumHeight(18);
    b->setTextVisible(true);
    b->setStyleSheet(gauge.arg(chunk));
    return b;
  };
  QProgressBar* animation = panes.animation = new QProgressBar(&bar);
  animation->setRange(0, 1);
  animation->setValue(0);
  animation->setTextVisible(false);
  animation->setMaximumSize(60, 14);
  animation->setToolTip(QStringLiteral("Capturing"));
  animation->hide();
  bar.addPermanentWidget(animation);
  panes.reading = new ReadProgressBar(&bar);
  panes.reading->setStyleSheet(gauge.arg(QStringLiteral("0,128,0")));
  bar.addPermanentWidget(panes.reading);
  bar.addPermanentWidget(shownLabel);
  panes.count = makeBar(100, QStringLiteral("0,128,128"));
  panes.count->setFormat(QStringLiteral("Count: 0"));
  panes.count->setValue(0);  // a bar that never had a value draws no text
  panes.size = makeBar(100, QStringLiteral("0,128,128"));
  panes.size->setFormat(QStringLiteral("Size: 0 KB"));
  panes.size->setValue(0);
  panes.drops = new DropPane(&bar);
  bar.addPermanentWidget(panes.drops);
  panes.send = makeBar(200, QStringLiteral("255,0,0"));
  panes.send->setFormat(QString());
  panes.send->setValue(0);
  bar.addPermanentWidget(panes.count);
  bar.addPermanentWidget(panes.size);
  bar.addPermanentWidget(panes.send);
  auto* link = panes.webSite = new QToolButton(&bar);
  link->setAutoRaise(true);
  link->setIcon(bar.style()->standardIcon(QStyle::SP_DriveNetIcon));
  link->setFixedSize(22, 22);
  link->setToolTip(QStringLiteral("Quorvanet web site"));
  const QUrl address(QString::fromLatin1(webSite));
  QObject::connect(link, &QToolButton::clicked, &bar, [address] { QDesktopServices::openUrl(address); });
  bar.addPermanentWidget(link);
  return panes;
}

}  // namespace qv
