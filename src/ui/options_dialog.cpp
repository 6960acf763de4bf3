#include "ui/options_dialog.h"

#include <QBrush>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "capture/adapter_overview.h"
#include "capture/settings.h"

namespace qv {

namespace {

void PaintButton(QPushButton* button, const QColor& colour) {
  button->setStyleSheet(colour.isValid() ? QStringLiteral("background-color: %1").arg(colour.name()) : QString());
}

// An integer in [low, high], or the range message.
std::optional<long long> ReadInteger(const QLineEdit* edit, long long low, long long high, QString& message) {
  bool ok = false;
  const long long v = edit->text().trimmed().toLongLong(&ok);
  if (!ok || v < low || v > high) {
    message = QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
    return std::nullopt;
  }
  return v;
}

}  // namespace

OptionsDialog::OptionsDialog(const std::vector<Adapter>& adapters, const OptionsValues& values, QWidget* parent)
    : QDialog(parent),
      values_(values),
      adapter_(new QComboBox(this)),
      bufferSize_(new QLineEdit(QString::number(values.bufferMaxBytes), this)),
      packetCount_(new QLineEdit(QString::number(values.bufferMaxCount), this)),
      whenFull_(new QComboBox(this)),
      statisticsRows_(new QLineEdit(QString::number(values.statisticsRows), this)),
      kernelBuffer_(new QLineEdit(QString::number(values.kernelBufferMB), this)),
      useDns_(new QCheckBox(QStringLiteral("Use DNS solving"), this)),
      trafficNames_(new QCheckBox(QStringLiteral("Use names from the traffic"), this)),
      checkVersion_(new QCheckBox(QStringLiteral("Automaticly check for new version at startup"), this)) {
  setWindowTitle(QStringLiteral("Options"));
  // The adapters as the adapter dialog lists them; the item's data is the name.
  for (const std::size_t i : AdapterDisplayOrder(adapters)) {
    const Adapter& a = adapters[i];
    const QString name = QString::fromStdString(a.name);
    const std::string details = AdapterDetails(a);
    adapter_->addItem(details.empty() ? name : name + QStringLiteral(" \u2014 ") + QString::fromStdString(details), name);
    if (!NonNetworkReason(a).empty()) {
      adapter_->setItemData(adapter_->count() - 1, QBrush(Qt::gray), Qt::ForegroundRole);
    }
  }
  adapter_->setCurrentIndex(adapter_->findData(QString::fromStdString(values.currentDevice)));
  whenFull_->addItems({QStringLiteral("stop sniffing"), QStringLiteral("remove packets  & go on"),
                       QStringLiteral("remove packets & statistics & go on")});
  // An unknown action shows (and keeps) the default: with nothing selected,
  // OK would store -1 and turn every when-full action off.
  whenFull_->setCurrentIndex(values.whenFullAction >= 0 && values.whenFullAction <= 2 ? values.whenFullAction : 1);
  useDns_->setChecked(values.useDns);
  trafficNames_->setChecked(values.useTrafficNames);
  trafficNames_->setToolTip(QStringLiteral(
      "Name the statistics' hosts by what the traffic says: DNS, mDNS and LLMNR answers, TLS and QUIC server names, "
      "HTTP Host lines. No lookup is made; reverse DNS still names the rest."));
  checkVersion_->setChecked(values.checkForNewVersion);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Adapter"), adapter_);
  form->addRow(QStringLiteral("Buffer size"), bufferSize_);
  form->addRow(QStringLiteral("Max packet count in buffer"), packetCount_);
  form->addRow(QStringLiteral("When buffer is full"), whenFull_);
  form->addRow(QStringLiteral("Max statistics records"), statisticsRows_);
  kernelBuffer_->setToolTip(QStringLiteral(
      "Room in the kernel for frames the capture has not read yet. A bigger buffer rides out longer bursts."));
  form->addRow(QStringLiteral("Kernel buffer (MB):"), kernelBuffer_);
  form->addRow(useDns_);
  form->addRow(trafficNames_);
  form->addRow(checkVersion_);

  auto* colours = new QGroupBox(QStringLiteral("Packet Data && Packet Info Colors"), this);
  auto* grid = new QGridLayout(colours);
  for (int i = 0; i < 4; ++i) {
    QPushButton* b = new QPushButton(QStringLiteral("Color %1").arg(i + 1), colours);
    colourButtons_[static_cast<std::size_t>(i)] = b;
    PaintButton(b, values_.colours[static_cast<std::size_t>(i)]);
    connect(b, &QPushButton::clicked, this, [this, i, b] {
      const QColor picked = QColorDialog::getColor(values_.colours[static_cast<std::size_t>(i)], this);
      if (picked.isValid()) {
        values_.colours[static_cast<std::size_t>(i)] = picked;
        PaintButton(b, picked);
      }
    });
    grid->addWidget(b, i / 2, i % 2);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(colours);
  layout->addWidget(buttons);
}

QString OptionsDialog::Validate() {
  QString message;
  const auto bytes = ReadInteger(bufferSize_, 0, 100000000, message);
  if (!bytes) {
    bufferSize_->setFocus();
    return message;
  }
  const auto count = ReadInteger(packetCount_, 10, 10000000, message);
  if (!count) {
    packetCount_->setFocus();
    return message;
  }
  const auto rows = ReadInteger(statisticsRows_, 1, 1000, message);
  if (!rows) {
    statisticsRows_->setFocus();
    return message;
  }
  const auto kernel = ReadInteger(kernelBuffer_, kKernelBufferMinMB, kKernelBufferMaxMB, message);
  if (!kernel) {
    kernelBuffer_->setFocus();
    return message;
  }
  values_.kernelBufferMB = static_cast<int>(*kernel);
  values_.bufferMaxBytes = static_cast<std::uint32_t>(*bytes);
  values_.bufferMaxCount = static_cast<std::uint32_t>(*count);
  values_.statisticsRows = static_cast<int>(*rows);
  values_.currentDevice = adapter_->currentData().toString().toStdString();
  values_.whenFullAction = whenFull_->currentIndex();
  values_.useDns = useDns_->isChecked();
  values_.useTrafficNames = trafficNames_->isChecked();
  values_.checkForNewVersion = checkVersion_->isChecked();
  return {};
}

void OptionsDialog::accept() {
  const QString message = Validate();
  if (!message.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Quorvanet"), message);
    return;  // the dialog stays open
  }
  QDialog::accept();
}

void CopyRuntimeOptions(const RuntimeOptions& runtime, OptionsValues& values) {
  values.bufferMaxBytes = runtime.bufferMaxBytes;
  values.bufferMaxCount = runtime.bufferMaxCount;
  values.whenFullAction = runtime.whenFullAction;
  values.statisticsRows = runtime.statisticsRows;
  values.useDns = runtime.useDns;
  values.useTrafficNames = runtime.useTrafficNames;
  values.checkForNewVersion = runtime.checkForNewVersion;
  values.kernelBufferMB = runtime.kernelBufferMB;
}

void TakeRuntimeOptions(const OptionsValues& values, RuntimeOptions& runtime) {
  runtime.bufferMaxBytes = values.bufferMaxBytes;
  runtime.bufferMaxCount = values.bufferMaxCount;
  runtime.whenFullAction = values.whenFullAction;
  runtime.statisticsRows = values.statisticsRows;
  runtime.useDns = values.useDns;
  runtime.useTrafficNames = values.useTrafficNames;
  runtime.checkForNewVersion = values.checkForNewVersion;
  runtime.kernelBufferMB = values.kernelBufferMB;
}

}  // namespace qv
