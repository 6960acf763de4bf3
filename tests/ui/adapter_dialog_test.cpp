// The adapter dialog and the Options dialog list the adapters as a Linux user
// chooses between them.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <QComboBox>
#include <QTreeWidget>

#include "ui/adapter_dialog.h"
#include "ui/options_dialog.h"

namespace qv {
namespace {

constexpr std::uint32_t kUpRunning = PCAP_IF_UP | PCAP_IF_RUNNING;

const std::vector<Adapter> kAdapters = {
    {"any", "Pseudo-device that captures on all interfaces", {}, kUpRunning, 113},
    {"dbus-session", "D-Bus session bus", {}, 0, 231},
    {"lo", "", {"127.0.0.1"}, kUpRunning | PCAP_IF_LOOPBACK, 1},
    {"eth0", "", {"192.168.1.20"}, kUpRunning, 1},
};

TEST(AdapterDialog, OrdersGreysAndPreselects) {
  AdapterDialog dialog(kAdapters);
  QTreeWidget* list = dialog.List();
  ASSERT_EQ(list->topLevelItemCount(), 4);
  QStringList names;
  for (int i = 0; i < 4; ++i) names << list->topLevelItem(i)->text(0);
  EXPECT_EQ(names, (QStringList{"any", "lo", "eth0", "dbus-session"}));
  EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("all interfaces (cooked headers), up, running"));
  EXPECT_EQ(list->topLevelItem(2)->text(2), QStringLiteral("192.168.1.20, up, running"));
  EXPECT_EQ(list->topLevelItem(3)->text(2), QStringLiteral("no network frames: D-Bus messages"));
  EXPECT_EQ(list->topLevelItem(3)->foreground(0).color(), QColor(Qt::gray));
  EXPECT_NE(list->topLevelItem(2)->foreground(0).color(), QColor(Qt::gray));

  // eth0 is offered; OK answers with its index in the library's list.
  ASSERT_NE(list->currentItem(), nullptr);
  EXPECT_EQ(list->currentItem()->text(0), QStringLiteral("eth0"));
  dialog.accept();
  EXPECT_EQ(dialog.ChosenIndex(), std::optional<std::size_t>(3));
}

TEST(AdapterDialog, OptionsListsTheSameWayAndKeepsTheName) {
  OptionsValues values;
  values.currentDevice = "lo";
  OptionsDialog dialog(kAdapters, values);
  QComboBox* list = dialog.AdapterList();
  ASSERT_EQ(list->count(), 4);
  EXPECT_EQ(list->itemData(3).toString(), QStringLiteral("dbus-session"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("lo \u2014 127.0.0.1, up, running, loopback"));
  EXPECT_EQ(list->currentIndex(), 1);
  list->setCurrentIndex(2);
  EXPECT_EQ(dialog.Validate(), QString());
  EXPECT_EQ(dialog.Values().currentDevice, "eth0");
}

}  // namespace
}  // namespace qv
