// Enabled Protocols: the dialog, the "Protocols" setting, and the window
// with every decoder beyond the classic set switched off, which must show
// exactly what the classic decoders show, until the dialog switches them on.

#include "ui/enabled_protocols_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>

#include "capture/packet_row.h"
#include "capture/settings.h"
#include "decode_helpers.h"
#include "ui/filters_page.h"
#include "ui/hex_dump_view.h"
#include "ui/main_window.h"
#include "ui/packet_info_bar.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

namespace qv {
namespace {

using framegen::Bytes;
using framegen::Hex;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

TEST(EnabledProtocolsDialog, ListsEveryOptionalDecoderWithItsDescription) {
  EnabledProtocolsDialog dialog(EnabledDecoders::All());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Enabled Protocols"));
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
    const QCheckBox* box = dialog.Box(static_cast<OptionalDecoder>(i));
    EXPECT_EQ(box->text(), Q(kOptionalDecoders[i].title));
    EXPECT_TRUE(box->isChecked()) << kOptionalDecoders[i].name;
    EXPECT_TRUE(labels.contains(Q(kOptionalDecoders[i].description))) << kOptionalDecoders[i].name;
  }
  EXPECT_EQ(dialog.EnableAllButton()->text(), QStringLiteral("Enable All"));
  EXPECT_EQ(dialog.DisableAllButton()->text(), QStringLiteral("Disable All"));

  dialog.DisableAllButton()->click();
  EXPECT_EQ(dialog.Chosen(), EnabledDecoders::Classic());
  dialog.Box(OptionalDecoder::Vlan)->click();
  EnabledDecoders vlanOnly = EnabledDecoders::Classic();
  vlanOnly.Set(OptionalDecoder::Vlan, true);
  EXPECT_EQ(dialog.Chosen(), vlanOnly);
  dialog.EnableAllButton()->click();
  EXPECT_EQ(dialog.Chosen(), EnabledDecoders::All());

  // The boxes start from the set they are given.
  EnabledDecoders some = EnabledDecoders::All();
  some.Set(OptionalDecoder::Ipv6, false);
  some.Set(OptionalDecoder::Gre, false);
  EXPECT_EQ(EnabledProtocolsDialog(some).Chosen(), some);
}

// "Protocols"/<name>: only a stored 0 switches a decoder off. The section is
// read with or without the settings marker: the dialog writes it on its own.
TEST(EnabledProtocolsSetting, OnlyAPlainZeroSwitchesADecoderOff) {
  struct Case {
    const char* stored;  // as the INI file holds it; null: absent
    bool on;
  };
  const Case cases[] = {{nullptr, true}, {"0", false}, {"1", true},   {"2", true},
                        {"-1", true},    {"off", true}, {"", true},   {"0x0", true}};
  for (const Case& c : cases) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("q.ini"));
    {
      QSettings raw(path, QSettings::IniFormat);
      if (c.stored != nullptr) raw.setValue(QStringLiteral("Protocols/vlan"), QString::fromLatin1(c.stored));
      raw.setValue(QStringLiteral("Protocols/mpls"), 0);
    }
    const QtSettingsStore store(path);
    const EnabledDecoders read = LoadSettings(store, "/p/").decoders;
    EXPECT_EQ(read.IsOn(OptionalDecoder::Vlan), c.on) << (c.stored != nullptr ? c.stored : "absent");
    EXPECT_FALSE(read.IsOn(OptionalDecoder::Mpls));
    EXPECT_TRUE(read.IsOn(OptionalDecoder::Ipv6));
    EXPECT_EQ(ResolveRuntimeOptions(LoadSettings(store, "/p/")).decoders, read);
  }
}

TEST(EnabledProtocolsSetting, SavedAsOneAndZeroUnderEachDecodersName) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("q.ini"));
  EnabledDecoders chosen = EnabledDecoders::All();
  chosen.Set(OptionalDecoder::Icmpv6, false);
  chosen.Set(OptionalDecoder::Vxlan, false);
  Settings s;
  s.decoders = chosen;
  s.filterMatchVlan = true;
  {
    QtSettingsStore store(path);
    ASSERT_TRUE(SaveSettings(store, s));
    ASSERT_TRUE(store.Flush());
  }
  QSettings raw(path, QSettings::IniFormat);
  for (const OptionalDecoderInfo& info : kOptionalDecoders) {
    const bool on = info.name != "icmpv6" && info.name != "vxlan";
    EXPECT_EQ(raw.value(QStringLiteral("Protocols/") + Q(info.name)).toString(), on ? QStringLiteral("1") : QStringLiteral("0"))
        << info.name;
  }
  EXPECT_EQ(raw.value(QStringLiteral("Filters/MatchVlan")).toInt(), 1);
  const QtSettingsStore store(path);
  const Settings back = LoadSettings(store, "/p/");
  EXPECT_EQ(back.decoders, chosen);
  EXPECT_TRUE(back.filterMatchVlan);
  EXPECT_TRUE(ResolveRuntimeOptions(back).filterMatchVlan);
}

// "Filters"/"MatchVlan": off unless a marked store holds 1.
TEST(EnabledProtocolsSetting, MatchVlanIsOffUnlessStoredAsOne) {
  const struct {
    std::optional<int> stored;
    bool marked;
    bool on;
  } cases[] = {{std::nullopt, true, false}, {1, true, true}, {0, true, false}, {2, true, false}, {1, false, false}};
  for (const auto& c : cases) {
    MemorySettingsStore store;
    if (c.marked) store.SetInt("Test", "TestValue", kSettingsMarker);
    if (c.stored) store.SetInt("Filters", "MatchVlan", *c.stored);
    EXPECT_EQ(LoadSettings(store, "/p/").filterMatchVlan, c.on) << c.stored.value_or(-1) << " " << c.marked;
  }
}

// A frame with an 802.1Q tag and an IPv6 datagram, both UDP to port 53:
// frames the classic decoders leave undecoded past the Ethernet header.
const Bytes kTagged = Hex(
    "020000000002 020000000001 8100 0064 0800"
    "4500001c 00000000 40110000 0a000001 0a000002  03e8 0035 0008 0000");
const Bytes kIpv6 = Hex(
    "020000000002 020000000001 86dd"
    "60000000 0008 11 40 20010db8000000000000000000000001 20010db8000000000000000000000002"
    "03e8 0035 0008 0000");

// What the classic decoders show; held here so that no later decoder changes
// it unnoticed.
constexpr const char* kClassicTaggedTree =
    "Ethernet II [0,14)\n"
    "  Destination MAC: 02:00:00:00:00:02 [0,6)\n"
    "  Source MAC: 02:00:00:00:00:01 [6,12)\n"
    "  Type: 0x8100 [12,14)\n";
constexpr const char* kClassicIpv6Tree =
    "Ethernet II [0,14)\n"
    "  Destination MAC: 02:00:00:00:00:02 [0,6)\n"
    "  Source MAC: 02:00:00:00:00:01 [6,12)\n"
    "  Type: 0x86dd - IPv6 [12,14)\n"
    "IPv6\n";

class EnabledProtocolsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.filePath(QStringLiteral("two.pcap"));
    {
      framegen::PcapWriter out(path_.toStdString());
      out.Write(kTagged, 1, 0);
      out.Write(kIpv6, 2, 0);
    }
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    // The classic behaviour, as the setting keeps it.
    ASSERT_TRUE(SaveEnabledDecoders(*store_, EnabledDecoders::Classic()));
    prompt_.SetSilent(true);
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
    ASSERT_TRUE(window_->OpenCaptureFile(path_));
    QElapsedTimer waited;
    waited.start();
    while ((window_->Doc().IsReadingFile() || window_->Model().rowCount() < 2) && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
      window_->Poll();
    }
    ASSERT_EQ(window_->Model().rowCount(), 2);
  }

  void Select(int row) {
    window_->Packets().View()->selectRow(row);
    QApplication::processEvents();
  }

  // The bars show exactly what `decoders` make of `frame`: the tree line by
  // line with its ranges, the dump byte by byte with its layer colours.
  void ExpectBarsShow(const Bytes& frame, EnabledDecoders decoders) {
    const testing::TreeDecode expected = testing::DecodeTreeOf(frame, nullptr, decoders);
    EXPECT_EQ(window_->InfoBar().Model().Tree().ToText(), expected.text);
    HexDumpView reference;
    reference.ShowFrame(frame, expected.layerStarts);
    const HexDumpView& dump = window_->DataView();
    EXPECT_EQ(dump.AddressText(), reference.AddressText());
    EXPECT_EQ(dump.HexText(), reference.HexText());
    EXPECT_EQ(dump.AsciiText(), reference.AsciiText());
    for (std::uint32_t i = 0; i < frame.size(); ++i) {
      EXPECT_EQ(dump.ColourOfByte(i), reference.ColourOfByte(i)) << "byte " << i;
    }
  }

  // Every column of both rows as `decoders` read the frames.
  void ExpectRowsRead(EnabledDecoders decoders) {
    for (int row = 0; row < 2; ++row) {
      const std::optional<PacketRecord> record = window_->Doc().Buffer().Find(window_->Model().PacketNumberAt(row));
      ASSERT_TRUE(record);
      const PacketSummary summary = testing::DecodeSummaryOf(record->bytes, decoders).row;
      for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(window_->Model().Text(row, column).toStdString(), ColumnText(*record, summary, column))
            << "row " << row << " column " << column;
      }
    }
  }

  // "Enabled Protocols..." from the View menu; `use` works the dialog.
  void RunDialog(const std::function<void(EnabledProtocolsDialog&)>& use) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<EnabledProtocolsDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      seen = true;
      use(*dialog);
    });
    QAction* action = window_->Action(QStringLiteral("Enabled Protocols..."));
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_TRUE(seen);
  }

  QTemporaryDir dir_;
  QString path_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(EnabledProtocolsWindow, AllSwitchedOffShowsTheClassicTreeAndDump) {
  EXPECT_EQ(window_->Doc().Decoders(), EnabledDecoders::Classic());
  Select(0);
  EXPECT_EQ(window_->InfoBar().Model().Tree().ToText(), kClassicTaggedTree);
  ExpectBarsShow(kTagged, EnabledDecoders::Classic());
  Select(1);
  EXPECT_EQ(window_->InfoBar().Model().Tree().ToText(), kClassicIpv6Tree);
  ExpectBarsShow(kIpv6, EnabledDecoders::Classic());
  ExpectRowsRead(EnabledDecoders::Classic());
}

TEST_F(EnabledProtocolsWindow, SwitchingThemOnInTheDialogChangesTheBarsAndRowsAtOnceAndIsStored) {
  Select(0);
  // Cancel changes nothing.
  RunDialog([](EnabledProtocolsDialog& d) {
    d.EnableAllButton()->click();
    d.reject();
  });
  EXPECT_EQ(window_->Doc().Decoders(), EnabledDecoders::Classic());
  EXPECT_EQ(window_->InfoBar().Model().Tree().ToText(), kClassicTaggedTree);

  // The list's rows as read so far were read with the classic decoders.
  ExpectRowsRead(EnabledDecoders::Classic());
  RunDialog([](EnabledProtocolsDialog& d) {
    for (std::size_t i = 0; i < std::size(kOptionalDecoders); ++i) {
      EXPECT_FALSE(d.Box(static_cast<OptionalDecoder>(i))->isChecked()) << "the dialog shows the session's set";
    }
    d.EnableAllButton()->click();
    d.accept();
  });
  EXPECT_EQ(window_->Doc().Decoders(), EnabledDecoders::All());
  // The selected packet is decoded again at once, and so is every row.
  EXPECT_EQ(window_->Doc().ShownPacket(), 0);
  EXPECT_NE(window_->InfoBar().Model().Tree().ToText(), kClassicTaggedTree);
  ExpectBarsShow(kTagged, EnabledDecoders::All());
  ExpectRowsRead(EnabledDecoders::All());
  Select(1);
  ExpectBarsShow(kIpv6, EnabledDecoders::All());

  // Stored at once, without waiting for the window to close.
  const QtSettingsStore reread(dir_.filePath(QStringLiteral("settings.ini")));
  for (const OptionalDecoderInfo& info : kOptionalDecoders) {
    EXPECT_EQ(reread.GetInt("Protocols", std::string(info.name)), 1) << info.name;
  }

  // One click brings the classic view back, and it stays at the next start.
  RunDialog([](EnabledProtocolsDialog& d) {
    d.DisableAllButton()->click();
    d.accept();
  });
  EXPECT_EQ(window_->InfoBar().Model().Tree().ToText(), kClassicIpv6Tree);
  ExpectBarsShow(kIpv6, EnabledDecoders::Classic());
  window_->close();
  window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
  EXPECT_EQ(window_->Doc().Decoders(), EnabledDecoders::Classic());
}

TEST_F(EnabledProtocolsWindow, TheActionIsInTheViewMenuAndASortedListStaysSorted) {
  bool inViewMenu = false;
  for (QAction* menu : window_->menuBar()->actions()) {
    if (menu->text() != QStringLiteral("&View") || menu->menu() == nullptr) continue;
    for (QAction* a : menu->menu()->actions()) inViewMenu = inViewMenu || a->text() == QStringLiteral("Enabled Protocols...");
  }
  EXPECT_TRUE(inViewMenu);

  window_->Model().sort(kColumnProtocols);
  Select(1);
  const std::uint32_t selected = window_->Model().PacketNumberAt(1);
  RunDialog([](EnabledProtocolsDialog& d) {
    d.EnableAllButton()->click();
    d.accept();
  });
  EXPECT_EQ(window_->Model().SortColumn(), kColumnProtocols);
  EXPECT_LE(window_->Model().Text(0, kColumnProtocols), window_->Model().Text(1, kColumnProtocols));
  // The selection stays on its packet, wherever the sort put it.
  EXPECT_EQ(window_->Model().PacketNumberAt(window_->Packets().SelectedRow()), selected);
  EXPECT_EQ(window_->Doc().ShownPacket(), static_cast<std::int64_t>(selected));
}

// The VLAN option of the Filters page comes from the settings and goes back
// to them when the window closes.
TEST_F(EnabledProtocolsWindow, MatchVlanFollowsTheSettingAndShapesTheRulesExpression) {
  CFiltersPage& filters = window_->Filters();
  EXPECT_FALSE(filters.MatchVlan());
  FilterRules rules;
  rules.ports.enabled = true;
  rules.ports.AddOnTop("53", std::string(kDirectionBoth));
  filters.SetRules(rules);
  EXPECT_EQ(filters.Expression(), BuildFilterExpression(rules));
  filters.MatchVlanBox()->click();
  EXPECT_EQ(filters.Expression(), BuildFilterExpression(rules, FilterBuildOptions{true}));
  EXPECT_EQ(filters.Preview()->text().toStdString(), filters.Expression());
  EXPECT_TRUE(filters.PreviewCompiles());

  window_->close();
  window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/");
  EXPECT_TRUE(window_->Filters().MatchVlan());
  EXPECT_EQ(store_->GetInt("Filters", "MatchVlan"), 1);
}

}  // namespace
}  // namespace qv
