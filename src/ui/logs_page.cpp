#include "ui/logs_page.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace qv {

namespace {
constexpr double kMegabyte = 1024.0 * 1024.0;
}

LogsPage::LogsPage(Settings& settings, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      logging_(new QCheckBox(QStringLiteral("Logs*"), this)),
      directory_(new QLineEdit(this)),
      select_(new QPushButton(QStringLiteral("Select"), this)),
      deleteOld_(new QCheckBox(QStringLiteral("Delete files after"), this)),
      days_(new QSpinBox(this)),
      sizeOn_(new QCheckBox(QStringLiteral("Maximum log file size"), this)),
      size_(new QDoubleSpinBox(this)),
      countOn_(new QCheckBox(QStringLiteral("Maximum packet count in log file"), this)),
      count_(new QSpinBox(this)),
      deleteAll_(new QPushButton(QStringLiteral("Delete all log files"), this)) {
  setObjectName(QStringLiteral("Logs"));
  days_->setRange(1, 366);
  size_->setRange(1.0, 100.0);
  size_->setDecimals(2);
  count_->setRange(1, 1000000);

  // The fields show the settings; values outside a field's range (a fresh
  // user's 1-byte size, a damaged file) become the nearest allowed value.
  logging_->setChecked(settings_.loggingOn);
  directory_->setText(QString::fromStdString(settings_.logDirectory));
  deleteOld_->setChecked(settings_.deleteOldLogs);
  days_->setValue(settings_.deleteAfterDays);
  sizeOn_->setChecked(settings_.sizeLimitOn);
  size_->setValue(std::isfinite(settings_.maxLogSize) ? settings_.maxLogSize / kMegabyte : 1.0);
  countOn_->setChecked(settings_.countLimitOn);
  count_->setValue(settings_.maxLogCount);
  settings_.deleteAfterDays = days_->value();
  settings_.maxLogSize = std::floor(size_->value() * kMegabyte);
  settings_.maxLogCount = count_->value();

  auto* grid = new QGridLayout;
  grid->addWidget(logging_, 0, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Save to directory:"), this), 1, 0);
  grid->addWidget(directory_, 1, 1);
  grid->addWidget(select_, 1, 2);
  grid->addWidget(deleteOld_, 2, 0);
  grid->addWidget(days_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("days"), this), 2, 2);
  grid->addWidget(sizeOn_, 3, 0);
  grid->addWidget(size_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("MB"), this), 3, 2);
  grid->addWidget(countOn_, 4, 0);
  grid->addWidget(count_, 4, 1);
  grid->addWidget(deleteAll_, 5, 0);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(new QLabel(QStringLiteral("* - need to Stop&&Start (if currently sniffing) to take effect"), this));
  layout->addStretch(1);

  connect(logging_, &QCheckBox::toggled, this, [this](bool on) { settings_.loggingOn = on; });
  connect(directory_, &QLineEdit::textChanged, this,
          [this](const QString& text) { settings_.logDirectory = text.toStdString(); });
  connect(select_, &QPushButton::clicked, this, &LogsPage::ChooseDirectory);
  connect(deleteOld_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.deleteOldLogs = on;
    UpdateEnabled();
  });
  connect(days_, &QSpinBox::valueChanged, this, [this](int v) { settings_.deleteAfterDays = v; });
  connect(sizeOn_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.sizeLimitOn = on;
    UpdateEnabled();
  });
  connect(size_, &QDoubleSpinBox::valueChanged, this,
          [this](double mb) { settings_.maxLogSize = std::floor(mb * kMegabyte); });
  connect(countOn_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.countLimitOn = on;
    UpdateEnabled();
  });
  connect(count_, &QSpinBox::valueChanged, this, [this](int v) { settings_.maxLogCount = v; });
  connect(deleteAll_, &QPushButton::clicked, this, &LogsPage::DeleteAll);
  UpdateEnabled();

  ask_ = [this](const QString& text, const QString& caption) {
    return QMessageBox::warning(this, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
  };
}

void LogsPage::UpdateEnabled() {
  days_->setEnabled(deleteOld_->isChecked());
  size_->setEnabled(sizeOn_->isChecked());
  count_->setEnabled(countOn_->isChecked());
}

void LogsPage::ChooseDirectory() {
  const QString chosen =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Katalog do zapisu logów"), directory_->text());
  if (!chosen.isEmpty()) directory_->setText(chosen);  // and so into the settings
}

void LogsPage::DeleteAll() {
  if (ask_(QStringLiteral("Are you sure you want to delete all log files?"), QStringLiteral("I don't believe you!"))) {
    emit deleteAllRequested();
  }
}

}  // namespace qv
