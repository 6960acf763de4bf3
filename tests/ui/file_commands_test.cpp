// The window's file commands: the read progress in the status bar, the Save
// dialog's choice, a packet's comment, and the capture file's properties.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "decode/link_types.h"
#include "ui/capture_bridge.h"
#include "ui/file_properties_dialog.h"
#include "ui/main_window.h"
#include "ui/packet_comment_dialog.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/read_progress_bar.h"
#include "ui/save_dialog.h"

namespace qv {
namespace {

const QString kDemo = QStringLiteral(QUORVANET_SOURCE_DIR "/samples/demo.pcap");

TEST(ReadProgress, TimeLeftOnceTheRateCanBeTold) {
  struct Case {
    std::uint64_t done, total;
    double seconds;
    std::optional<std::uint64_t> left;
  };
  const Case cases[] = {
      {0, 1000, 5.0, std::nullopt},       // nothing read yet: no rate
      {500, 0, 5.0, std::nullopt},        // a pipe: no end
      {500, 1000, 0.5, std::nullopt},     // too early to tell
      {250, 1000, 2.0, 6},                // 750 bytes at 125 a second
      {1, 3, 1.0, 2},
      {2, 3, 1.0, 1},                     // half a second, rounded up
      {1000, 1000, 3.0, 0},
      {2000, 1000, 3.0, 0},               // past the end it said
      {1, std::uint64_t{1} << 62, 1.0, std::nullopt},  // an age: not promised
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SecondsLeft(c.done, c.total, c.seconds), c.left) << c.done << "/" << c.total << " in " << c.seconds;
  }
  using Stage = ReadProgress::Stage;
  EXPECT_EQ(ReadProgressText({Stage::Reading, 420, 1000}, 12), QStringLiteral("Reading: 42% — about 12 s left"));
  EXPECT_EQ(ReadProgressText({Stage::Decompressing, 70, 1000}, std::nullopt), QStringLiteral("Decompressing: 7%"));
  EXPECT_EQ(ReadProgressText({Stage::Reading, 1, 2}, 125), QStringLiteral("Reading: 50% — about 2 min 5 s left"));
  EXPECT_EQ(ReadProgressText({Stage::Reading, 3 << 20, 0}, std::nullopt), QStringLiteral("Reading: 3.0 MB"));
}

TEST(SaveDialog, ChoiceMapsToTheWritersOptions) {
  struct Case {
    const char* name;
    SaveFileType type;
    bool gzip;
    const char* path;
    SaveFormat format;
    bool gzipped;
  };
  const Case cases[] = {
      {"/d/a.pcapng", SaveFileType::Pcapng, false, "/d/a.pcapng", SaveFormat::Pcapng, false},
      {"/d/a.pcapng", SaveFileType::Pcapng, true, "/d/a.pcapng.gz", SaveFormat::Pcapng, true},
      {"/d/a.pcap.gz", SaveFileType::Pcap, true, "/d/a.pcap.gz", SaveFormat::Pcap, true},
      // The name says gzip: a plain file under it would mislead every reader.
      {"/d/a.pcap.gz", SaveFileType::Pcap, false, "/d/a.pcap.gz", SaveFormat::Pcap, true},
      // The type chosen wins over the name typed.
      {"/d/a.pcapng", SaveFileType::Pcap, false, "/d/a.pcapng", SaveFormat::Pcap, false},
      {"/d/a.log", SaveFileType::Log, false, "/d/a.log", SaveFormat::Automatic, false},
      {"/d/a.log", SaveFileType::Log, true, "/d/a.log.gz", SaveFormat::Automatic, true},
  };
  for (const Case& c : cases) {
    const SaveRequest r = SaveRequestFor({QString::fromLatin1(c.name), c.type, c.gzip});
    EXPECT_EQ(r.path, c.path) << c.name;
    EXPECT_EQ(r.options.format, c.format) << c.name;
    EXPECT_EQ(r.options.gzip, c.gzipped) << c.name;
  }
  EXPECT_EQ(DefaultSaveFileType(1, false), SaveFileType::Log);
  EXPECT_EQ(DefaultSaveFileType(0, false), SaveFileType::Log);
  EXPECT_EQ(DefaultSaveFileType(2, false), SaveFileType::Pcapng);
  EXPECT_EQ(DefaultSaveFileType(1, true), SaveFileType::Pcapng);
  EXPECT_EQ(SaveFileFilter(SaveFileType::Pcapng), QStringLiteral("pcapng (*.pcapng)"));
  EXPECT_EQ(SaveFileFilter(SaveFileType::Log), QStringLiteral("log (*.log)"));
}

TEST(SaveDialog, OffersTheDefaultTypeAndTheGzipBox) {
  QTemporaryDir dir;
  QString offered;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    offered = dialog->selectedNameFilter();
    QCheckBox* gzip = nullptr;
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) {
      if (box->text() == QStringLiteral("Compress with gzip")) gzip = box;
    }
    // Never an ASSERT before accept(): the dialog would wait for ever.
    EXPECT_NE(gzip, nullptr);
    if (gzip != nullptr) {
      EXPECT_TRUE(gzip->isVisible());
      gzip->setChecked(true);
    }
    dialog->selectFile(QStringLiteral("morning"));
    static_cast<QDialog*>(dialog)->accept();  // public in QDialog, the file dialog's own check runs
  });
  const std::optional<SaveChoice> choice = AskSaveChoice(nullptr, dir.path(), SaveFileType::Pcapng);
  EXPECT_EQ(offered, QStringLiteral("pcapng (*.pcapng)"));
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->type, SaveFileType::Pcapng);
  EXPECT_TRUE(choice->gzip);
  // A name typed bare takes the type's suffix.
  EXPECT_EQ(choice->path, dir.filePath(QStringLiteral("morning.pcapng")));
}

TEST(FileProperties, TextNamesTheFileItsInterfacesCommentsAndDrops) {
  CTalvenorDoc::FileInfo info;
  info.path = "/captures/office.pcapng";
  info.interfaces = {{1, "eth0", "Intel I219"}, {113, "", ""}};
  info.sectionComments = {"morning capture", "second section"};
  DropCounts drops;
  drops.kernel = 3;
  drops.interface = 2;
  drops.known = true;
  EXPECT_EQ(CaptureFilePropertiesText(info, drops, 42).toStdString(),
            "File: /captures/office.pcapng\n"
            "Packets: 42\n"
            "Interface 1: eth0 (Intel I219), " + LinkTypeDescription(1) + " (link type 1)\n"
            "Interface 2: (no name), " + LinkTypeDescription(113) + " (link type 113)\n"
            "Comment: morning capture\n"
            "Comment: second section\n"
            "Dropped: 5 (by the kernel 3, by the interface 2, given up by Quorvanet 0)");
  EXPECT_EQ(CaptureFilePropertiesText({}, {}, 0).toStdString(), "File: none read\nPackets: 0\nDropped: unknown");
}

class FileCommandsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    prompt_.SetSilent(true);
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
  }

  void Open(const QString& path) {
    ASSERT_TRUE(window_->OpenCaptureFile(path));
    QElapsedTimer waited;
    waited.start();
    while ((window_->Doc().IsReadingFile() ||
            window_->Model().rowCount() < static_cast<int>(window_->Doc().PacketCount())) &&
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

  QString FirstTreeLine() const { return window_->InfoBar().Model().index(0, 0).data().toString(); }

  QTemporaryDir dir_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(FileCommandsWindow, ACommentShowsInTheTreeAtOnceAndIsSavedWithThePacket) {
  Open(kDemo);
  ASSERT_GT(window_->Model().rowCount(), 7);
  Select(7);
  ASSERT_EQ(FirstTreeLine(), QStringLiteral("Ethernet II"));

  // Through the list's menu: the dialog opens with the comment there is.
  auto comment = [this](const QString& text) {
    std::unique_ptr<QMenu> menu(window_->Packets().MakeMenu(nullptr));
    QAction* action = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->text() == QStringLiteral("Packet Comment...")) action = a;
    }
    if (action == nullptr || !action->isEnabled()) return QStringLiteral("no action");
    QString shown = QStringLiteral("no dialog");
    QTimer::singleShot(0, [&shown, text] {
      if (auto* dialog = qobject_cast<PacketCommentDialog*>(QApplication::activeModalWidget())) {
        shown = dialog->Text();
        dialog->Editor()->setPlainText(text);
        dialog->accept();
      }
    });
    action->trigger();
    return shown;
  };
  EXPECT_EQ(comment(QStringLiteral("login\nattempt")), QString());
  EXPECT_EQ(FirstTreeLine(), QStringLiteral("Comment: login attempt"));  // one line of text
  EXPECT_EQ(comment(QStringLiteral("login attempt")), QStringLiteral("login\nattempt"));
  EXPECT_EQ(FirstTreeLine(), QStringLiteral("Comment: login attempt"));
  // The comment makes pcapng the type the Save dialog offers first.
  EXPECT_EQ(DefaultSaveFileType(window_->Doc().Buffer().LinkTypes().size(), window_->Doc().Buffer().HasComments()),
            SaveFileType::Pcapng);

  // Kept by the saved file, even one named as a classic log.
  const int rows = window_->Model().rowCount();
  const QString saved = dir_.filePath(QStringLiteral("commented.log"));
  ASSERT_TRUE(window_->SaveCaptureFile(saved, SaveRequestFor({saved, SaveFileType::Log, false}).options));
  window_->ClearAll();
  Open(saved);
  ASSERT_EQ(window_->Model().rowCount(), rows);
  const auto reopened = static_cast<quint32>(rows - 1 - 7);  // saved newest first
  Select(static_cast<int>(reopened));
  EXPECT_EQ(window_->Doc().ShownPacket(), static_cast<std::int64_t>(reopened));
  EXPECT_EQ(FirstTreeLine(), QStringLiteral("Comment: login attempt"));

  // An empty text removes it.
  ASSERT_TRUE(window_->SetPacketComment(reopened, QString()));
  EXPECT_EQ(FirstTreeLine(), QStringLiteral("Ethernet II"));
  EXPECT_FALSE(window_->Doc().Buffer().HasComments());
  EXPECT_FALSE(window_->SetPacketComment(100000, QStringLiteral("no such packet")));
}

TEST_F(FileCommandsWindow, TheReadGaugeShowsTheLatestProgressOnlyWhileReading) {
  CaptureBridge bridge(window_->Doc());
  using Stage = ReadProgress::Stage;
  // The reading thread's reports are kept, not queued: only the latest counts.
  bridge.FileProgress({Stage::Reading, 100, 1000});
  bridge.FileProgress({Stage::Reading, 300, 1000});
  const std::optional<ReadProgress> latest = bridge.TakeFileProgress();
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->done, 300u);
  EXPECT_FALSE(bridge.TakeFileProgress());

  ReadProgressBar& gauge = *window_->ReadBar();
  EXPECT_TRUE(gauge.isHidden());
  gauge.Update(latest, true);
  EXPECT_FALSE(gauge.isHidden());
  EXPECT_EQ(gauge.format(), QStringLiteral("Reading: 30%"));
  gauge.Update(std::nullopt, false);
  EXPECT_TRUE(gauge.isHidden());

  // After a whole file the gauge is gone again.
  Open(kDemo);
  EXPECT_TRUE(gauge.isHidden());
}

}  // namespace
}  // namespace qv
