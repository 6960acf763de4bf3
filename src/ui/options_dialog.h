#pragma once
// "Options": buffer limits, the when-full action, statistics rows, host
// names, the version check, the adapter and the four layer colours.

#include <QColor>
#include <QDialog>

#include <array>
#include <string>
#include <vector>

#include "capture/adapters.h"
#include "capture/settings.h"

class QComboBox;
class QLineEdit;
class QCheckBox;
class QPushButton;

namespace qv {

struct OptionsValues {
  std::string currentDevice;
  std::uint32_t bufferMaxBytes = 10000000;
  std::uint32_t bufferMaxCount = 5000;
  int whenFullAction = 1;
  int statisticsRows = 30;
  bool useDns = true;
  bool useTrafficNames = true;
  bool checkForNewVersion = true;
  int kernelBufferMB = 32;
  std::array<QColor, 4> colours;
};

// The running options the dialog shows, and back: only the dialog's fields
// are written, the rest of `runtime` stays as it was.
void CopyRuntimeOptions(const RuntimeOptions& runtime, OptionsValues& values);
void TakeRuntimeOptions(const OptionsValues& values, RuntimeOptions& runtime);

class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  OptionsDialog(const std::vector<Adapter>& adapters, const OptionsValues& values, QWidget* parent = nullptr);

  const OptionsValues& Values() const { return values_; }
  // The range message of a refused field, empty when every field is valid.
  QString Validate();
  void accept() override;

  // For tests: the editable fields.
  QLineEdit* BufferSizeEdit() const { return bufferSize_; }
  QLineEdit* PacketCountEdit() const { return packetCount_; }
  QLineEdit* StatisticsRowsEdit() const { return statisticsRows_; }
  QComboBox* WhenFullList() const { return whenFull_; }
  QComboBox* AdapterList() const { return adapter_; }
  QLineEdit* KernelBufferEdit() const { return kernelBuffer_; }
  QCheckBox* TrafficNamesBox() const { return trafficNames_; }

 private:
  OptionsValues values_;
  QComboBox* adapter_;
  QLineEdit* bufferSize_;
  QLineEdit* packetCount_;
  QComboBox* whenFull_;
  QLineEdit* statisticsRows_;
  QLineEdit* kernelBuffer_;
  QCheckBox* useDns_;
  QCheckBox* trafficNames_;
  QCheckBox* checkVersion_;
  std::array<QPushButton*, 4> colourButtons_{};
};

}  // namespace qv
