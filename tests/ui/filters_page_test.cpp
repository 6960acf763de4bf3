// The Filters page driven through its controls, offscreen: the strip, the
// rule pages' entries and enabling, "Zastosuj", the preview, and the rule
// files it loads and keeps.

#include "ui/filters_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "capture/settings_store.h"
#include "filters/rule_file.h"
#include "recording_prompt.h"
#include "ui/filter_rule_pages.h"

namespace qv {
namespace {

using testing::RecordingPrompt;

class FiltersPage : public ::testing::Test {
 protected:
  void SetUp() override { Make(); }
  void Make() {
    page_.reset();
    page_ = std::make_unique<CFiltersPage>(doc_, prompt_, Folder());
  }
  std::string Folder() const { return dir_.path().toStdString() + "/"; }
  QString DefaultFile() const { return dir_.filePath(QString::fromLatin1(kDefaultRuleFileName)); }
  template <typename P>
  P& Tab(int i) {
    return *static_cast<P*>(page_->Page(i));
  }
  AddressRulesPage& Addresses(int tab) { return Tab<AddressRulesPage>(tab); }

  QTemporaryDir dir_;
  RecordingPrompt prompt_;
  MemorySettingsStore settings_;
  CTalvenorDoc doc_{prompt_, settings_};
  std::unique_ptr<CFiltersPage> page_;
};

TEST_F(FiltersPage, StripAndRulePagesInTheirOrder) {
  for (const char* text : {"Apply", "Load", "Save", "AND", "OR", "About filters"}) {
    EXPECT_NE(page_->StripButton(QString::fromLatin1(text)), nullptr) << text;
  }
  QStringList tabs;
  for (int i = 0; i < page_->RuleTabs()->count(); ++i) tabs << page_->RuleTabs()->tabText(i);
  EXPECT_EQ(tabs, QStringList({"ETH rules", "IP rules", "TCP rules", "ICMP rules", "Size", "MAC addr", "IP addr",
                               "Ports", "Advanced rules"}));
  EXPECT_EQ(Tab<ProtocolRulesPage>(0).Group()->title(), QStringLiteral("ETHERNET PROTOCOLS"));
  EXPECT_EQ(Tab<ProtocolRulesPage>(0).List()->count(), 15);
  EXPECT_EQ(Tab<ProtocolRulesPage>(3).List()->item(0)->text(), QStringLiteral("echoreply"));
  EXPECT_EQ(Addresses(5).List()->headerItem()->text(0), QStringLiteral("Adresy MAC"));
  EXPECT_EQ(Addresses(7).List()->headerItem()->text(1), QStringLiteral("Kierunek"));
  EXPECT_EQ(Tab<SizeRulesPage>(4).Number()->text(), QStringLiteral("1"));
  EXPECT_EQ(page_->Page(8)->ApplyButton(), nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(page_->Page(i)->ApplyButton()->text(), QStringLiteral("Zastosuj"));

  // Every click flips the operator, on either button.
  QPushButton* andButton = page_->StripButton(QStringLiteral("AND"));
  QPushButton* orButton = page_->StripButton(QStringLiteral("OR"));
  EXPECT_TRUE(andButton->isChecked());
  andButton->click();
  EXPECT_TRUE(orButton->isChecked());
  EXPECT_FALSE(andButton->isChecked());
  EXPECT_FALSE(page_->Rules().joinAnd);
  andButton->click();
  EXPECT_TRUE(page_->Rules().joinAnd);
  andButton->click();
  orButton->click();
  EXPECT_TRUE(andButton->isChecked());
}

TEST_F(FiltersPage, TickingAndTypingBuildTheExpressionShownInThePreview) {
  auto& eth = Tab<ProtocolRulesPage>(0);
  EXPECT_FALSE(eth.List()->isEnabled());
  eth.Group()->setChecked(true);
  EXPECT_TRUE(eth.List()->isEnabled());
  eth.List()->item(2)->setCheckState(Qt::Checked);  // arp
  auto& ip = Tab<ProtocolRulesPage>(1);
  ip.Group()->setChecked(true);
  ip.List()->item(9)->setCheckState(Qt::Checked);  // tcp
  ip.IgnoreRadio()->setChecked(true);
  EXPECT_EQ(page_->Preview()->text(), QStringLiteral(" (arp )  and (not ( tcp )) "));
  EXPECT_TRUE(page_->PreviewCompiles());

  auto& size = Tab<SizeRulesPage>(4);
  size.Group()->setChecked(true);
  size.Relation()->setCurrentIndex(1);
  size.Number()->setText(QStringLiteral("60"));
  EXPECT_EQ(page_->Expression(), " (arp )  and (not ( tcp ))  and ( ( less 60 ) and ( greater 60 ) ) ");

  // A rule that libpcap refuses turns the mark red, with its reason.
  FilterRules rules = page_->Rules();
  rules.advanced = {true, {{"tcp port", true}}, false};
  page_->SetRules(rules);
  EXPECT_FALSE(page_->PreviewCompiles());
  EXPECT_FALSE(page_->PreviewMark()->toolTip().isEmpty());

  EXPECT_TRUE(page_->TickProtocol("udp"));
  EXPECT_TRUE(page_->Rules().ip.Checked(8));
  EXPECT_EQ(ip.List()->item(8)->checkState(), Qt::Checked);
  EXPECT_FALSE(page_->TickProtocol("udp"));
  EXPECT_TRUE(page_->TickProtocol("ipx"));
  EXPECT_FALSE(page_->TickProtocol("smtp"));
}

TEST_F(FiltersPage, AddressEntriesAreCheckedAndGoOnTop) {
  struct Entry {
    int tab;
    std::vector<QString> typed;  // one box, or the four IP fields
    const char* direction;
    const char* stored;  // null: refused with `message`
    const char* message;
  };
  const Entry entries[] = {
      {5, {"aa:bb:cc:dd:ee:ff"}, "both", "AA:BB:CC:DD:EE:FF", nullptr},
      {5, {"AA:BB:CC:DD:EE"}, "both", nullptr, "Błędny adres MAC"},
      {5, {"1:2:3:4:5:6"}, "source", "1:2:3:4:5:6", nullptr},
      {6, {"", "", "", ""}, "both", nullptr, "Nieprawidłowy adres IP!"},
      {6, {"10", "", "0", "1"}, "destination", "10.0.0.1", nullptr},
      {7, {""}, "both", nullptr, "Nieprawidłowy numer portu!"},
      {7, {"65536"}, "both", nullptr, "Nieprawidłowy numer portu!"},
      {7, {"4294967376"}, "both", nullptr, "Nieprawidłowy numer portu!"},
      {7, {"65535"}, "both", "65535", nullptr},
  };
  for (const Entry& e : entries) {
    AddressRulesPage& page = Addresses(e.tab);
    page.Group()->setChecked(true);
    for (std::size_t i = 0; i < e.typed.size(); ++i) page.Input(static_cast<int>(i))->setText(e.typed[i]);
    page.Direction(e.direction)->setChecked(true);
    const int before = page.List()->topLevelItemCount();
    const std::size_t messages = prompt_.Messages().size();
    page.AddButton()->click();
    if (e.stored != nullptr) {
      ASSERT_EQ(page.List()->topLevelItemCount(), before + 1) << e.stored;
      EXPECT_EQ(page.List()->topLevelItem(0)->text(0), QString::fromUtf8(e.stored));
      EXPECT_EQ(page.List()->topLevelItem(0)->text(1), QString::fromLatin1(e.direction));
      EXPECT_EQ(prompt_.Messages().size(), messages);
    } else {
      EXPECT_EQ(page.List()->topLevelItemCount(), before) << e.message;
      ASSERT_EQ(prompt_.Messages().size(), messages + 1);
      EXPECT_EQ(prompt_.Messages().back(), e.message);
    }
  }
  EXPECT_EQ(page_->Expression(),
            " ( ether src 1:2:3:4:5:6 or  ether host AA:BB:CC:DD:EE:FF)  and ( dst host 10.0.0.1)  and ( port 65535) ");

  // Delete needs a selection, Delete All a row; both off with the page.
  AddressRulesPage& mac = Addresses(5);
  EXPECT_FALSE(mac.DeleteButton()->isEnabled());
  EXPECT_TRUE(mac.DeleteAllButton()->isEnabled());
  mac.List()->topLevelItem(1)->setSelected(true);
  EXPECT_TRUE(mac.DeleteButton()->isEnabled());
  mac.DeleteButton()->click();
  EXPECT_EQ(page_->Rules().mac.entries, (std::vector<AddressEntry>{{"1:2:3:4:5:6", "source"}}));
  mac.Group()->setChecked(false);
  EXPECT_FALSE(mac.DeleteAllButton()->isEnabled());
  mac.Group()->setChecked(true);
  mac.DeleteAllButton()->click();
  EXPECT_TRUE(page_->Rules().mac.entries.empty());
  EXPECT_FALSE(mac.DeleteAllButton()->isEnabled());
}

TEST_F(FiltersPage, AdvancedButtonsFollowTheInputListAndSelection) {
  auto& adv = Tab<AdvancedRulesPage>(8);
  const auto enabled = [&] {
    std::vector<bool> on;
    for (const char* b : {"Add", "Delete", "Delete All", "Load", "Check"}) on.push_back(adv.Button(b)->isEnabled());
    return on;
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, false}));
  adv.Group()->setChecked(true);
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, false}));
  adv.Input()->setText(QStringLiteral(" \t "));
  EXPECT_EQ(enabled(), (std::vector<bool>{true, false, false, false, true}));
  adv.Button(QStringLiteral("Check"))->click();
  EXPECT_EQ(prompt_.Messages(), std::vector<std::string>{"There is no filter!"});

  // Not capturing: the check asks for an adapter; cancelled, nothing is added.
  adv.Input()->setText(QStringLiteral("tcp port 80"));
  adv.Button(QStringLiteral("Add"))->click();
  EXPECT_TRUE(page_->Rules().advanced.rules.empty());

  FilterRules rules = page_->Rules();
  rules.advanced.rules = {{"udp", false}, {"arp", true}};
  page_->SetRules(rules);
  EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true, false, true}));
  adv.List()->item(0)->setSelected(true);
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true, true}));
  adv.Button(QStringLiteral("Load"))->click();
  EXPECT_EQ(adv.Input()->text(), QStringLiteral("udp"));
  adv.List()->item(0)->setCheckState(Qt::Checked);
  adv.AndRadio()->setChecked(true);
  EXPECT_EQ(page_->Expression(), " ( ( udp )  and  ( arp ) ) ");
}

TEST_F(FiltersPage, ZastosujOnlyWhileCapturingAfterAChangeOnItsPage) {
  auto& eth = Tab<ProtocolRulesPage>(0);
  auto& tcp = Tab<ProtocolRulesPage>(2);
  eth.Group()->setChecked(true);
  EXPECT_FALSE(eth.ApplyButton()->isEnabled());  // not capturing
  page_->SetCapturing(true);
  EXPECT_FALSE(eth.ApplyButton()->isEnabled());  // no change since
  eth.List()->item(0)->setCheckState(Qt::Checked);
  EXPECT_TRUE(eth.ApplyButton()->isEnabled());
  EXPECT_FALSE(tcp.ApplyButton()->isEnabled());
  // No handle open behind the test's capture flag: applying fails silently,
  // and the button goes off all the same.
  eth.ApplyButton()->click();
  EXPECT_FALSE(eth.ApplyButton()->isEnabled());
  EXPECT_TRUE(prompt_.Messages().empty());
  eth.List()->item(1)->setCheckState(Qt::Checked);
  page_->SetCapturing(false);
  EXPECT_FALSE(eth.ApplyButton()->isEnabled());
}

TEST_F(FiltersPage, SizeNumberThatIsNotDigitsIsClearedWhenLeft) {
  auto& size = Tab<SizeRulesPage>(4);
  size.Group()->setChecked(true);
  size.Number()->setText(QStringLiteral("6o"));
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(size.Number(), &out);
  EXPECT_TRUE(size.Number()->text().isEmpty());
  EXPECT_EQ(page_->Expression(), "");
}

TEST_F(FiltersPage, RuleFilesLoadWholeOrNotAtAllAndTheDefaultOneIsKept) {
  // No default file at first: the initial state, silently.
  EXPECT_EQ(page_->Rules(), FilterRules{});
  EXPECT_TRUE(prompt_.Messages().empty());

  FilterRules rules;
  rules.joinAnd = false;
  rules.icmp = {true, 0x11, false};
  rules.size = {true, -1, "64"};
  rules.ports = {true, {{"80", "both"}}};
  rules.advanced = {true, {{"tcp port 80 and host 10.0.0.1", true}}, true};
  const QString saved = dir_.filePath(QStringLiteral("rule.rul"));
  page_->SetRules(rules);
  ASSERT_TRUE(page_->SaveRules(saved));
  page_->SetRules({});

  const QString damaged = dir_.filePath(QStringLiteral("damaged.rul"));
  QFile file(damaged);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("QUORVANET LOG FILE\r\n1\r\n0\r\n1 4 1\r\n0 0");
  file.close();
  EXPECT_FALSE(page_->LoadRules(damaged));
  EXPECT_FALSE(page_->LoadRules(dir_.filePath(QStringLiteral("missing.rul"))));
  EXPECT_EQ(page_->Rules(), FilterRules{});
  ASSERT_EQ(prompt_.Messages().size(), 2u);
  EXPECT_EQ(prompt_.Messages()[1], "Cannot open file " + dir_.filePath(QStringLiteral("missing.rul")).toStdString());

  ASSERT_TRUE(page_->LoadRules(saved));
  EXPECT_EQ(page_->Rules(), rules);
  EXPECT_EQ(Tab<SizeRulesPage>(4).Relation()->currentIndex(), -1);
  EXPECT_TRUE(page_->StripButton(QStringLiteral("OR"))->isChecked());
  EXPECT_EQ(Tab<AdvancedRulesPage>(8).List()->item(0)->checkState(), Qt::Checked);

  // Written when the page goes, read when the next one comes.
  Make();
  EXPECT_TRUE(QFile::exists(DefaultFile()));
  EXPECT_EQ(page_->Rules(), rules);
  EXPECT_EQ(Tab<ProtocolRulesPage>(3).IgnoreRadio()->isChecked(), true);
  EXPECT_EQ(prompt_.Messages().size(), 2u);
}

}  // namespace
}  // namespace qv
