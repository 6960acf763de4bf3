#pragma once
// The main window: menus, toolbar, status bar, the tabbed pages, the
// " Packet Info" and "Packet Data" bars, and the commands that drive the
// capture document.

#include <QMainWindow>

#include <memory>
#include <optional>

#include "capture/capture_log.h"
#include "capture/capture_session.h"
#include "capture/host_names.h"
#include "capture/settings.h"
#include "scripts/script_applier.h"
#include "scripts/script_registry.h"
#include "ui/capture_bridge.h"
#include "ui/packet_list_model.h"

class QAction;
class QDockWidget;
class QLabel;
class QProgressBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace qv {

class CFiltersPage;
class DropPane;
class HexDumpView;
class LogsPage;
class VersionBalloon;
class VersionCheck;
class ListFilterBar;
class PacketInfoBar;
class PacketsPage;
class ReadProgressBar;
class StatisticsPage;
class QtUserPrompt;
class SendPage;
class ScriptsPage;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // `backend` replaces the capture library (tests); may be null.
  // `resolver` answers the host-name lookups; null: none are made, every
  // name shows "----" (tests and benchmarks stay off the network).
  CMainFrame(SettingsStore& store, QtUserPrompt& prompt, std::string programFolder,
             CaptureBackend* backend = nullptr, QWidget* parent = nullptr,
             std::shared_ptr<HostResolver> resolver = nullptr);
  ~CMainFrame() override;

  CTalvenorDoc& Doc() { return *doc_; }
  PacketListModel& Model() { return *model_; }
  PacketsPage& Packets() { return *packetsPage_; }
  LogsPage& Logs() { return *logsPage_; }
  CaptureLog& Log() { return *captureLog_; }
  // The balloon of a newer version (null until one was announced) and the
  // check that fetches it (null when the check is off or has no address).
  VersionBalloon* Balloon() const { return balloon_; }
  VersionCheck* Check() const { return versionCheck_.get(); }
  QToolButton* WebSiteButton() const { return webButton_; }
  SendPage& Sender() { return *sendPage_; }
  QProgressBar* SendBar() const { return sendBar_; }
  StatisticsPage& StatisticsView() { return *statisticsPage_; }
  HostNameService& HostNames() { return *hostNames_; }
  ScriptsPage& Scripts() { return *scriptsPage_; }
  ScriptRegistry& ScriptList() { return *scriptRegistry_; }
  CFiltersPage& Filters() { return *filtersPage_; }
  ListFilterBar& ListFilter() { return *listFilterBar_; }
  PacketInfoBar& InfoBar() { return *infoBar_; }
  HexDumpView& DataView() { return *dataView_; }
  QDockWidget* InfoDock() const { return infoDock_; }
  QDockWidget* DataDock() const { return dataDock_; }
  QTabWidget* Tabs() const { return tabs_; }
  const Settings& CurrentSettings() const { return settings_; }
  const RuntimeOptions& Runtime() const { return runtime_; }
  QString CountText() const;
  QString SizeText() const;
  QProgressBar* CountBar() const { return countBar_; }
  QProgressBar* SizeBar() const { return sizeBar_; }
  DropPane* Drops() const { return dropPane_; }
  ReadProgressBar* ReadBar() const { return readBar_; }
  // The action with this menu text (without "&"), or null.
  QAction* Action(const QString& text) const;

  // --- commands ---
  void StartCapture();
  void StopCapture();
  void OpenCaptureFile();                    // asks for the file
  bool OpenCaptureFile(const QString& path);
  void SaveCaptureFile();                    // asks for the file and its type
  // Without options, the name says the format (".pcapng", ".pcap", ".gz").
  bool SaveCaptureFile(const QString& path, std::optional<SaveOptions> options = std::nullopt);
  // Sets or removes (empty) a packet's comment; the shown tree follows.
  bool SetPacketComment(quint32 number, const QString& text);
  void ClearAll();
  void ClearPackets();
  void ClearStatistics();
  void ShowOptions();
  // "Enabled Protocols...": applied at once to the rows and the shown packet, and stored.
  void ShowEnabledProtocols();
  void ApplyOptions(const struct OptionsValues& values);
  void SetDataBarShown(bool shown);
  void SetInfoBarShown(bool shown);
  // The Send page's frame decoded in the bars, which open if closed.
  void ShowComposedFrame();
  // A captured frame onto the Send page, shown there and decoded.
  void ResendPacket(quint32 number);

  // Announces new rows and updates the status bar and the commands (runs
  // on a 100 ms timer).
  void Poll();
  // Saves the layout and the settings; false when the settings could not
  // be written.
  bool SaveState();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildActions();
  void BuildStatusBar();
  void BuildDocks();
  void UpdateCommands();
  void UpdateStatus(bool force = false);
  void OnCaptureStarted(bool readingFile);
  void OnCaptureEnded();
  void OnBufferCleared();
  void OnLimitsChanged(quint32 maxCount, quint32 maxBytes);
  void ApplyColours();
  void ApplyStatisticsOptions();
  void SetBarShown(QDockWidget* bar, QDockWidget* other, bool shown, const char* alone);
  void SaveLayout(const char* section);
  bool RestoreLayout(const char* section);
  void WaitForCaptureThreads();
  void StartVersionCheck();
  void ShowVersionBalloon(const QString& html);

  SettingsStore& store_;
  QtUserPrompt& prompt_;
  std::string programFolder_;
  Settings settings_;
  RuntimeOptions runtime_;
  std::unique_ptr<CaptureLog> captureLog_;  // outlives the document's capture threads
  std::unique_ptr<VersionCheck> versionCheck_;
  // Before the document, which decodes through them.
  std::unique_ptr<ScriptRegistry> scriptRegistry_;
  std::unique_ptr<ScriptApplier> scriptApplier_;
  std::unique_ptr<CTalvenorDoc> doc_;
  std::unique_ptr<CaptureBridge> bridge_;
  std::unique_ptr<PacketListModel> model_;
  std::unique_ptr<HostNameService> hostNames_;

  QTabWidget* tabs_ = nullptr;
  PacketsPage* packetsPage_ = nullptr;
  LogsPage* logsPage_ = nullptr;
  VersionBalloon* balloon_ = nullptr;
  QToolButton* webButton_ = nullptr;
  SendPage* sendPage_ = nullptr;
  StatisticsPage* statisticsPage_ = nullptr;
  ScriptsPage* scriptsPage_ = nullptr;
  CFiltersPage* filtersPage_ = nullptr;
  ListFilterBar* listFilterBar_ = nullptr;
  PacketInfoBar* infoBar_ = nullptr;
  HexDumpView* dataView_ = nullptr;
  QDockWidget* infoDock_ = nullptr;
  QDockWidget* dataDock_ = nullptr;
  QProgressBar* countBar_ = nullptr;
  QProgressBar* sizeBar_ = nullptr;
  QProgressBar* sendBar_ = nullptr;
  QProgressBar* animation_ = nullptr;
  ReadProgressBar* readBar_ = nullptr;
  DropPane* dropPane_ = nullptr;
  QTimer* timer_ = nullptr;
  QString source_;  // the open file's name or the adapter, for the title
  bool closing_ = false;
  std::uint32_t shownCount_ = 0;
  std::uint64_t shownBytes_ = 0;
};

}  // namespace qv
