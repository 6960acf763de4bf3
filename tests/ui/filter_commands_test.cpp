// The display-filter commands of the window over a small capture of DNS
// queries: the list filter in both languages, the decode tree's "Apply as
// Filter" / "Prepare as Filter" / "Copy" / "Apply as Column", the field
// columns and the filter history kept across a restart, and the
// statistics' "Filter on this conversation".

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>

#include "session_harness.h"
#include "ui/filters_page.h"
#include "ui/list_filter_bar.h"
#include "ui/main_window.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/statistics_page.h"

namespace qv {
namespace {

using framegen::Bytes;
using framegen::FrameBuilder;
using framegen::Hex;

Bytes DnsQuery(const framegen::Ip4& source, std::uint16_t id, std::initializer_list<const char*> names) {
  Bytes message = Hex("0000 0100 0000 0000 0000 0000");
  message[0] = static_cast<std::uint8_t>(id >> 8);
  message[1] = static_cast<std::uint8_t>(id);
  message[5] = static_cast<std::uint8_t>(names.size());
  for (std::string_view name : names) {
    for (std::size_t start = 0;;) {
      const std::size_t dot = name.find('.', start);
      const std::string_view label = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
      message.push_back(static_cast<std::uint8_t>(label.size()));
      message.insert(message.end(), label.begin(), label.end());
      if (dot == std::string_view::npos) break;
      start = dot + 1;
    }
    message.insert(message.end(), {0, 0, 1, 0, 1});
  }
  return FrameBuilder()
      .Ethernet({0, 0x11, 0x22, 0x33, 0x44, 0x01}, {0, 0x11, 0x22, 0x33, 0x44, source[3]}, 0x0800)
      .Ipv4(source, {10, 0, 0, 1}, 17)
      .Udp(static_cast<std::uint16_t>(40000 + id), 53)
      .Raw(message)
      .Build();
}

// Frames 1..6 as the list numbers them (0..5 here).
void WriteCapture(const std::string& path) {
  framegen::PcapWriter out(path);
  out.Write(DnsQuery({10, 0, 0, 5}, 1, {"b.example"}), 100, 0);
  out.Write(DnsQuery({10, 0, 0, 6}, 2, {"a.example"}), 100, 1000);
  out.Write(FrameBuilder()
                .Ethernet({0, 0x11, 0x22, 0x33, 0x44, 0x09}, {0, 0x11, 0x22, 0x33, 0x44, 0x05}, 0x0800)
                .Ipv4({10, 0, 0, 5}, {10, 0, 0, 9}, 6)
                .Tcp(1234, 80, 1, 0, 0x02)
                .Build(),
            100, 2000);
  out.Write(DnsQuery({10, 0, 0, 5}, 3, {"c.example", "a.example"}), 100, 3000);
  out.Write(FrameBuilder()
                .Ethernet(framegen::kBroadcast, {0, 0x11, 0x22, 0x33, 0x44, 0x05}, 0x0806)
                .Arp(1, {0, 0x11, 0x22, 0x33, 0x44, 0x05}, {10, 0, 0, 5}, {0, 0, 0, 0, 0, 0}, {10, 0, 0, 1})
                .Build(),
            100, 4000);
  out.Write(DnsQuery({10, 0, 0, 6}, 4, {"a.example"}), 100, 5000);
}

class FilterCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    capture_ = dir_.filePath(QStringLiteral("queries.pcap"));
    WriteCapture(capture_.toStdString());
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    prompt_.SetSilent(true);
    backend_.adapters.adapters = {{"eth0", ""}};
    backend_.files["eth0"] = capture_.toStdString();  // a capture on "eth0" gives the file's frames
    OpenWindow();
  }

  void OpenWindow() {
    window_.reset();
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/", &backend_);
  }

  void OpenCapture() {
    ASSERT_TRUE(window_->OpenCaptureFile(capture_));
    Settle();
    ASSERT_EQ(window_->Model().rowCount(), 6);
  }

  // Until nothing is read or matched any more and every row is announced.
  void Settle() {
    QElapsedTimer waited;
    waited.start();
    auto busy = [&] {
      return window_->Doc().IsReadingFile() || window_->Doc().IsCapturing() || window_->ListFilter().Running() ||
             window_->Model().TestsPending() || window_->Model().Sorting();
    };
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
      window_->Poll();
    } while (busy() && waited.elapsed() < 20000);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    window_->Poll();
  }

  std::vector<std::uint32_t> ShownNumbers() {
    std::vector<std::uint32_t> out;
    for (int r = 0; r < window_->Model().rowCount(); ++r) out.push_back(window_->Model().PacketNumberAt(r));
    return out;
  }

  // Shows frame `number` in the tree and makes its first line showing
  // `abbrev` the current one.
  void PointAt(std::uint32_t number, std::string_view abbrev) {
    window_->Doc().ShowPacket(number);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    PacketInfoBar& info = window_->InfoBar();
    const QModelIndex line = Find(info.Model(), {}, abbrev);
    ASSERT_TRUE(line.isValid()) << abbrev << "\n" << info.Model().Tree().ToText();
    info.View()->setCurrentIndex(line);
  }

  static QModelIndex Find(const DecodeTreeModel& model, const QModelIndex& parent, std::string_view abbrev) {
    for (int r = 0; r < model.rowCount(parent); ++r) {
      const QModelIndex i = model.index(r, 0, parent);
      const FieldInfo* f = model.Tree()[model.NodeAt(i)].field;
      if (f != nullptr && f->abbrev == abbrev) return i;
      if (const QModelIndex below = Find(model, i, abbrev); below.isValid()) return below;
    }
    return {};
  }

  // The action at `path` ("Apply as Filter", "Selected") of `menu`; null when it is not there.
  static QAction* ActionAt(QMenu* menu, std::initializer_list<const char*> path) {
    QAction* found = nullptr;
    for (const char* step : path) {
      if (menu == nullptr) return nullptr;
      found = nullptr;
      for (QAction* a : menu->actions()) {
        if (a->text() == QString::fromLatin1(step)) found = a;
      }
      if (found == nullptr) return nullptr;
      menu = found->menu();
    }
    return found;
  }

  void Trigger(std::initializer_list<const char*> path) {
    std::unique_ptr<QMenu> menu(window_->InfoBar().MakeMenu(nullptr));
    QAction* action = ActionAt(menu.get(), path);
    ASSERT_NE(action, nullptr) << *path.begin();
    action->trigger();
    Settle();
  }

  QStringList HistoryItems() {
    QStringList out;
    QComboBox* box = window_->ListFilter().History();
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
  }

  QTemporaryDir dir_;
  QString capture_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  testing::FakeBackend backend_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(FilterCommands, TheFieldReadsEitherLanguageAndSaysWhichOne) {
  OpenCapture();
  ListFilterBar& bar = window_->ListFilter();
  struct Case {
    const char* text;
    const char* language;
    std::vector<std::uint32_t> shown;
  };
  const Case cases[] = {
      {"dns", "Display filter", {0, 1, 3, 5}},
      {"ip.src == 10.0.0.6", "Display filter", {1, 5}},
      {"dns.qry.name == \"a.example\"", "Display filter", {1, 3, 5}},
      {"tcp port 80 or arp", "Capture filter", {2, 4}},
      {"src host 10.0.0.6", "Capture filter", {1, 5}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(bar.Apply(QString::fromLatin1(c.text))) << c.text << ": " << bar.Error().toStdString();
    Settle();
    EXPECT_EQ(ShownNumbers(), c.shown) << c.text;
    EXPECT_EQ(bar.LanguageMark()->text(), QString::fromLatin1(c.language)) << c.text;
    EXPECT_FALSE(bar.LanguageMark()->toolTip().isEmpty());
    EXPECT_EQ(bar.ShownLabel()->text(), QStringLiteral("Shown: %1 of 6").arg(c.shown.size()));
  }
  // Valid in neither: both reasons, and the list stays as it was.
  EXPECT_FALSE(bar.Apply(QStringLiteral("ip.src ==")));
  EXPECT_TRUE(bar.Error().contains(QStringLiteral("Not a display filter"))) << bar.Error().toStdString();
  EXPECT_TRUE(bar.Error().contains(QStringLiteral("Not a capture filter"))) << bar.Error().toStdString();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{1, 5}));
  EXPECT_EQ(bar.LanguageMark()->text(), QStringLiteral("Capture filter"));
}

TEST_F(FilterCommands, TheRulesAreReadAsTheCaptureFilterTheyAre) {
  OpenCapture();
  FilterRules rules;
  rules.eth.enabled = true;
  rules.eth.SetChecked(2, true);  // arp: a display filter too, but one that also takes RARP
  window_->Filters().SetRules(rules);
  window_->ListFilter().UseRules();
  Settle();
  EXPECT_EQ(window_->ListFilter().LanguageMark()->text(), QStringLiteral("Capture filter"));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{4}));
}

TEST_F(FilterCommands, ADisplayFilterTestsFramesAsTheyComeAndCountsTimeFromTheFirst) {
  ListFilterBar& bar = window_->ListFilter();
  // Frames 4, 5 and 6 come 3 ms or more after the first.
  ASSERT_TRUE(bar.Apply(QStringLiteral("frame.time_relative >= 0.003")));
  Settle();
  EXPECT_EQ(window_->Model().rowCount(), 0);
  window_->StartCapture();
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{3, 4, 5}));
  // A cleared buffer keeps the filter; the time counts from the new first frame.
  window_->ClearPackets();
  Settle();
  EXPECT_EQ(window_->Model().rowCount(), 0);
  window_->StartCapture();
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{3, 4, 5}));
  EXPECT_EQ(bar.ShownLabel()->text(), QStringLiteral("Shown: 3 of 6"));
}

TEST_F(FilterCommands, OtherDecodersMatchADisplayFilterAndFillTheColumnsAgain) {
  OpenCapture();
  ASSERT_TRUE(window_->ListFilter().Apply(QStringLiteral("udp")));
  Settle();
  ASSERT_TRUE(window_->Packets().AddFieldColumn(FindField("dns.qry.name")));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{0, 1, 3, 5}));
  EXPECT_EQ(window_->Model().index(0, kColumnCount).data().toString(), QStringLiteral("b.example"));
  ASSERT_TRUE(window_->ListFilter().Apply(QStringLiteral("dns")));
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{0, 1, 3, 5}));
  // As "Enabled Protocols..." applies a choice without DNS.
  window_->Doc().SetEnabledDecoders(EnabledDecoders::Classic());
  window_->Model().RowsChanged();
  Settle();
  EXPECT_TRUE(ShownNumbers().empty());
  window_->Doc().SetEnabledDecoders(EnabledDecoders::All());
  window_->Model().RowsChanged();
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{0, 1, 3, 5}));
  ASSERT_TRUE(window_->ListFilter().Apply(QStringLiteral("udp")));
  Settle();
  window_->Doc().SetEnabledDecoders(EnabledDecoders::Classic());
  window_->Model().RowsChanged();
  EXPECT_EQ(window_->Model().index(0, kColumnCount).data().toString(), QString());
}

TEST_F(FilterCommands, ManyFramesArrivingAtOnceAreAllTested) {
  // More frames than the list tests on the interface thread between two
  // looks: the worker matches them.
  const QString big = dir_.filePath(QStringLiteral("many.pcap"));
  std::vector<std::uint32_t> expected;
  {
    framegen::PcapWriter out(big.toStdString());
    for (std::uint32_t i = 0; i < 20000; ++i) {
      const bool query = i % 7 == 3;
      if (query) expected.push_back(i);
      out.Write(query ? DnsQuery({10, 0, 0, 5}, static_cast<std::uint16_t>(i), {"a.example"})
                      : FrameBuilder()
                            .Ethernet({0, 0x11, 0x22, 0x33, 0x44, 0x09}, {0, 0x11, 0x22, 0x33, 0x44, 0x05}, 0x0800)
                            .Ipv4({10, 0, 0, 5}, {10, 0, 0, 9}, 6)
                            .Tcp(1234, 80, i, 0, 0x10)
                            .Build(),
                100 + i / 1000, i % 1000 * 1000);
    }
  }
  ASSERT_TRUE(window_->ListFilter().Apply(QStringLiteral("dns")));
  ASSERT_TRUE(window_->OpenCaptureFile(big));
  // Every frame is in before the list looks.
  QElapsedTimer waited;
  waited.start();
  while (window_->Doc().IsReadingFile() && waited.elapsed() < 20000) QThread::msleep(5);
  Settle();
  EXPECT_EQ(window_->Doc().PacketCount(), 20000u);
  EXPECT_EQ(ShownNumbers(), expected);
}

TEST_F(FilterCommands, ApplyAsFilterFromATreeLineNarrowsTheList) {
  OpenCapture();
  PointAt(1, "dns.qry.name");
  Trigger({"Apply as Filter", "Selected"});
  EXPECT_EQ(window_->ListFilter().Field()->text(), QStringLiteral("dns.qry.name == \"a.example\""));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{1, 3, 5}));

  PointAt(5, "ip.src");
  Trigger({"Apply as Filter", "... and not Selected"});
  EXPECT_EQ(window_->ListFilter().Field()->text(),
            QStringLiteral("(dns.qry.name == \"a.example\") && !(ip.src == 10.0.0.6)"));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{3}));

  // Prepare only fills the field; the list stays.
  PointAt(3, "dns");
  Trigger({"Prepare as Filter", "... or Selected"});
  EXPECT_EQ(window_->ListFilter().Field()->text(),
            QStringLiteral("((dns.qry.name == \"a.example\") && !(ip.src == 10.0.0.6)) || (dns)"));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{3}));

  PointAt(0, "udp.srcport");
  Trigger({"Apply as Filter", "Not Selected"});
  EXPECT_EQ(window_->ListFilter().Field()->text(), QStringLiteral("!(udp.srcport == 40001)"));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(FilterCommands, CopyGivesTheValueTheNameAndTheFilter) {
  OpenCapture();
  PointAt(0, "ip.src");
  const std::pair<const char*, const char*> copies[] = {
      {"Value", "10.0.0.5"}, {"Field Name", "ip.src"}, {"As Filter", "ip.src == 10.0.0.5"}};
  for (const auto& [entry, text] : copies) {
    Trigger({"Copy", entry});
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromLatin1(text)) << entry;
  }
  // A line of free text offers Copy > Value alone: its text.
  PacketInfoBar& info = window_->InfoBar();
  const DecodeTree& tree = info.Model().Tree();
  QModelIndex plain;
  for (int r = 0; r < info.Model().rowCount() && !plain.isValid(); ++r) {
    const QModelIndex top = info.Model().index(r, 0);
    for (int k = 0; k < info.Model().rowCount(top); ++k) {
      const QModelIndex i = info.Model().index(k, 0, top);
      if (tree[info.Model().NodeAt(i)].field == nullptr) {
        plain = i;
        break;
      }
    }
  }
  if (!plain.isValid()) GTEST_SKIP() << "every line of the frame names a field";
  info.View()->setCurrentIndex(plain);
  std::unique_ptr<QMenu> menu(info.MakeMenu(nullptr));
  EXPECT_EQ(ActionAt(menu.get(), {"Apply as Filter"}), nullptr);
  EXPECT_EQ(ActionAt(menu.get(), {"Apply as Column"}), nullptr);
  EXPECT_EQ(ActionAt(menu.get(), {"Copy", "Field Name"}), nullptr);
  ActionAt(menu.get(), {"Copy", "Value"})->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), plain.data().toString());
}

TEST_F(FilterCommands, ApplyAsColumnShowsTheValuesSortsAndIsKeptUntilRemoved) {
  OpenCapture();
  PointAt(3, "dns.qry.name");
  Trigger({"Apply as Column"});
  PacketListModel& model = window_->Model();
  ASSERT_EQ(model.columnCount(), kColumnCount + 1);
  const int column = kColumnCount;
  EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("dns.qry.name"));
  const QStringList values = {"b.example", "a.example", "", "c.example,a.example", "", "a.example"};
  for (int r = 0; r < 6; ++r) EXPECT_EQ(model.index(r, column).data().toString(), values[r]) << r;
  // A second time changes nothing.
  Trigger({"Apply as Column"});
  EXPECT_EQ(model.columnCount(), kColumnCount + 1);

  // Sorted by its text (on the worker); rows without the field first.
  window_->Packets().View()->horizontalHeader()->sectionClicked(column);
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{2, 4, 1, 5, 0, 3}));
  // A numeric field sorts by number.
  PointAt(0, "udp.srcport");
  Trigger({"Apply as Column"});
  ASSERT_EQ(model.columnCount(), kColumnCount + 2);
  model.sort(column + 1);
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{2, 4, 0, 1, 3, 5}));
  // A filtered list shows the values of its rows.
  ASSERT_TRUE(window_->ListFilter().Apply(QStringLiteral("ip.src == 10.0.0.6")));
  Settle();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(0, column + 1).data().toString(), QStringLiteral("40002"));
  EXPECT_EQ(model.index(1, column + 1).data().toString(), QStringLiteral("40004"));

  // Kept in the settings: a new window shows both columns.
  OpenWindow();
  ASSERT_EQ(window_->Model().columnCount(), kColumnCount + 2);
  EXPECT_EQ(window_->Model().headerData(column + 1, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("udp.srcport"));
  OpenCapture();
  EXPECT_EQ(window_->Model().index(3, column).data().toString(), QStringLiteral("c.example,a.example"));

  // Removed from the heading's menu, and from the settings.
  PacketsPage& packets = window_->Packets();
  {
    std::unique_ptr<QMenu> fixed(packets.MakeHeaderMenu(kColumnSrcIp, nullptr));
    EXPECT_TRUE(fixed->actions().isEmpty());
    std::unique_ptr<QMenu> menu(packets.MakeHeaderMenu(column, nullptr));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Remove column \"dns.qry.name\""));
    menu->actions().front()->trigger();
  }
  ASSERT_EQ(window_->Model().columnCount(), kColumnCount + 1);
  EXPECT_EQ(window_->Model().index(1, column).data().toString(), QStringLiteral("40002"));
  OpenWindow();
  ASSERT_EQ(window_->Model().columnCount(), kColumnCount + 1);
  EXPECT_EQ(window_->Model().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("udp.srcport"));
}

TEST_F(FilterCommands, TheDropDownKeepsTheLastTwentyFiltersAcrossARestart) {
  OpenCapture();
  ListFilterBar& bar = window_->ListFilter();
  for (int i = 1; i <= 22; ++i) ASSERT_TRUE(bar.Apply(QStringLiteral("udp.srcport == %1").arg(40000 + i)));
  EXPECT_FALSE(bar.Apply(QStringLiteral("not ( a filter")));  // not kept
  ASSERT_TRUE(bar.Apply(QStringLiteral("udp.srcport == 40005")));  // moves up
  Settle();
  QStringList expected{QStringLiteral("udp.srcport == 40005")};
  for (int i = 22; expected.size() < 20; --i) {
    if (i != 5) expected << QStringLiteral("udp.srcport == %1").arg(40000 + i);
  }
  EXPECT_EQ(HistoryItems(), expected);
  EXPECT_EQ(bar.Field()->text(), QStringLiteral("udp.srcport == 40005"));

  OpenWindow();
  EXPECT_EQ(HistoryItems(), expected);
  EXPECT_TRUE(window_->ListFilter().Field()->text().isEmpty());
  OpenCapture();
  // Picking one from the drop-down applies it.
  QComboBox* box = window_->ListFilter().History();
  EXPECT_EQ(box->findText(QStringLiteral("udp.srcport == 40002")), -1);  // the oldest went
  const int pick = box->findText(QStringLiteral("udp.srcport == 40003"));
  ASSERT_GE(pick, 0);
  box->setCurrentIndex(pick);
  emit box->textActivated(box->itemText(pick));
  Settle();
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(HistoryItems().front(), QStringLiteral("udp.srcport == 40003"));
}

TEST_F(FilterCommands, FilterOnThisConversation) {
  OpenCapture();
  StatisticsPage& statistics = window_->StatisticsView();
  statistics.Refresh();
  const ConversationModel& model = statistics.Model();
  int row = -1;
  for (int r = 0; r < model.rowCount(); ++r) {
    if (model.Text(r, 0) == QStringLiteral("10.0.0.6")) row = r;
  }
  ASSERT_GE(row, 0);
  {
    std::unique_ptr<QMenu> menu(statistics.MakeMenu(nullptr));
    QAction* action = ActionAt(menu.get(), {"Filter on this conversation"});
    ASSERT_NE(action, nullptr);
    EXPECT_FALSE(action->isEnabled());  // nothing selected
  }
  statistics.View()->selectRow(row);
  std::unique_ptr<QMenu> menu(statistics.MakeMenu(nullptr));
  ActionAt(menu.get(), {"Filter on this conversation"})->trigger();
  Settle();
  EXPECT_EQ(window_->ListFilter().Field()->text(), QStringLiteral("ip.addr == 10.0.0.6 && ip.addr == 10.0.0.1"));
  EXPECT_EQ(ShownNumbers(), (std::vector<std::uint32_t>{1, 5}));
  EXPECT_EQ(window_->Tabs()->currentWidget(), &window_->Packets());
}

}  // namespace
}  // namespace qv
