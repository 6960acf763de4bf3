#include "ui/drop_pane.h"

namespace qv {

DropPane::DropPane(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("DropPane"));
  setAlignment(Qt::AlignCenter);
  setMinimumWidth(90);
  Show({}, 0, 0);
}

void DropPane::Show(const DropCounts& drops, std::uint64_t bufferInForce, int askedMB) {
  if (painted_ && drops == shown_ && bufferInForce == shownBuffer_ && askedMB == shownAsked_) return;
  painted_ = true;
  shown_ = drops;
  shownBuffer_ = bufferInForce;
  shownAsked_ = askedMB;
  const std::uint64_t total = drops.Total();
  setText(QStringLiteral("Dropped: %1").arg(total));
  // Red as soon as one frame is missing: such a capture is not complete.
  setStyleSheet(total > 0 ? QStringLiteral("QLabel { color: rgb(200,0,0); font-weight: bold; }") : QString());

  QString buffer;
  if (bufferInForce != 0) {
    buffer = QStringLiteral("Kernel buffer in force: %1 MB (asked for %2 MB)")
                 .arg(static_cast<double>(bufferInForce) / 1048576.0, 0, 'f', 2)
                 .arg(askedMB);
  } else {
    buffer = QStringLiteral("Kernel buffer asked for: %1 MB").arg(askedMB);
  }
  QString tip = drops.known || drops.ours != 0
                    ? QStringLiteral("Frames lost since the last Start or Clear All:\n"
                                     "  by the kernel (its buffer was full): %1\n"
                                     "  by the interface or its driver: %2\n"
                                     "  given up by Quorvanet itself: %3\n")
                          .arg(drops.kernel)
                          .arg(drops.interface)
                          .arg(drops.ours)
                    : QStringLiteral("No live capture has reported lost frames since the last Start or Clear All.\n");
  tip += buffer;
  tip += QStringLiteral(
      "\nWhat helps: a bigger kernel buffer (Options, \"Kernel buffer (MB):\"), "
      "or a capture filter that keeps out what you do not need.");
  setToolTip(tip);
}

}  // namespace qv
