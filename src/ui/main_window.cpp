#include "ui/main_window.h"

#include <QAction>
#include <QBoxLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "capture/frame_file.h"
#include "capture/version_check.h"
#include "ui/colour_setting.h"
#include "ui/drop_pane.h"
#include "ui/file_properties_dialog.h"
#include "ui/packet_comment_dialog.h"
#include "ui/read_progress_bar.h"
#include "ui/save_dialog.h"
#include "ui/status_panes.h"
#include "ui/enabled_protocols_dialog.h"
#include "ui/logs_page.h"
#include "ui/filter_commands.h"
#include "ui/filters_page.h"
#include "ui/hex_dump_view.h"
#include "ui/list_filter_bar.h"
#include "ui/options_dialog.h"
#include "ui/statistics_page.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/qt_user_prompt.h"
#include "ui/send_page.h"
#include "sender/frame_composer.h"
#include "ui/scripts_page.h"
#include "ui/status_texts.h"
#include "ui/version_balloon.h"

namespace qv {

namespace {

constexpr int kPollMs = 100;
const char* const kWebSite = "https://www.brenmoor.com/quorvanet/";
const char* const kHelpFile = "quorvanet-help.html";
const QString kOpenFilters = QStringLiteral("log (*.log);;Capture files (*.pcap *.pcapng *.cap *.log);;All files (*)");

QString PlainText(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

CMainFrame::CMainFrame(SettingsStore& store, QtUserPrompt& prompt, std::string programFolder,
                       CaptureBackend* backend, QWidget* parent, std::shared_ptr<HostResolver> resolver)
    : QMainWindow(parent), store_(store), prompt_(prompt), programFolder_(std::move(programFolder)) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(QStringLiteral("Quorvanet"));
  setAcceptDrops(true);
  prompt_.SetParentWindow(this);

  settings_ = LoadSettings(store_, programFolder_);
  runtime_ = ResolveRuntimeOptions(settings_);
  // Log messages come from the capture and writer threads, which go on
  // without waiting for the user.
  captureLog_ = std::make_unique<CaptureLog>([this](const std::string& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { prompt_.ShowMessage(text, "Quorvanet", MessageIcon::Error); }, Qt::QueuedConnection);
  });
  doc_ = backend != nullptr ? std::make_unique<CTalvenorDoc>(prompt_, store_, *backend)
                            : std::make_unique<CTalvenorDoc>(prompt_, store_);
  bridge_ = std::make_unique<CaptureBridge>(*doc_);
  doc_->SetObserver(bridge_.get());
  doc_->SetLogSink(captureLog_.get());
  scriptRegistry_ = std::make_unique<ScriptRegistry>();
  scriptApplier_ = std::make_unique<ScriptApplier>(*scriptRegistry_);
  doc_->SetScriptHost(scriptApplier_.get());
  doc_->SetWhenFullAction(runtime_.whenFullAction);
  doc_->SetKernelBufferMB(runtime_.kernelBufferMB);
  doc_->SetMemoryBudget(static_cast<std::uint64_t>(runtime_.memoryBudgetMB) << 20);
  doc_->SetEnabledDecoders(runtime_.decoders);  // before anything is decoded
  model_ = std::make_unique<PacketListModel>(*doc_);

  tabs_ = new QTabWidget(this);
  packetsPage_ = new PacketsPage(*model_, tabs_);
  tabs_->addTab(packetsPage_, QStringLiteral("Packets"));
  // The pages in their tab order.
  statisticsPage_ = new StatisticsPage(doc_->Statistics(), prompt_, tabs_);
  tabs_->addTab(statisticsPage_, QStringLiteral("Statistics"));
  filtersPage_ = new CFiltersPage(*doc_, prompt_, programFolder_, tabs_);
  tabs_->addTab(filtersPage_, QStringLiteral("Filters"));
  filtersPage_->SetMatchVlan(runtime_.filterMatchVlan);
  logsPage_ = new LogsPage(settings_, tabs_);
  tabs_->addTab(logsPage_, QStringLiteral("Logs"));
  sendPage_ = new SendPage(*doc_, prompt_, nullptr, tabs_);
  sendPage_->setObjectName(QStringLiteral("Send"));
  tabs_->addTab(sendPage_, QStringLiteral("Send"));
  scriptsPage_ = new ScriptsPage(*scriptRegistry_, store_, prompt_, tabs_);
  tabs_->addTab(scriptsPage_, QStringLiteral("Scripts"));
  // A changed script shows at once in the selected packet's tree.
  connect(scriptsPage_, &ScriptsPage::scriptsChanged, this, [this] { doc_->ReshowPacket(); });
  // Old log files go when the page comes, at start-up; "Delete all log
  // files" goes the same way, off the interface thread.
  captureLog_->DeleteFiles(settings_.logDirectory, LogDeletion::Expired,
                           settings_.deleteOldLogs ? settings_.deleteAfterDays : -1);
  connect(logsPage_, &LogsPage::deleteAllRequested, this,
          [this] { captureLog_->DeleteFiles(settings_.logDirectory, LogDeletion::All, 0); });
  setCentralWidget(tabs_);
  hostNames_ = std::make_unique<HostNameService>(
      doc_->Statistics().conversations, resolver ? std::move(resolver) : std::make_shared<NoLookupResolver>());
  doc_->Statistics().conversations.SetNameRequester(hostNames_.get());
  hostNames_->Start();
  ApplyStatisticsOptions();
  listFilterBar_ =
      new ListFilterBar(*doc_, *model_, store_, [this] { return filtersPage_->Expression(); }, packetsPage_);
  static_cast<QBoxLayout*>(packetsPage_->layout())->insertWidget(0, listFilterBar_);

  BuildDocks();
  BuildActions();
  BuildStatusBar();
  sendPage_->SetProgressPane(sendBar_);
  new FilterCommands(store_, {tabs_, packetsPage_, infoBar_, statisticsPage_, filtersPage_, listFilterBar_}, this);

  connect(bridge_.get(), &CaptureBridge::captureStarted, this, &CMainFrame::OnCaptureStarted);
  connect(bridge_.get(), &CaptureBridge::captureEnded, this, &CMainFrame::OnCaptureEnded);
  connect(bridge_.get(), &CaptureBridge::bufferCleared, this, &CMainFrame::OnBufferCleared);
  connect(bridge_.get(), &CaptureBridge::statisticsCleared, this, &CMainFrame::UpdateCommands);
  connect(bridge_.get(), &CaptureBridge::statisticsCleared, statisticsPage_, &StatisticsPage::Refresh);
  connect(statisticsPage_, &StatisticsPage::clearRequested, this, &CMainFrame::ClearStatistics);
  connect(statisticsPage_, &StatisticsPage::clearCacheRequested, this, [this] { hostNames_->ClearCache(); });
  connect(bridge_.get(), &CaptureBridge::limitsChanged, this, &CMainFrame::OnLimitsChanged);
  connect(bridge_.get(), &CaptureBridge::captureNotice, this, [this](const QString& text) {
    statusBar()->showMessage(text);
  });
  connect(bridge_.get(), &CaptureBridge::packetShown, this,
          [this](qint64, std::span<const std::uint8_t> bytes, const DecodeTree& tree,
                 const std::vector<std::int32_t>& layerStarts) {
            infoBar_->ShowTree(tree, layerStarts, bytes);
            dataView_->ShowFrame(bytes, layerStarts);
          });
  connect(packetsPage_, &PacketsPage::packetSelected, this, [this](quint32 number) { doc_->ShowPacket(number); });
  connect(packetsPage_, &PacketsPage::clearRequested, this, &CMainFrame::ClearPackets);
  connect(packetsPage_, &PacketsPage::saveRequested, this, [this] { SaveCaptureFile(); });
  connect(packetsPage_, &PacketsPage::resendRequested, this, &CMainFrame::ResendPacket);
  connect(packetsPage_, &PacketsPage::commentRequested, this,
          [this](quint32 number) { EditPacketComment(*doc_, prompt_, number, this); });
  connect(sendPage_, &SendPage::translateRequested, this, &CMainFrame::ShowComposedFrame);
  connect(infoBar_, &PacketInfoBar::rangeSelected, this,
          [this](quint32 start, quint32 end) { dataView_->Highlight(start, end); });

  doc_->SetLimits(runtime_.bufferMaxBytes, runtime_.bufferMaxCount);
  ApplyColours();
  RestoreLayout("BarState");
  resize(1100, 760);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &CMainFrame::Poll);
  timer_->start(kPollMs);
  UpdateCommands();
  StartVersionCheck();
}

CMainFrame::~CMainFrame() {
  if (sendPage_ != nullptr) sendPage_->Shutdown();
  // A list filter match reads the buffer, which goes before the bar does.
  if (listFilterBar_ != nullptr) listFilterBar_->Cancel();
  if (doc_) {
    doc_->Stop();
    WaitForCaptureThreads();
    doc_->Statistics().conversations.SetNameRequester(nullptr);
  }
  if (hostNames_) hostNames_->Stop();
}

QAction* CMainFrame::Action(const QString& text) const {
  for (QAction* a : findChildren<QAction*>()) {
    if (PlainText(a->text()) == text) return a;
  }
  return nullptr;
}

void CMainFrame::BuildDocks() {
  infoBar_ = new PacketInfoBar(this);
  infoDock_ = new QDockWidget(QStringLiteral(" Packet Info"), this);
  infoDock_->setObjectName(QStringLiteral("PacketInfoBar"));
  infoDock_->setWidget(infoBar_);
  addDockWidget(Qt::RightDockWidgetArea, infoDock_);

  dataView_ = new HexDumpView(this);
  dataDock_ = new QDockWidget(QStringLiteral("Packet Data"), this);
  dataDock_->setObjectName(QStringLiteral("PacketDataBar"));
  dataDock_->setWidget(dataView_);
  addDockWidget(Qt::BottomDockWidgetArea, dataDock_);
  resizeDocks({infoDock_}, {380}, Qt::Horizontal);
  resizeDocks({dataDock_}, {220}, Qt::Vertical);
}

void CMainFrame::BuildActions() {
  QStyle* s = style();
  auto make = [&](const QString& text, auto slot, QStyle::StandardPixmap icon = QStyle::SP_CustomBase) {
    auto* a = new QAction(text, this);
    if (icon != QStyle::SP_CustomBase) a->setIcon(s->standardIcon(icon));
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  QAction* start = make(QStringLiteral("&Start"), [this] { StartCapture(); }, QStyle::SP_MediaPlay);
  start->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  QAction* stop = make(QStringLiteral("S&top"), [this] { StopCapture(); }, QStyle::SP_MediaStop);
  QAction* open = make(QStringLiteral("&Open"), [this] { OpenCaptureFile(); }, QStyle::SP_DialogOpenButton);
  QAction* save = make(QStringLiteral("S&ave"), [this] { SaveCaptureFile(); }, QStyle::SP_DialogSaveButton);
  QAction* properties = make(QStringLiteral("Capture File Properties..."),
                             [this] { ShowCaptureFileProperties(*doc_, this); });
  QAction* exit = make(QStringLiteral("E&xit"), [this] { close(); });
  QAction* clearAll = make(QStringLiteral("Clear All"), [this] { ClearAll(); }, QStyle::SP_TrashIcon);
  QAction* clearPackets = make(QStringLiteral("Clear Packets"), [this] { ClearPackets(); });
  QAction* clearStatistics = make(QStringLiteral("Clear Statistics"), [this] { ClearStatistics(); });
  QAction* options = make(QStringLiteral("Options"), [this] { ShowOptions(); }, QStyle::SP_FileDialogDetailedView);
  QAction* statusBarShown = make(QStringLiteral("Statusbar"), [this](bool on) { statusBar()->setVisible(on); });
  statusBarShown->setCheckable(true);
  statusBarShown->setChecked(true);
  QAction* dataShown = make(QStringLiteral("Packet Data"), [this](bool on) { SetDataBarShown(on); },
                            QStyle::SP_FileDialogContentsView);
  QAction* infoShown = make(QStringLiteral("Packet Info"), [this](bool on) { SetInfoBarShown(on); },
                            QStyle::SP_FileDialogListView);
  for (QAction* a : {dataShown, infoShown}) a->setCheckable(true);
  QAction* protocols = make(QStringLiteral("Enabled Protocols..."), [this] { ShowEnabledProtocols(); });
  QAction* about = make(QStringLiteral("&About Quorvanet..."), [this] {
    QMessageBox::about(this, QStringLiteral("About Quorvanet"),
                       QStringLiteral("<b>Quorvanet</b> %1<br>An interactive network sniffer.<br>"
                                      "Brenmoor Software")
                           .arg(QStringLiteral(QUORVANET_VERSION)));
  });
  QAction* web = make(QStringLiteral("Quorvanet Web Site"),
                      [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebSite))); });
  QAction* help = make(QStringLiteral("Help"), [this] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(programFolder_) + QString::fromLatin1(kHelpFile)));
  }, QStyle::SP_DialogHelpButton);

  QMenu* sniff = menuBar()->addMenu(QStringLiteral("&Sniff"));
  sniff->addActions({start, stop, open, save, properties});
  sniff->addSeparator();
  sniff->addAction(exit);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addActions({clearAll, clearPackets, clearStatistics});
  edit->addSeparator();
  edit->addAction(options);
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addActions({statusBarShown, dataShown, infoShown});
  view->addSeparator();
  view->addAction(protocols);
  QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  helpMenu->addActions({about, web, help});

  QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
  bar->setObjectName(QStringLiteral("Toolbar"));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setMovable(true);
  auto labelled = [&](QAction* a, const QString& label) {
    bar->addAction(a);
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a))) button->setText(label);
  };
  labelled(start, QStringLiteral("Start"));
  labelled(stop, QStringLiteral("Stop"));
  bar->addSeparator();
  labelled(open, QStringLiteral("Open"));
  labelled(save, QStringLiteral("Save"));
  bar->addSeparator();
  labelled(clearAll, QStringLiteral("Clear All"));
  bar->addSeparator();
  labelled(options, QStringLiteral("Options"));
  bar->addSeparator();
  labelled(help, QStringLiteral("Help"));
  bar->addSeparator();
  labelled(infoShown, QStringLiteral("Packet Info"));
  labelled(dataShown, QStringLiteral("Packet Data"));

  // The check marks follow the bars, however they were closed.
  for (auto [dock, action] : {std::pair{dataDock_, dataShown}, std::pair{infoDock_, infoShown}}) {
    connect(dock, &QDockWidget::visibilityChanged, action, [dock, action] { action->setChecked(!dock->isHidden()); });
  }
  dataShown->setChecked(true);
  infoShown->setChecked(true);
}

void CMainFrame::BuildStatusBar() {
  const StatusPanes panes = BuildStatusPanes(*statusBar(), listFilterBar_->ShownLabel(), kWebSite);
  animation_ = panes.animation;
  readBar_ = panes.reading;
  countBar_ = panes.count;
  sizeBar_ = panes.size;
  dropPane_ = panes.drops;
  sendBar_ = panes.send;
  webButton_ = panes.webSite;
}

// What the panes draw (empty when a bar has no value to draw).
QString CMainFrame::CountText() const { return countBar_->text(); }
QString CMainFrame::SizeText() const { return sizeBar_->text(); }

// --- polling ------------------------------------------------------------------

void CMainFrame::Poll() {
  model_->Refresh();
  listFilterBar_->Poll();
  UpdateStatus();
  readBar_->Update(bridge_->TakeFileProgress(), doc_->IsReadingFile());
  dropPane_->Show(doc_->Drops(), doc_->KernelBufferInForce(), doc_->KernelBufferMB());
  UpdateCommands();
}

void CMainFrame::UpdateStatus(bool force) {
  const std::uint32_t count = doc_->PacketCount();
  const std::uint64_t bytes = doc_->BufferedBytes();
  // Until the totals first change, the panes keep their opening texts.
  if (!force && count == shownCount_ && bytes == shownBytes_) return;
  shownCount_ = count;
  shownBytes_ = bytes;
  countBar_->setFormat(QString::fromStdString(CountStatusText(count)));
  countBar_->setValue(static_cast<int>(std::min<std::uint64_t>(count, static_cast<std::uint64_t>(countBar_->maximum()))));
  // An empty buffer reads as at the start.
  sizeBar_->setFormat(count == 0 && bytes == 0 ? QStringLiteral("Size: 0 KB")
                                               : QString::fromStdString(SizeStatusText(bytes)));
  // A limit of 0 bytes has no scale: the bar stays empty.
  const std::uint64_t sizeLimit = doc_->Limits().maxBytes;
  sizeBar_->setValue(sizeLimit == 0 ? 0
                                    : static_cast<int>(std::min<std::uint64_t>(
                                          bytes, static_cast<std::uint64_t>(sizeBar_->maximum()))));
}

void CMainFrame::UpdateCommands() {
  const bool capturing = doc_->IsCapturing();
  const bool busy = doc_->IsReadingFile() || !doc_->CanStart();
  const bool havePackets = model_->rowCount() > 0 || doc_->PacketCount() > 0;
  const bool haveStatistics = doc_->Statistics().conversations.Samples() > 0;
  auto enable = [this](const char* text, bool on) {
    if (QAction* a = Action(QString::fromLatin1(text))) a->setEnabled(on);
  };
  enable("Start", !capturing && !busy);
  enable("Stop", capturing || busy);
  enable("Open", !capturing && !busy);
  enable("Save", !capturing && !busy && havePackets);
  packetsPage_->SetSaveEnabled(!capturing && !busy && havePackets);
  enable("Clear All", havePackets || haveStatistics);
  enable("Clear Packets", havePackets);
  enable("Clear Statistics", haveStatistics);
  filtersPage_->SetCapturing(capturing);
}

void CMainFrame::OnCaptureStarted(bool readingFile) {
  animation_->setRange(0, 0);  // a moving bar while frames come in
  animation_->show();
  statusBar()->showMessage(readingFile ? QStringLiteral("Reading %1").arg(source_)
                                       : QStringLiteral("Capturing on %1").arg(source_));
  UpdateCommands();
}

void CMainFrame::OnCaptureEnded() {
  if (bridge_->RunningCaptures() == 0) {
    animation_->setRange(0, 1);
    animation_->setValue(0);
    animation_->hide();
    statusBar()->showMessage(QStringLiteral("Ready"));
  }
  Poll();
}

void CMainFrame::OnBufferCleared() {
  model_->Reset();
  listFilterBar_->BufferCleared();
  infoBar_->Clear();
  dataView_->Clear();
  UpdateStatus(true);
  UpdateCommands();
}

void CMainFrame::OnLimitsChanged(quint32 maxCount, quint32 maxBytes) {
  countBar_->setRange(0, static_cast<int>(std::min<quint32>(maxCount, 0x7FFFFFFF)));
  // A range of 0..0 would make a busy bar that moves for ever.
  sizeBar_->setRange(0, static_cast<int>(std::clamp<quint32>(maxBytes, 1, 0x7FFFFFFF)));
  UpdateStatus(true);
}

// --- commands -----------------------------------------------------------------

void CMainFrame::StartCapture() {
  if (!doc_->CanStart()) return;
  doc_->SetLimits(runtime_.bufferMaxBytes, runtime_.bufferMaxCount);
  captureLog_->SetOptions(TakeLogOptions(settings_));
  // The rules as they stand now; the capture thread sets them once it opened the adapter.
  doc_->SetFilterText(filtersPage_->Expression());
  // The title names the adapter once the capture runs.
  const bool started = doc_->Start();
  if (started) {
    if (const auto adapter = doc_->ChosenAdapter()) source_ = QString::fromStdString(adapter->name);
    setWindowTitle(QStringLiteral("Quorvanet - %1").arg(source_));
    statusBar()->showMessage(QStringLiteral("Capturing on %1").arg(source_));
  }
  UpdateCommands();
}

void CMainFrame::StopCapture() {
  doc_->Stop();
  UpdateCommands();
}

void CMainFrame::OpenCaptureFile() {
  if (!doc_->CanOpen()) return;
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"),
                                                    QString::fromStdString(settings_.logDirectory), kOpenFilters);
  if (!path.isEmpty()) OpenCaptureFile(path);
}

bool CMainFrame::OpenCaptureFile(const QString& path) {
  if (!doc_->CanOpen()) return false;
  captureLog_->SetOptions(TakeLogOptions(settings_));
  source_ = QFileInfo(path).fileName();
  setWindowTitle(QStringLiteral("Quorvanet - %1").arg(source_));
  const bool opened = doc_->Open(path.toStdString());
  UpdateCommands();
  return opened;
}

void CMainFrame::SaveCaptureFile() {
  if (doc_->IsCapturing() || doc_->IsReadingFile()) return;
  const SaveFileType preselected = DefaultSaveFileType(doc_->Buffer().LinkTypes().size(), doc_->Buffer().HasComments());
  const auto choice = AskSaveChoice(this, QString::fromStdString(settings_.logDirectory), preselected);
  if (!choice) return;
  SaveRequest request = SaveRequestFor(*choice);
  // The dialog asked about the name before ".gz" was added to it.
  if (request.path != choice->path.toStdString() && QFileInfo::exists(QString::fromStdString(request.path)) &&
      !prompt_.AskYesNo(request.path + " already exists.\nDo you want to replace it?", "Save")) {
    return;
  }
  SaveCaptureFile(QString::fromStdString(request.path), std::move(request.options));
}

bool CMainFrame::SaveCaptureFile(const QString& path, std::optional<SaveOptions> options) {
  const bool saved = options ? doc_->Save(path.toStdString(), std::move(*options)) : doc_->Save(path.toStdString());
  if (saved) statusBar()->showMessage(QStringLiteral("Saved %1").arg(QFileInfo(path).fileName()), 5000);
  return saved;
}

void CMainFrame::ClearAll() {
  doc_->ClearAll();
  UpdateCommands();
}

void CMainFrame::ClearPackets() {
  doc_->ClearPackets();
  UpdateCommands();
}

void CMainFrame::ClearStatistics() {
  doc_->ClearStatistics();
  UpdateCommands();
}

void CMainFrame::ShowOptions() {
  OptionsValues values;
  values.currentDevice = store_.GetString("pcap", "CurrentDevice").value_or(settings_.currentDevice);
  CopyRuntimeOptions(runtime_, values);
  for (std::size_t i = 0; i < 4; ++i) values.colours[i] = ColourFromSetting(settings_.colours[i]);
  OptionsDialog dialog(doc_->AdaptersQuietly(), values, this);
  if (dialog.exec() == QDialog::Accepted) ApplyOptions(dialog.Values());
}

void CMainFrame::ApplyOptions(const OptionsValues& values) {
  TakeRuntimeOptions(values, runtime_);
  doc_->SetLimits(values.bufferMaxBytes, values.bufferMaxCount);
  settings_.currentDevice = values.currentDevice;
  store_.SetString("pcap", "CurrentDevice", values.currentDevice);
  doc_->SetWhenFullAction(values.whenFullAction);
  doc_->SetKernelBufferMB(values.kernelBufferMB);
  for (std::size_t i = 0; i < 4; ++i) settings_.colours[i] = SettingFromColour(values.colours[i]);
  ApplyColours();
  ApplyStatisticsOptions();
}

void CMainFrame::ShowEnabledProtocols() {
  EnabledProtocolsDialog dialog(doc_->Decoders(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // At once: the rows and the shown packet are decoded again, and the choice
  // is kept even if the program does not end normally.
  doc_->SetEnabledDecoders(dialog.Chosen());
  SaveEnabledDecoders(store_, dialog.Chosen());
  store_.Flush();
  model_->RowsChanged();
  doc_->ReshowPacket();
}

void CMainFrame::ApplyStatisticsOptions() {
  doc_->Statistics().conversations.SetRowLimit(runtime_.statisticsRows);
  doc_->Statistics().conversations.SetUseDns(runtime_.useDns);
  doc_->Statistics().conversations.SetUseTrafficNames(runtime_.useTrafficNames);
}

void CMainFrame::ApplyColours() {
  std::array<QColor, 4> colours;
  for (std::size_t i = 0; i < 4; ++i) colours[i] = ColourFromSetting(settings_.colours[i]);
  dataView_->SetLayerColours(colours);
  infoBar_->Model().SetLayerColours(dataView_->LayerColours());
}

// --- docking bars ---------------------------------------------------------------

void CMainFrame::SaveLayout(const char* section) {
  store_.SetString(section, "State", saveState().toBase64().toStdString());
}

bool CMainFrame::RestoreLayout(const char* section) {
  const std::optional<std::string> saved = store_.GetString(section, "State");
  if (!saved || saved->empty()) return false;
  // restoreState refuses a layout that does not fit this window.
  return restoreState(QByteArray::fromBase64(QByteArray::fromStdString(*saved)));
}

void CMainFrame::SetDataBarShown(bool shown) { SetBarShown(dataDock_, infoDock_, shown, "BarStateForHex"); }
void CMainFrame::SetInfoBarShown(bool shown) { SetBarShown(infoDock_, dataDock_, shown, "BarStateForTree"); }

// The layout is kept per set of bars shown: both, or `bar` alone (`alone`).
void CMainFrame::SetBarShown(QDockWidget* bar, QDockWidget* other, bool shown, const char* alone) {
  if (bar->isHidden() != shown) return;
  const char* section = other->isHidden() ? alone : "BarStateForBoth";
  if (shown) {
    RestoreLayout(section);
    bar->show();
  } else {
    SaveLayout(section);
    bar->hide();
  }
}

// --- the Send page's frame in the bars -----------------------------------------

void CMainFrame::ShowComposedFrame() {
  SetDataBarShown(true);
  SetInfoBarShown(true);
  // Decoded as Ethernet, whatever link type the list's rows are read with.
  doc_->ShowRawPacket(sendPage_->FrameBytes(), kLinkTypeEthernet);
}

void CMainFrame::ResendPacket(quint32 number) {
  const std::optional<PacketRecord> record = doc_->Buffer().Find(number);
  if (!record) return;
  if (record->unreadable) {
    // An empty frame on the Send page would pass for the packet.
    prompt_.ShowMessage(record->file ? FileChangedMessage(record->file->Path()) : "The packet could not be read.",
                        "Quorvanet", MessageIcon::Warning);
    return;
  }
  sendPage_->SetFrame(FrameForResend(record->bytes));
  tabs_->setCurrentWidget(sendPage_);
  ShowComposedFrame();
}

bool CMainFrame::SetPacketComment(quint32 number, const QString& text) {
  return ApplyPacketComment(*doc_, number, text);
}

// --- files dropped on the window ------------------------------------------------

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && doc_->CanOpen()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      OpenCaptureFile(url.toLocalFile());
      event->acceptProposedAction();
      return;
    }
  }
}

// --- shutdown -------------------------------------------------------------------

void CMainFrame::WaitForCaptureThreads() {
  // The capture thread may be waiting for this thread (a message box, a
  // clear handshake), so events are served while it winds down.
  QElapsedTimer waited;
  waited.start();
  while (bridge_ && bridge_->RunningCaptures() > 0 && waited.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  doc_->WaitForCapture();
}

// --- the new-version check -----------------------------------------------------

void CMainFrame::StartVersionCheck() {
  // Without an address there is nothing to ask, and nothing to report.
  if (!runtime_.checkForNewVersion || settings_.versionUrl.empty()) return;
  versionCheck_ = std::make_unique<VersionCheck>();
  connect(versionCheck_.get(), &VersionCheck::newVersion, this, &CMainFrame::ShowVersionBalloon);
  connect(versionCheck_.get(), &VersionCheck::failed, this,
          [this](const QString& text) { prompt_.ShowMessage(text.toStdString(), "Quorvanet", MessageIcon::Warning); });
  versionCheck_->Start(QString::fromStdString(settings_.versionUrl));
}

void CMainFrame::ShowVersionBalloon(const QString& html) {
  if (balloon_ == nullptr) balloon_ = new VersionBalloon(this);
  balloon_->ShowAt(webButton_, html);
}

bool CMainFrame::SaveState() {
  SaveLayout("BarState");
  runtime_.decoders = doc_->Decoders();
  runtime_.filterMatchVlan = filtersPage_->MatchVlan();
  StoreRuntimeOptions(settings_, runtime_);
  // Start may have stored the chosen adapter since the settings were loaded.
  settings_.currentDevice = store_.GetString("pcap", "CurrentDevice").value_or(settings_.currentDevice);
  const bool saved = SaveSettings(store_, settings_);
  scriptsPage_->SavePersisted();
  return store_.Flush() && saved;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    sendPage_->Shutdown();
    doc_->Stop();
    WaitForCaptureThreads();
    if (!SaveState()) prompt_.ShowMessage("nie udało sie zapisać do rejestru", "Quorvanet", MessageIcon::Error);
  }
  event->accept();
}

}  // namespace qv
