#pragma once
// The "Logs" page: whether and where live captures are logged, when old log
// files are deleted, the per-file limits, and "Delete all log files". Every
// change goes into the settings at once; a capture takes them when it starts.

#include <QWidget>

#include <functional>

#include "capture/settings.h"

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qv {

class LogsPage : public QWidget {
  Q_OBJECT
 public:
  LogsPage(Settings& settings, QWidget* parent = nullptr);

  QCheckBox* LoggingBox() const { return logging_; }
  QLineEdit* DirectoryField() const { return directory_; }
  QPushButton* SelectButton() const { return select_; }
  QCheckBox* DeleteBox() const { return deleteOld_; }
  QSpinBox* DaysField() const { return days_; }
  QCheckBox* SizeBox() const { return sizeOn_; }
  QDoubleSpinBox* SizeField() const { return size_; }
  QCheckBox* CountBox() const { return countOn_; }
  QSpinBox* CountField() const { return count_; }
  QPushButton* DeleteAllButton() const { return deleteAll_; }

  // Asks "Are you sure ..."; true for Yes. Tests answer in its place.
  using Question = std::function<bool(const QString& text, const QString& caption)>;
  void SetQuestion(Question ask) { ask_ = std::move(ask); }

  // "Delete all log files": asks, and on Yes emits deleteAllRequested().
  void DeleteAll();

 signals:
  void deleteAllRequested();

 private:
  void ChooseDirectory();
  void UpdateEnabled();

  Settings& settings_;
  QCheckBox* logging_;
  QLineEdit* directory_;
  QPushButton* select_;
  QCheckBox* deleteOld_;
  QSpinBox* days_;
  QCheckBox* sizeOn_;
  QDoubleSpinBox* size_;
  QCheckBox* countOn_;
  QSpinBox* count_;
  QPushButton* deleteAll_;
  Question ask_;
};

}  // namespace qv
