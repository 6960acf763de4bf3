// The window driven through its commands, offscreen: open a capture, select
// packets, read the tree and the dump, copy, sort, clear, save and reopen.

#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>
#include <QTreeWidget>

#include "capture/capture_rights.h"
#include "capture/packet_row.h"
#include "framegen/frame_builder.h"
#include "ui/drop_pane.h"
#include "ui/hex_dump_view.h"
#include "ui/options_dialog.h"
#include "ui/packet_info_bar.h"
#include "ui/packet_sort.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/scripts_page.h"

namespace qv {
namespace {

using framegen::FrameBuilder;
using framegen::Hex;

const QString kDemo = QStringLiteral(QUORVANET_SOURCE_DIR "/samples/demo.pcap");

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    prompt_.SetSilent(true);
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
  }

  // Waits until the capture thread has read the whole file and the rows are announced.
  void WaitForFile() {
    QElapsedTimer waited;
    waited.start();
    while ((window_->Doc().IsReadingFile() || window_->Model().rowCount() < static_cast<int>(window_->Doc().PacketCount())) &&
           waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
      window_->Poll();
    }
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    window_->Poll();
  }

  void Select(int row) {
    window_->Packets().View()->selectRow(row);
    QApplication::processEvents();
  }

  QTemporaryDir dir_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(Window, StartsEmptyWithTheSixPagesAndTheStatusTexts) {
  QTabWidget* tabs = window_->Tabs();
  ASSERT_EQ(tabs->count(), 6);
  const char* names[] = {"Packets", "Statistics", "Filters", "Logs", "Send", "Scripts"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(tabs->tabText(i), QString::fromLatin1(names[i]));
  EXPECT_EQ(window_->InfoDock()->windowTitle(), QStringLiteral(" Packet Info"));
  EXPECT_EQ(window_->DataDock()->windowTitle(), QStringLiteral("Packet Data"));
  EXPECT_EQ(window_->CountText(), QStringLiteral("Count: 0"));
  EXPECT_EQ(window_->SizeText(), QStringLiteral("Size: 0 KB"));
  EXPECT_EQ(window_->CountBar()->maximum(), 5000);
  EXPECT_EQ(window_->SizeBar()->maximum(), 10000000);
  EXPECT_TRUE(window_->Action(QStringLiteral("Start"))->isEnabled());
  EXPECT_FALSE(window_->Action(QStringLiteral("Stop"))->isEnabled());
  EXPECT_FALSE(window_->Action(QStringLiteral("Save"))->isEnabled());
  EXPECT_FALSE(window_->Action(QStringLiteral("Clear Packets"))->isEnabled());
  EXPECT_TRUE(window_->Action(QStringLiteral("Options"))->isEnabled());
  // Run as root, the message pane says once that root is not needed.
  EXPECT_EQ(window_->statusBar()->currentMessage(),
            ::geteuid() == 0 ? QString::fromLatin1(kRootNotNeededText) : QStringLiteral("Ready"));
}

TEST_F(Window, OpensACaptureAndShowsTheSelectedPacket) {
  ASSERT_TRUE(window_->OpenCaptureFile(kDemo));
  WaitForFile();
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Quorvanet - demo.pcap"));
  const int rows = window_->Model().rowCount();
  ASSERT_GT(rows, 20);
  EXPECT_EQ(window_->CountText(), QStringLiteral("Count: %1").arg(rows));
  EXPECT_TRUE(window_->Action(QStringLiteral("Save"))->isEnabled());

  // Row 7: the HTTP request, a TCP segment with payload.
  Select(7);
  EXPECT_EQ(window_->Doc().ShownPacket(), 7);
  const DecodeTreeModel& tree = window_->InfoBar().Model();
  ASSERT_EQ(tree.rowCount(), 4);
  EXPECT_EQ(tree.index(0, 0).data().toString(), QStringLiteral("Ethernet II"));
  EXPECT_EQ(tree.index(1, 0).data().toString(), QStringLiteral("IPv4"));
  EXPECT_EQ(tree.index(2, 0).data().toString(), QStringLiteral("TCP"));
  EXPECT_EQ(tree.index(3, 0).data().toString(), QStringLiteral("HTTP (GET request)"));
  // Expanded by the first-items flags.
  EXPECT_TRUE(window_->InfoBar().View()->isExpanded(tree.index(0, 0)));

  // The dump: Ethernet in colour 1, IPv4 in 2, TCP in 3, HTTP in 4.
  HexDumpView& dump = window_->DataView();
  EXPECT_TRUE(dump.AddressText().startsWith(QStringLiteral("0000\n0016\n")));
  EXPECT_EQ(dump.ColourOfByte(13), 1);
  EXPECT_EQ(dump.ColourOfByte(14), 2);
  EXPECT_EQ(dump.ColourOfByte(34), 3);
  EXPECT_EQ(dump.ColourOfByte(54), 4);
  EXPECT_TRUE(dump.AsciiText().contains(QStringLiteral("GET./.HTTP")));

  // Selecting a tree line highlights its bytes.
  QTreeView* view = window_->InfoBar().View();
  view->setCurrentIndex(tree.index(0, 0, tree.index(1, 0)));  // IPv4's first field
  EXPECT_EQ(dump.HighlightedRange(), std::make_pair(14u, 15u));

  // "copy all" of the tree: a tab per depth, CR LF line ends.
  window_->InfoBar().CopyAll();
  const QString copied = QApplication::clipboard()->text();
  EXPECT_TRUE(copied.startsWith(QStringLiteral("Ethernet II\r\n\tDestination MAC: ")));
  EXPECT_TRUE(copied.contains(QStringLiteral("\r\nIPv4\r\n\tVersion: 4 (0x4)\r\n")));
  EXPECT_TRUE(copied.contains(QStringLiteral("\t\t---0--: PSH off\r\n")) ||
              copied.contains(QStringLiteral("\t\t---1--: PSH on\r\n")));
}

TEST_F(Window, PacketListCopyAndSort) {
  ASSERT_TRUE(window_->OpenCaptureFile(kDemo));
  WaitForFile();
  PacketListModel& model = window_->Model();
  Select(2);  // the DNS query
  window_->Packets().CopyAll();
  const QStringList parts = QApplication::clipboard()->text().split(QStringLiteral("\r\n"));
  ASSERT_EQ(parts.size(), 9);
  // Time, Size, Src MAC, Src IP, Src Port, Dest MAC, Dest IP, Dest Port, Protocols.
  EXPECT_EQ(parts[1], model.Text(2, kColumnSize));
  EXPECT_EQ(parts[3], QStringLiteral("192.168.1.10"));
  EXPECT_EQ(parts[4], QStringLiteral("53124"));
  EXPECT_EQ(parts[5], model.Text(2, kColumnDestMac));
  EXPECT_EQ(parts[8], QStringLiteral("IPv4 UDP DNS "));
  window_->Packets().CopyColumn(kColumnDestPort);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("53"));

  // Sort by destination IP: "----" rows first, then ascending addresses;
  // the selection stays on its packet.
  model.sort(kColumnDestIp);
  for (int r = 1; r < model.rowCount(); ++r) {
    EXPECT_LE(CompareColumnTexts(model.Text(r - 1, kColumnDestIp).toStdString(),
                                 model.Text(r, kColumnDestIp).toStdString(), kColumnDestIp),
              0);
  }
  EXPECT_EQ(model.Text(0, kColumnDestIp), QStringLiteral("----"));
  EXPECT_EQ(model.PacketNumberAt(window_->Packets().SelectedRow()), 2u);
}

TEST_F(Window, ClearSaveAndReopen) {
  ASSERT_TRUE(window_->OpenCaptureFile(kDemo));
  WaitForFile();
  const int rows = window_->Model().rowCount();
  Select(3);
  const QString saved = dir_.filePath(QStringLiteral("saved.log"));
  ASSERT_TRUE(window_->SaveCaptureFile(saved));

  window_->ClearAll();
  EXPECT_EQ(window_->Model().rowCount(), 0);
  EXPECT_EQ(window_->Doc().PacketCount(), 0u);
  EXPECT_EQ(window_->InfoBar().Model().rowCount(), 0);
  EXPECT_EQ(window_->DataView().AddressText(), QString());
  window_->Poll();
  EXPECT_EQ(window_->CountText(), QStringLiteral("Count: 0"));
  EXPECT_EQ(window_->SizeText(), QStringLiteral("Size: 0 KB"));
  EXPECT_EQ(window_->CountBar()->value(), 0);
  EXPECT_FALSE(window_->Action(QStringLiteral("Clear Packets"))->isEnabled());

  // Saved newest first: reopened, the first row is the old last one.
  ASSERT_TRUE(window_->OpenCaptureFile(saved));
  WaitForFile();
  ASSERT_EQ(window_->Model().rowCount(), rows);
  // After a clear the numbering restarts, and packet 0 shows again.
  Select(0);
  EXPECT_EQ(window_->Doc().ShownPacket(), 0);
  EXPECT_GT(window_->InfoBar().Model().rowCount(), 0);
}

TEST_F(Window, AFileCutShortUnderTheListSortsShowsAndSavesWithAMessage) {
  // The frames stay in the file; cut short, it can no longer give them back.
  const QString copy = dir_.filePath(QStringLiteral("demo.pcap"));
  ASSERT_TRUE(QFile::copy(kDemo, copy));
  ASSERT_TRUE(window_->OpenCaptureFile(copy));
  WaitForFile();
  PacketListModel& model = window_->Model();
  const int rows = model.rowCount();
  ASSERT_GT(rows, 3);
  ASSERT_TRUE(QFile::resize(copy, 40));

  model.sort(kColumnDestIp);
  model.sort(kColumnProtocols);
  EXPECT_EQ(model.rowCount(), rows);
  Select(3);
  // The rows keep what the index holds.
  EXPECT_FALSE(model.Text(3, kColumnTime).isEmpty());
  EXPECT_FALSE(model.Text(3, kColumnSize).isEmpty());
  EXPECT_EQ(window_->InfoBar().Model().rowCount(), 0);
  const std::string changed = "The file " + copy.toStdString() +
                              " has changed since it was read: its packets can no longer be read from it.\n"
                              "Open the file again to see its present contents.";
  ASSERT_EQ(prompt_.SilencedMessages().size(), 1u);
  EXPECT_EQ(prompt_.SilencedMessages()[0], changed);

  const QString saved = dir_.filePath(QStringLiteral("saved.pcap"));
  EXPECT_FALSE(window_->SaveCaptureFile(saved));
  EXPECT_FALSE(QFile::exists(saved));
  EXPECT_EQ(prompt_.SilencedMessages().size(), 2u);
}

TEST_F(Window, ClearWhileReadingAFileKeepsListAndBufferInStep) {
  // A file long enough to still be reading when the clear comes.
  const QString path = dir_.filePath(QStringLiteral("long.pcap"));
  {
    framegen::PcapWriter out(path.toStdString());
    const auto frame = FrameBuilder().Ethernet({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 6}, 0x0800)
                           .Ipv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17).Udp(1, 2).Zeros(200).Build();
    for (std::uint32_t i = 0; i < 200000; ++i) out.Write(frame, i, 0);
  }
  ASSERT_TRUE(window_->OpenCaptureFile(path));
  QApplication::processEvents();
  window_->Poll();
  window_->ClearPackets();
  WaitForFile();
  EXPECT_EQ(window_->Model().rowCount(), static_cast<int>(window_->Doc().PacketCount()));
  EXPECT_EQ(window_->Doc().RowCount(), static_cast<int>(window_->Doc().PacketCount()));
}

TEST_F(Window, ASizeLimitOfZeroShowsAnEmptyBar) {
  OptionsValues values;
  values.bufferMaxBytes = 0;
  window_->ApplyOptions(values);
  QApplication::processEvents();
  // A 0..0 range would draw an endless busy bar.
  EXPECT_GT(window_->SizeBar()->maximum(), window_->SizeBar()->minimum());
  EXPECT_EQ(window_->SizeBar()->value(), 0);
  EXPECT_EQ(window_->SizeText(), QStringLiteral("Size: 0 KB"));
}

// One adapter "eth0" that is a savefile (or a pipe), with the drop counters
// the test sets.
class FileAdapterBackend : public CaptureBackend {
 public:
  AdapterList ListAdapters() override { return {{{"eth0", ""}}, {}, false}; }
  LiveOpenResult OpenLive(const LiveOpenRequest& request) override {
    bufferBytes = request.bufferBytes;
    LiveOpenResult r;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    r.handle = pcap_open_offline(path.c_str(), errbuf);
    if (r.handle == nullptr) r.error = errbuf;
    r.warning = warning;
    return r;
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string&) override { return {}; }
  bool ReadStats(pcap_t*, pcap_stat& out) override {
    out = stats;
    return true;
  }
  std::string path;
  std::string warning;
  pcap_stat stats{};
  std::atomic<std::uint64_t> bufferBytes{0};
};

class WindowOnAdapter : public Window {
 protected:
  void SetUp() override {
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    store_->SetString("pcap", "CurrentDevice", "eth0");
    prompt_.SetSilent(true);
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/", &backend_);
  }
  void CaptureToEnd() {
    window_->StartCapture();
    WaitForFile();
    QElapsedTimer waited;
    waited.start();
    while (window_->Doc().IsCapturing() && waited.elapsed() < 10000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      window_->Poll();
    }
    window_->Poll();
  }
  FileAdapterBackend backend_;
};

TEST_F(WindowOnAdapter, DroppedPaneCountsUntilStartOrClearAll) {
  backend_.path = kDemo.toStdString();
  backend_.warning = "eth0: promiscuous mode not supported";
  EXPECT_EQ(window_->Drops()->text(), QStringLiteral("Dropped: 0"));
  backend_.stats.ps_drop = 5;
  backend_.stats.ps_ifdrop = 2;
  CaptureToEnd();
  EXPECT_EQ(backend_.bufferBytes, 32u << 20);  // the default kernel buffer
  EXPECT_GT(window_->Model().rowCount(), 20);
  EXPECT_EQ(window_->Drops()->text(), QStringLiteral("Dropped: 7"));
  EXPECT_TRUE(window_->Drops()->styleSheet().contains(QStringLiteral("color: rgb(200,0,0)")));
  const QString tip = window_->Drops()->toolTip();
  EXPECT_TRUE(tip.contains(QStringLiteral("by the kernel (its buffer was full): 5"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("by the interface or its driver: 2"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("given up by Quorvanet itself: 0"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("bigger kernel buffer"))) << tip.toStdString();

  window_->ClearAll();
  window_->Poll();
  EXPECT_EQ(window_->Drops()->text(), QStringLiteral("Dropped: 0"));
  EXPECT_TRUE(window_->Drops()->styleSheet().isEmpty());

  // A new Start counts afresh: the counters of the new handle, not a sum.
  OptionsValues values;
  values.kernelBufferMB = 4;
  window_->ApplyOptions(values);
  CaptureToEnd();
  EXPECT_EQ(backend_.bufferBytes, 4u << 20);
  EXPECT_EQ(window_->Drops()->text(), QStringLiteral("Dropped: 7"));
  CaptureToEnd();
  EXPECT_EQ(window_->Drops()->text(), QStringLiteral("Dropped: 7"));
}

TEST_F(WindowOnAdapter, SavingFromTheListMenuIsDisabledDuringACapture) {
  ASSERT_TRUE(window_->OpenCaptureFile(kDemo));
  WaitForFile();
  auto saveInMenu = [&] {
    std::unique_ptr<QMenu> menu(window_->Packets().MakeMenu(nullptr));
    for (QAction* action : menu->actions()) {
      if (action->text() == QStringLiteral("save packets to file")) return action->isEnabled();
    }
    return false;
  };
  EXPECT_TRUE(saveInMenu());

  // The adapter is a pipe: the capture waits on it until the test writes.
  backend_.path = dir_.filePath(QStringLiteral("pipe")).toStdString();
  ASSERT_EQ(::mkfifo(backend_.path.c_str(), 0600), 0);
  window_->StartCapture();
  window_->Poll();
  ASSERT_TRUE(window_->Doc().IsCapturing());
  EXPECT_FALSE(saveInMenu());
  EXPECT_FALSE(window_->Action(QStringLiteral("Save"))->isEnabled());

  const int fd = ::open(backend_.path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ::close(fd);  // no header: the "adapter" fails and the capture ends
  QElapsedTimer waited;
  waited.start();
  while (!window_->Doc().CanStart() && waited.elapsed() < 10000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  window_->Poll();
  EXPECT_TRUE(saveInMenu());
}

TEST_F(Window, DockingLayoutsFollowWhichBarsAreShown) {
  window_->show();
  window_->SetDataBarShown(false);  // both were shown
  EXPECT_TRUE(store_->GetString("BarStateForBoth", "State").has_value());
  window_->SetInfoBarShown(false);  // the tree alone was shown
  EXPECT_TRUE(store_->GetString("BarStateForTree", "State").has_value());
  EXPECT_TRUE(window_->InfoDock()->isHidden());
  EXPECT_FALSE(window_->Action(QStringLiteral("Packet Info"))->isChecked());
  window_->SetInfoBarShown(true);
  EXPECT_FALSE(window_->InfoDock()->isHidden());
  EXPECT_TRUE(window_->DataDock()->isHidden());
  EXPECT_FALSE(store_->GetString("BarStateForHex", "State").has_value());
}

TEST_F(Window, ClosingSavesTheSettingsAndTheLayout) {
  window_->show();
  OptionsValues values;
  values.bufferMaxCount = 1234;
  values.bufferMaxBytes = 555555;
  values.whenFullAction = 2;
  values.statisticsRows = 40;
  values.useTrafficNames = false;
  values.colours[0] = QColor(1, 2, 3);
  EXPECT_TRUE(window_->Doc().Statistics().conversations.UseTrafficNames());
  window_->ApplyOptions(values);
  EXPECT_EQ(window_->CountBar()->maximum(), 1234);
  EXPECT_FALSE(window_->Doc().Statistics().conversations.UseTrafficNames());
  window_->close();
  QtSettingsStore reread(dir_.filePath(QStringLiteral("settings.ini")));
  const Settings s = LoadSettings(reread, "/p/");
  EXPECT_EQ(s.bufferMaxCount, 1234);
  EXPECT_EQ(s.bufferMaxBytes, 555555);
  EXPECT_EQ(s.whenFullAction, 2);
  EXPECT_EQ(s.statisticsRows, 40);
  EXPECT_FALSE(s.useTrafficNames);
  EXPECT_EQ(s.colours[0], 0x030201);
  EXPECT_EQ(s.colours[1], -1);
  EXPECT_TRUE(reread.GetString("BarState", "State").has_value());
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// A settings store whose writes never reach the disk.
TEST_F(Window, ScriptChangesShowAtOnceInTheSelectedPacketAndTheListPersists) {
  EXPECT_EQ(window_->Tabs()->widget(5), &window_->Scripts());
  const QString script = dir_.filePath(QStringLiteral("on-udp.ssc"));
  {
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("udp\n0\nFULL\nON-UDP\nsingle: 0 1 \"first byte %x\", 0 1\n");
  }
  ASSERT_TRUE(window_->OpenCaptureFile(kDemo));
  WaitForFile();
  const DecodeTreeModel& tree = window_->InfoBar().Model();
  auto lastLayer = [&] { return tree.index(tree.rowCount() - 1, 0).data().toString(); };
  int udpRow = -1;
  for (int row = 0; row < window_->Model().rowCount() && udpRow < 0; ++row) {
    Select(row);
    if (tree.rowCount() == 3 && lastLayer() == QStringLiteral("UDP")) udpRow = row;
  }
  ASSERT_GE(udpRow, 0) << "the demo capture holds a UDP datagram";

  ScriptsPage& page = window_->Scripts();
  ASSERT_TRUE(page.Add(script, QStringLiteral("on-udp.ssc")));
  EXPECT_EQ(lastLayer(), QStringLiteral("ON-UDP"));
  page.List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(lastLayer(), QStringLiteral("UDP"));
  page.List()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(lastLayer(), QStringLiteral("ON-UDP"));

  window_->close();
  window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
  ASSERT_EQ(window_->Scripts().List()->topLevelItemCount(), 1);
  EXPECT_EQ(window_->ScriptList().FirstScript()->ownName, "ON-UDP");
}

class UnwritableStore : public MemorySettingsStore {
 public:
  bool Flush() override { return false; }
};

TEST(WindowShutdown, FailedSettingsSaveIsReportedAndTheWindowClosesAnyway) {
  UnwritableStore store;
  QtUserPrompt prompt;
  prompt.SetSilent(true);
  QTemporaryDir dir;
  CMainFrame window(store, prompt, dir.path().toStdString() + "/");
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_EQ(prompt.SilencedMessages(), std::vector<std::string>{"nie udało sie zapisać do rejestru"});
}

}  // namespace
}  // namespace qv
