// The Statistics page driven through the window: a small known capture is
// read, then the conversation table, its commands and the layer charts are
// checked through the model and the chart series.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QPieSeries>
#include <QPieSlice>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>

#include "framegen/frame_builder.h"
#include "ui/conversation_model.h"
#include "ui/filters_page.h"
#include "ui/layer_chart_page.h"
#include "ui/main_window.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/statistics_page.h"

namespace qv {
namespace {

using framegen::FrameBuilder;

class StatisticsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const framegen::Mac a{0, 1, 2, 3, 4, 5}, b{0, 1, 2, 3, 4, 6};
    const framegen::Ip4 one{10, 0, 0, 1}, two{10, 0, 0, 2};
    capture_ = dir_.filePath(QStringLiteral("known.pcap"));
    {
      framegen::PcapWriter out(capture_.toStdString());
      const auto tcp = FrameBuilder().Ethernet(b, a, 0x0800).Ipv4(one, two, 6).Tcp(1025, 80, 1, 0, 0x02).Build();
      out.Write(tcp, 1, 0);
      out.Write(tcp, 2, 0);
      out.Write(FrameBuilder().Ethernet(a, b, 0x0800).Ipv4(two, one, 17).Udp(53, 53).Text("abcd").Build(), 3, 0);
      out.Write(FrameBuilder().Ethernet(a, b, 0x0806).Arp(1, a, one, b, two).Build(), 4, 0);
    }
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    prompt_.SetSilent(true);
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
    ASSERT_TRUE(window_->OpenCaptureFile(capture_));
    QElapsedTimer waited;
    waited.start();
    while ((window_->Doc().IsReadingFile() || window_->Doc().PacketCount() < 4) && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    }
    window_->Doc().WaitForCapture();
    Page().Refresh();
  }

  StatisticsPage& Page() { return window_->StatisticsView(); }

  static QStringList Labels(const LayerChartPage* chart) {
    QStringList out;
    for (const QPieSlice* s : chart->Series()->slices()) out << QStringLiteral("%1=%2").arg(s->label()).arg(s->value());
    return out;
  }

  QTemporaryDir dir_;
  QString capture_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(StatisticsWindow, TableShowsEachDirectionAndSortsByColumn) {
  ConversationModel& model = Page().Model();
  ASSERT_EQ(model.rowCount(), 2);
  ASSERT_EQ(model.columnCount(), 7);
  const char* headings[] = {"Src IP", "Dest IP", "Packets", "Bytes", "Ports", "Src host name", "Dest host name"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headings[c]);
  EXPECT_EQ(model.Text(0, 0), "10.0.0.1");
  EXPECT_EQ(model.Text(0, 2), "2");
  EXPECT_EQ(model.Text(0, 3), "80");  // 2 x (20 + 20)
  EXPECT_EQ(model.Text(0, 4), "80, 1025");
  EXPECT_EQ(model.Text(1, 0), "10.0.0.2");
  EXPECT_EQ(model.Text(1, 4), "53");

  // Ascending by "Packets": the single UDP frame first; "Ports" keeps the order.
  model.sort(2);
  EXPECT_EQ(model.Text(0, 0), "10.0.0.2");
  model.sort(4);
  EXPECT_EQ(model.Text(0, 0), "10.0.0.1");
}

TEST_F(StatisticsWindow, CopyCommandsClearAndExport) {
  Page().View()->selectRow(0);
  Page().CopyColumn(4);
  EXPECT_EQ(QApplication::clipboard()->text(), "80, 1025");
  Page().CopyAll();
  EXPECT_EQ(QApplication::clipboard()->text().left(37), "10.0.0.1\r\n10.0.0.2\r\n2\r\n80\r\n80, 1025\r\n");

  window_->Doc().Statistics().conversations.SetUseDns(false);
  const QString path = dir_.filePath(QStringLiteral("statistics.txt"));
  ASSERT_TRUE(Page().ExportToFile(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  ASSERT_TRUE(text.startsWith("\tSTATISTICS FILE\t"));
  const QByteArray rule(69, '+');
  const QByteArray body = text.mid(text.indexOf("\r\n") + 2);

  EXPECT_TRUE(body.startsWith(rule + "\r\nSrc IP/Dest IP/Count/Bytes/Ports/Src Host Name/Dest Host Name\r\n" + rule +
                              "\r\n10.0.0.1 => 10.0.0.2\t2\t80\t80, 1025"))
      << body.toStdString();
  EXPECT_EQ(body.count("\r\n"), 5);

  EXPECT_FALSE(Page().ExportToFile(dir_.filePath(QStringLiteral("no-such-folder/statistics.txt"))));
  ASSERT_FALSE(prompt_.SilencedMessages().empty());
  EXPECT_EQ(prompt_.SilencedMessages().back(), "I couldn't open that file");

  emit Page().clearRequested();
  Page().Refresh();
  EXPECT_EQ(Page().Model().rowCount(), 0);
  EXPECT_FALSE(window_->Action(QStringLiteral("Clear Statistics"))->isEnabled());
}

TEST_F(StatisticsWindow, ChartsShowTheCountersAndRepaintOnlyWhileVisible) {
  window_->show();
  window_->Tabs()->setCurrentWidget(&Page());
  Page().Tabs()->setCurrentWidget(Page().Chart(3));
  QApplication::processEvents();

  const LayerChartPage* transport = Page().Chart(3);
  EXPECT_TRUE(transport->Repainting());
  for (int layer : {1, 2, 4}) EXPECT_FALSE(Page().Chart(layer)->Repainting()) << layer;
  EXPECT_EQ(Labels(transport), (QStringList{"=0", "UDP - 1=1", "TCP - 2=2"}));
  const QList<QPieSlice*> slices = transport->Series()->slices();
  EXPECT_EQ(slices[0]->color(), QColor(Qt::white));
  EXPECT_EQ(slices[1]->color(), QColor(255, 0, 255));
  EXPECT_EQ(slices[2]->color(), QColor(255, 0, 0));

  // A click on a slice of a protocol that the rule pages know ticks its row
  // and shows the Filters page.
  emit transport->Series()->clicked(slices[2]);
  EXPECT_EQ(window_->Tabs()->currentWidget(), &window_->Filters());
  EXPECT_TRUE(window_->Filters().Rules().ip.Checked(9));  // tcp
  window_->Tabs()->setCurrentWidget(&Page());

  Page().Tabs()->setCurrentWidget(Page().Chart(1));
  QApplication::processEvents();
  EXPECT_FALSE(transport->Repainting());
  EXPECT_EQ(Labels(Page().Chart(1)), (QStringList{"=0", "ARP - 1=1", "Ethernet II - 4=4"}));
  // Any other protocol's name goes to the clipboard.
  emit Page().Chart(1)->Series()->clicked(Page().Chart(1)->Series()->slices()[2]);
  EXPECT_EQ(QApplication::clipboard()->text(), "Ethernet II");
  EXPECT_EQ(window_->Tabs()->currentWidget(), &Page());

  window_->Tabs()->setCurrentIndex(0);
  QApplication::processEvents();
  EXPECT_FALSE(Page().Chart(1)->Repainting());

  // After Clear Statistics only the zero point is left.
  window_->ClearStatistics();
  window_->Tabs()->setCurrentWidget(&Page());
  QApplication::processEvents();
  EXPECT_EQ(Labels(Page().Chart(1)), QStringList{"=0"});
}

// The model over a table fed directly: IPv6 rows show in the same columns,
// and a sort by address puts the IPv4 rows first.
TEST(ConversationModelFamilies, Ipv6RowsShareTheColumnsAndSortAfterIpv4) {
  ConversationTable table;
  IpConversationSample six;
  six.ipv6 = true;
  six.source6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0a};
  six.destination6 = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x11, 0x22, 0xff, 0xfe, 0x33, 0x44, 0x55};
  six.totalLength = 1280;
  six.destinationPort = 443;
  six.sourcePort = 50000;
  table.Update(six);
  IpConversationSample four;
  four.source = {192, 168, 1, 10};
  four.destination = {192, 168, 1, 1};
  four.totalLength = 60;
  four.destinationPort = four.sourcePort = 53;
  table.Update(four);

  ConversationModel model(table);
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.CopyAllText(0), "2001:db8::a\r\nfe80::211:22ff:fe33:4455\r\n1\r\n1280\r\n443, 50000\r\n\r\n");
  EXPECT_EQ(model.data(model.index(0, 1), Qt::ToolTipRole).toString(), "fe80::211:22ff:fe33:4455");
  model.sort(0);
  EXPECT_EQ(model.Text(0, 0), "192.168.1.10");
  EXPECT_EQ(model.Text(1, 0), "2001:db8::a");
}

// A host name's tooltip says where it came from, and a name learned after a
// row's last frame shows at the next refresh.
TEST(ConversationModelNames, TheNameCellsTooltipSaysWhereTheNameCameFrom) {
  LearnedNames names;
  ConversationTable table;
  table.SetLearnedNames(&names);
  names.Learn(IpAddress::V4({93, 184, 216, 34}), "www.example.com", NameOrigin::Dns);
  IpConversationSample s;
  s.source = {192, 168, 1, 10};
  s.destination = {93, 184, 216, 34};
  s.totalLength = 60;
  s.destinationPort = 443;
  s.sourcePort = 50000;
  table.Update(s);
  table.ApplyName(IpAddress::V4(s.source), 0, kSourceNameColumn, "client.lan");

  ConversationModel model(table);
  const auto tip = [&model](int column) { return model.data(model.index(0, column), Qt::ToolTipRole).toString(); };
  EXPECT_EQ(model.Text(0, kDestinationNameColumn), "www.example.com");
  EXPECT_EQ(tip(kDestinationNameColumn), "From the traffic: DNS answer");
  EXPECT_EQ(tip(kSourceNameColumn), "From reverse DNS");
  EXPECT_EQ(tip(3), QVariant().toString());

  names.Learn(IpAddress::V4(s.source), "laptop.local", NameOrigin::Mdns);
  model.Refresh();
  EXPECT_EQ(model.Text(0, kSourceNameColumn), "laptop.local");
  EXPECT_EQ(tip(kSourceNameColumn), "From the traffic: mDNS answer");
}

}  // namespace
}  // namespace qv
