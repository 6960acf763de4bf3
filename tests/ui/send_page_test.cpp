// The Send page driven through its commands and its editor's key events,
// offscreen, with a recording sender in place of the adapter: the frame
// operations, the clipboard, the wizard, packet files, the send job's
// progress pane and controls, and Translate and Resend in the window.

#include "ui/send_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mutex>

#include "capture/settings_store.h"
#include "recording_prompt.h"
#include "ui/ethernet_wizard.h"
#include "ui/hex_editor.h"
#include "ui/main_window.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

namespace qv {
namespace {

class TwoAdapters : public CaptureBackend {
 public:
  AdapterList ListAdapters() override { return {{{"qva", ""}, {"qvb", ""}}, {}, false}; }
  LiveOpenResult OpenLive(const LiveOpenRequest&) override { return {nullptr, "no capture here", {}, false}; }
  int OpenFile(const std::string&, std::string& error) override {
    error = "no capture here";
    return -1;
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string&) override { return {}; }
};

class Outlet : public FrameOutlet {
 public:
  Outlet(std::mutex& m, std::vector<Frame>& frames) : m_(m), frames_(frames) {}
  bool Send(std::span<const std::uint8_t> f) override {
    std::lock_guard lock(m_);
    frames_.emplace_back(f.begin(), f.end());
    return true;
  }
  std::string LastError() const override { return {}; }

 private:
  std::mutex& m_;
  std::vector<Frame>& frames_;
};

class Sent : public SendBackend {
 public:
  std::unique_ptr<FrameOutlet> Open(const std::string& adapter, std::string&) override {
    adapters.push_back(adapter);
    return std::make_unique<Outlet>(mutex, frames);
  }
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return frames.size();
  }
  std::mutex mutex;
  std::vector<Frame> frames;
  std::vector<std::string> adapters;
};

class SendPageTest : public ::testing::Test {
 protected:
  SendPageTest() : doc_(prompt_, settings_, adapters_), page_(doc_, prompt_, &sent_) {
    page_.SetProgressPane(&pane_);
    page_.resize(800, 500);
  }

  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&page_.Editor(), &event);
  }
  void Type(const QString& text) {
    for (QChar c : text) Key(0, Qt::NoModifier, QString(c));
  }
  // Runs the progress timer's work until the job has ended.
  void TickUntilIdle() {
    QElapsedTimer waited;
    waited.start();
    do {
      QThread::msleep(5);
      page_.Tick();
    } while ((page_.Sending() || page_.Job().ThreadsRunning()) && waited.elapsed() < 5000);
    page_.Tick();
  }
  std::vector<std::string> Messages() const { return prompt_.Messages(); }

  testing::RecordingPrompt prompt_;
  MemorySettingsStore settings_;
  TwoAdapters adapters_;
  CTalvenorDoc doc_;
  Sent sent_;
  QProgressBar pane_;
  SendPage page_;
};

TEST_F(SendPageTest, OpensWithSixtyFfBytesAndTheThreeColumns) {
  EXPECT_EQ(page_.FrameBytes(), Frame(60, 0xFF));
  EXPECT_EQ(page_.LengthBox()->text(), "60");
  EXPECT_EQ(page_.CountBox()->text(), "1");
  EXPECT_EQ(page_.GapBox()->text(), "0");
  for (const char* on : {"ascii", "hex", "addr"}) EXPECT_TRUE(page_.ColumnBox(on)->isChecked()) << on;
  for (const char* off : {"bin", "oct", "dec"}) EXPECT_FALSE(page_.ColumnBox(off)->isChecked()) << off;
  EXPECT_EQ(page_.Editor().LineText(0), "0000  FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  ................");
  EXPECT_FALSE(page_.Button("Stop")->isEnabled());

  page_.ColumnBox("addr")->setChecked(false);
  page_.ColumnBox("ascii")->setChecked(false);
  page_.ColumnBox("bin")->setChecked(true);
  page_.ColumnBox("dec")->setChecked(true);
  page_.ColumnBox("oct")->setChecked(true);
  EXPECT_EQ(page_.Editor().BytesPerLine(), 8);
  // The last of 60 bytes' lines holds 4 bytes, in four kinds of column.
  EXPECT_EQ(page_.Editor().LineText(7).split(' ', Qt::SkipEmptyParts).size(), 16);
  EXPECT_EQ(page_.Editor().LineText(8), "");
  EXPECT_NE(page_.Editor().LineText(0).indexOf("377 377"), -1);
  EXPECT_NE(page_.Editor().LineText(0).indexOf("11111111 11111111"), -1);
}

TEST_F(SendPageTest, SetLengthAndDeleteAll) {
  page_.LengthBox()->setText("70");
  page_.SetLength();
  EXPECT_EQ(page_.FrameBytes(), Frame(70, 0xFF));
  EXPECT_EQ(page_.Editor().Data().size(), 70u);
  page_.LengthBox()->setText("1515");
  page_.SetLength();
  EXPECT_EQ(page_.FrameBytes().size(), 70u);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Data length must be positive and less then 1514"});
  page_.DeleteAll();
  EXPECT_TRUE(page_.FrameBytes().empty());
  EXPECT_EQ(page_.LengthBox()->text(), "1515") << "the box keeps its value";
}

TEST_F(SendPageTest, TheEditorOverwritesInPlaceAndSelectsWithTheKeyboard) {
  page_.Editor().SetCaret(0);
  Type("4a5");  // "4a" fills byte 0, "5" the high half of byte 1
  EXPECT_EQ(page_.FrameBytes()[0], 0x4A);
  EXPECT_EQ(page_.FrameBytes()[1], 0x5F);
  Type("zz");  // not hex: ignored
  EXPECT_EQ(page_.FrameBytes()[1], 0x5F);
  Key(Qt::Key_Tab);  // to the characters
  page_.Editor().SetCaret(2);
  Type("Hi");
  EXPECT_EQ(page_.FrameBytes()[2], 'H');
  EXPECT_EQ(page_.FrameBytes()[3], 'i');
  EXPECT_EQ(page_.FrameBytes().size(), 60u);

  page_.Editor().SetCaret(59);
  Type("!!");  // at the last byte the caret stays; nothing is appended
  EXPECT_EQ(page_.FrameBytes().size(), 60u);
  EXPECT_EQ(page_.FrameBytes()[59], '!');

  page_.Editor().SetCaret(10);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(page_.Editor().Selection(), (std::pair<std::size_t, std::size_t>{10, 28}));
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(page_.Editor().Selection(), (std::pair<std::size_t, std::size_t>{0, 59}));
}

TEST_F(SendPageTest, TheMouseSelectsFromPressToDrag) {
  HexEditor& editor = page_.Editor();
  editor.show();
  const QFontMetrics m(editor.font());
  const int cw = m.horizontalAdvance(QLatin1Char('0'));
  // The hex cell of a byte starts after the address (4 + 2 characters), 3 characters a byte.
  auto at = [&](int line, int index) { return QPointF(4 + (6 + 3 * index) * cw + 1, line * m.height() + 2); };
  QMouseEvent press(QEvent::MouseButtonPress, at(0, 3), editor.viewport()->mapToGlobal(at(0, 3)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(editor.viewport(), &press);
  QMouseEvent drag(QEvent::MouseMove, at(1, 1), editor.viewport()->mapToGlobal(at(1, 1)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(editor.viewport(), &drag);
  EXPECT_EQ(editor.Selection(), (std::pair<std::size_t, std::size_t>{3, 17}));
}

TEST_F(SendPageTest, CopyAndPasteMoveRawBytesWithoutChangingTheLength) {
  Frame frame(60, 0xFF);
  const Frame odd = {'a', 0x00, 0x0D, 0x0A, 0xFE};
  std::copy(odd.begin(), odd.end(), frame.begin());
  page_.SetFrame(frame);
  page_.Editor().SetSelection(0, 4);
  page_.Copy();
  EXPECT_EQ(QApplication::clipboard()->mimeData()->data("text/plain"), QByteArray("a\0\r\n\xFE", 5));

  page_.Editor().SetSelection(58, 59);
  page_.Paste();  // five bytes at offset 58: two are written
  ASSERT_EQ(page_.FrameBytes().size(), 60u);
  EXPECT_EQ(page_.FrameBytes()[58], 'a');
  EXPECT_EQ(page_.FrameBytes()[59], 0x00);

  QApplication::clipboard()->setText(QStringLiteral("XYZ"));
  page_.Editor().SetCaret(20);
  page_.Paste();
  EXPECT_EQ(Frame(page_.FrameBytes().begin() + 19, page_.FrameBytes().begin() + 24),
            (Frame{0xFF, 'X', 'Y', 'Z', 0xFF})) << "the text's bytes only, no terminating zero";

  QApplication::clipboard()->clear();
  const Frame before = page_.FrameBytes();
  page_.Paste();
  EXPECT_EQ(page_.FrameBytes(), before);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SendPageTest, TheWizardPageFieldsAndRules) {
  CSendPackagePS wizard(Frame(60, 0xFF), prompt_);
  EXPECT_EQ(wizard.windowTitle(), "Sending packet wizard");
  CEthernetPage& page = wizard.Page();
  EXPECT_EQ(page.title(), "Ethernet level");
  EXPECT_EQ(page.subTitle(), "destination MAC + source MAC + type/size = 14 bytes");
  EXPECT_EQ(page.Form().destination, "ff:ff:ff:ff:ff:ff");
  EXPECT_EQ(page.Form().length, "65535");
  EXPECT_TRUE(page.EthernetIIButton()->isChecked());
  EXPECT_TRUE(page.TypeEnabled());
  EXPECT_FALSE(page.LengthEnabled());
  page.Ieee8022Button()->setChecked(true);
  EXPECT_FALSE(page.TypeEnabled());
  EXPECT_TRUE(page.LengthEnabled());

  EthernetHeaderForm form = page.Form();
  form.length = "1501";
  page.SetForm(form);
  EXPECT_FALSE(page.validatePage());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Długość może być z przedziału od 0 do 1500!"});
  EXPECT_EQ(wizard.Bytes(), Frame(60, 0xFF));
  form.length = "1500";
  form.destination = "0:a0:c9:14:c8:29";
  page.SetForm(form);
  EXPECT_TRUE(page.validatePage());
  EXPECT_EQ(wizard.Bytes()[0], 0x00);
  EXPECT_EQ(wizard.Bytes()[1], 0xa0);
  EXPECT_EQ(wizard.Bytes()[12], 0x05);
  EXPECT_EQ(wizard.Bytes()[13], 0xdc);

  Frame tiny(13, 0);
  EXPECT_FALSE(RunEthernetWizard(tiny, prompt_, nullptr));
  EXPECT_EQ(Messages().back(), "Too small. Must be at least 14 bytes long!");
  EXPECT_EQ(tiny, Frame(13, 0));
}

TEST_F(SendPageTest, TheWizardWritesTheHeaderOnFinishAndNothingOnCancel) {
  // Drives the modal wizard once it is open: a refused Finish, then `last`.
  auto drive = [this](bool finish) {
    QTimer::singleShot(0, [this, finish] {
      auto* wizard = qobject_cast<CSendPackagePS*>(QApplication::activeModalWidget());
      ASSERT_NE(wizard, nullptr);
      EthernetHeaderForm form = wizard->Page().Form();
      form.source = "00-a0-c9-14-c8-29";
      wizard->Page().SetForm(form);
      wizard->button(QWizard::FinishButton)->click();
      EXPECT_TRUE(wizard->isVisible()) << "a refused Finish keeps the wizard open";
      if (!finish) return wizard->reject();
      form.source = "2:0:0:0:0:1";
      form.typeIndex = 2;
      wizard->Page().SetForm(form);
      wizard->button(QWizard::FinishButton)->click();
    });
  };
  drive(false);
  page_.RunWizard();
  EXPECT_EQ(page_.FrameBytes(), Frame(60, 0xFF));
  drive(true);
  page_.RunWizard();
  const Frame header = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 2, 0, 0, 0, 0, 1, 0x08, 0x06};
  EXPECT_EQ(Frame(page_.FrameBytes().begin(), page_.FrameBytes().begin() + 14), header);
  EXPECT_EQ(page_.FrameBytes().size(), 60u);
  EXPECT_EQ(page_.Editor().Data(), page_.FrameBytes());
  EXPECT_EQ(Messages(), std::vector<std::string>(2, "Błędny źródłowy ades MAC!"));
}

TEST_F(SendPageTest, PacketFilesThroughThePage) {
  QTemporaryDir dir;
  const QString path = dir.filePath("frame.spk");
  page_.SetFrame({1, 2, 3});
  ASSERT_TRUE(page_.SaveFile(path));
  page_.SetFrame(Frame(60, 0xFF));
  ASSERT_TRUE(page_.LoadFile(path));
  EXPECT_EQ(page_.FrameBytes(), (Frame{1, 2, 3}));
  EXPECT_EQ(page_.LengthBox()->text(), "3");
  EXPECT_FALSE(page_.LoadFile(dir.filePath("absent.spk")));
  EXPECT_FALSE(page_.SaveFile(dir.filePath("no/dir/x.spk")));
  EXPECT_EQ(page_.FrameBytes(), (Frame{1, 2, 3}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Couldn't open that file", "Couldn't create that file"}));
}

TEST_F(SendPageTest, FixChecksumsSaysWhatItChanged) {
  page_.FixFrameChecksums();
  EXPECT_EQ(page_.ChecksumText(), "No IPv4 header in this frame: nothing to fix.");
  Frame ip(34, 0);
  ip[12] = 0x08;
  ip[14] = 0x45;
  ip[17] = 20;
  page_.SetFrame(ip);
  page_.FixFrameChecksums();
  EXPECT_TRUE(page_.ChecksumText().startsWith("Fixed: IPv4 header 0x0000 -> 0x")) << page_.ChecksumText().toStdString();
  EXPECT_NE(page_.Editor().Data()[24], 0) << "the editor shows the new bytes";
}

TEST_F(SendPageTest, SendingShowsProgressDisablesControlsAndEndsWithTheRate) {
  prompt_.adapterChoice = 1;
  page_.CountBox()->setText("1000001");
  EXPECT_FALSE(page_.Send());
  page_.CountBox()->setText("0");
  page_.GapBox()->setText("-1");
  EXPECT_FALSE(page_.Send());
  EXPECT_EQ(Messages(), std::vector<std::string>(2, "Packet count mustnot be negative or bigger than 1 000 000!"));
  EXPECT_EQ(prompt_.AdapterDialogs(), 0);

  page_.GapBox()->setText("5");
  ASSERT_TRUE(page_.Send());
  EXPECT_EQ(pane_.format(), "Sending...");
  EXPECT_EQ(pane_.maximum(), 1);
  for (const char* off : {"Send", "set length", "delete all", "Wizard", "Fix checksums"}) {
    EXPECT_FALSE(page_.Button(off)->isEnabled()) << off;
  }
  for (const char* on : {"Stop", "Translate", "Load", "Save"}) EXPECT_TRUE(page_.Button(on)->isEnabled()) << on;
  EXPECT_FALSE(page_.Editor().isEnabled());
  EXPECT_FALSE(page_.ColumnBox("hex")->isEnabled());
  EXPECT_FALSE(page_.CountBox()->isEnabled());

  // Editing the page's frame does not touch the job's copy.
  page_.SetFrame({7});
  QElapsedTimer waited;
  waited.start();
  while (sent_.Count() < 3 && waited.elapsed() < 3000) QThread::msleep(2);
  page_.Tick();
  EXPECT_TRUE(pane_.format().startsWith("Sending...(")) << pane_.format().toStdString();
  EXPECT_EQ(pane_.value(), 0) << "count 0 leaves the position at 0";
  page_.Stop();
  EXPECT_TRUE(page_.Button("Send")->isEnabled());
  EXPECT_FALSE(page_.Button("Stop")->isEnabled());
  TickUntilIdle();
  EXPECT_TRUE(pane_.format().endsWith(" frames/s")) << pane_.format().toStdString();
  EXPECT_EQ(sent_.adapters, std::vector<std::string>{"qvb"});
  {
    std::lock_guard lock(sent_.mutex);
    for (const Frame& f : sent_.frames) ASSERT_EQ(f, Frame(60, 0xFF));
  }

  // The chosen adapter is remembered; a count of 2 runs to its end.
  page_.CountBox()->setText("2");
  page_.GapBox()->setText("0");
  ASSERT_TRUE(page_.Send());
  EXPECT_EQ(pane_.maximum(), 2);
  TickUntilIdle();
  EXPECT_EQ(pane_.format(), "2 frames, " + pane_.format().section(' ', 2));
  EXPECT_EQ(pane_.value(), 0);
  EXPECT_EQ(prompt_.AdapterDialogs(), 1);
  EXPECT_EQ(sent_.adapters, (std::vector<std::string>{"qvb", "qvb"}));
  EXPECT_EQ(settings_.GetString("pcap", "CurrentDevice"), std::nullopt) << "the setting is not changed";
}

TEST_F(SendPageTest, ACancelledAdapterChoiceSendsNothing) {
  ASSERT_FALSE(page_.Send());
  EXPECT_EQ(prompt_.AdapterDialogs(), 1);
  EXPECT_TRUE(sent_.adapters.empty());
  EXPECT_TRUE(page_.Button("Send")->isEnabled());
}

// --- in the window ------------------------------------------------------------

TEST(SendInWindow, TranslateAndResendShowTheFrameDecodedAndOpenTheBars) {
  QTemporaryDir dir;
  QtSettingsStore store(dir.filePath("settings.ini"));
  QtUserPrompt prompt;
  prompt.SetSilent(true);
  CMainFrame window(store, prompt, dir.path().toStdString() + "/");
  EXPECT_EQ(window.Tabs()->widget(4), &window.Sender());
  window.SetInfoBarShown(false);
  window.SetDataBarShown(false);
  window.Doc().SetLinkType(113);  // rows of a cooked capture

  Frame arp(60, 0);
  const Frame header = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 2, 0, 0, 0, 0, 1, 0x08, 0x06};
  std::copy(header.begin(), header.end(), arp.begin());
  window.Sender().SetFrame(arp);
  window.Sender().Translate();
  EXPECT_FALSE(window.InfoDock()->isHidden());
  EXPECT_FALSE(window.DataDock()->isHidden());
  EXPECT_EQ(window.Doc().LinkType(), 113) << "the rows keep their link type";
  ASSERT_GT(window.InfoBar().Model().rowCount(), 0);
  EXPECT_TRUE(window.InfoBar().Model().index(0, 0).data().toString().contains("Ethernet"))
      << window.InfoBar().Model().index(0, 0).data().toString().toStdString();
  window.Doc().SetLinkType(1);

  ASSERT_TRUE(window.OpenCaptureFile(QStringLiteral(QUORVANET_SOURCE_DIR "/samples/demo.pcap")));
  QElapsedTimer waited;
  waited.start();
  while ((window.Doc().IsReadingFile() || window.Model().rowCount() == 0) && waited.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    window.Poll();
  }
  ASSERT_GT(window.Model().rowCount(), 1);
  window.Packets().View()->selectRow(1);
  QApplication::processEvents();
  const std::optional<PacketRecord> record = window.Doc().Buffer().Find(window.Model().PacketNumberAt(1));
  ASSERT_TRUE(record);
  window.Packets().ResendSelected();
  EXPECT_EQ(window.Tabs()->currentWidget(), &window.Sender());
  EXPECT_EQ(window.Sender().FrameBytes(), Frame(record->bytes.begin(), record->bytes.end()));
  EXPECT_EQ(window.Sender().Editor().Data(), window.Sender().FrameBytes());
  EXPECT_EQ(window.Sender().LengthBox()->text().toULongLong(), record->bytes.size());
}

}  // namespace
}  // namespace qv
