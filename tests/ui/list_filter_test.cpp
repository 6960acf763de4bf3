// The list filter over a known capture, in libpcap's language: the rows
// shown are exactly the frames libpcap's own filtering of the file keeps,
// frames that arrive later are tested as they come, and clearing the field
// shows all again.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>

#include "session_harness.h"
#include "ui/filters_page.h"
#include "ui/list_filter_bar.h"
#include "ui/main_window.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

namespace qv {
namespace {

const std::string kDemo = QUORVANET_SOURCE_DIR "/samples/demo.pcap";

// The indexes of the file's frames that `expression` accepts, as libpcap
// filters a savefile itself.
std::vector<std::uint32_t> MatchesInFile(const std::string& path, const char* expression) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  EXPECT_NE(p, nullptr) << errbuf;
  if (p == nullptr) return {};
  bpf_program program{};
  EXPECT_EQ(pcap_compile(p, &program, expression, 1, PCAP_NETMASK_UNKNOWN), 0);
  std::vector<std::uint32_t> out;
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  for (std::uint32_t i = 0; pcap_next_ex(p, &header, &data) == 1; ++i) {
    if (pcap_offline_filter(&program, header, data) != 0) out.push_back(i);
  }
  pcap_freecode(&program);
  pcap_close(p);
  return out;
}

class ListFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    prompt_.SetSilent(true);
    backend_.adapters.adapters = {{"eth0", ""}};
    backend_.files["eth0"] = kDemo;  // a capture on "eth0" gives the demo's frames
    window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/", &backend_);
  }

  // Until nothing is read or matched any more and every row is announced.
  void Settle() {
    QElapsedTimer waited;
    waited.start();
    auto busy = [&] {
      return window_->Doc().IsReadingFile() || window_->Doc().IsCapturing() || window_->ListFilter().Running();
    };
    while (busy() && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
      window_->Poll();
    }
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    window_->Poll();
  }

  std::vector<std::uint32_t> ShownNumbers() {
    std::vector<std::uint32_t> out;
    for (int r = 0; r < window_->Model().rowCount(); ++r) out.push_back(window_->Model().PacketNumberAt(r));
    return out;
  }

  QTemporaryDir dir_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  testing::FakeBackend backend_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(ListFilter, ShowsExactlyTheMatchingFramesAndAllAgainWhenCleared) {
  ASSERT_TRUE(window_->OpenCaptureFile(QString::fromStdString(kDemo)));
  Settle();
  const int all = window_->Model().rowCount();
  ASSERT_GT(all, 10);
  ListFilterBar& bar = window_->ListFilter();

  for (const char* expression : {"tcp port 80 or arp", "udp port 53", "ether broadcast", "ip6"}) {
    const std::vector<std::uint32_t> expected = MatchesInFile(kDemo, expression);
    ASSERT_TRUE(bar.SetExpression(QString::fromLatin1(expression)));
    Settle();
    EXPECT_EQ(ShownNumbers(), expected) << expression;
    EXPECT_EQ(bar.ShownLabel()->text(), QStringLiteral("Shown: %1 of %2").arg(expected.size()).arg(all));
    // None of these reads as a display filter.
    EXPECT_EQ(bar.LanguageMark()->text(), QStringLiteral("Capture filter")) << expression;
  }
  // Sorting keeps to the frames shown.
  window_->Model().sort(kColumnSize);
  std::vector<std::uint32_t> sorted = ShownNumbers();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, MatchesInFile(kDemo, "ip6"));

  EXPECT_FALSE(bar.SetExpression(QStringLiteral("tcp port")));
  EXPECT_FALSE(bar.Error().isEmpty());
  EXPECT_EQ(window_->Model().rowCount(), static_cast<int>(MatchesInFile(kDemo, "ip6").size()));

  bar.Field()->setText(QStringLiteral("arp"));
  bar.Field()->clear();  // the field's clear button
  Settle();
  EXPECT_EQ(window_->Model().rowCount(), all);
  EXPECT_TRUE(bar.ShownLabel()->isHidden());
}

TEST_F(ListFilter, FramesArrivingWhileTheFilterIsSetAreTestedAsTheyCome) {
  ListFilterBar& bar = window_->ListFilter();
  ASSERT_TRUE(bar.SetExpression(QStringLiteral("tcp")));
  Settle();
  EXPECT_EQ(window_->Model().rowCount(), 0);
  window_->StartCapture();
  Settle();
  const std::vector<std::uint32_t> expected = MatchesInFile(kDemo, "tcp");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ShownNumbers(), expected);
  EXPECT_EQ(window_->Doc().PacketCount(), static_cast<std::uint32_t>(MatchesInFile(kDemo, "").size()));

  // A cleared buffer keeps the filter for what comes next.
  window_->ClearPackets();
  Settle();
  EXPECT_EQ(window_->Model().rowCount(), 0);
  window_->StartCapture();
  Settle();
  EXPECT_EQ(ShownNumbers(), expected);
}

// Not the list filter, but the same capture: Start sets the Filters page's
// rules on the adapter it opens.
TEST_F(ListFilter, StartAppliesTheRulesOfTheFiltersPage) {
  FilterRules rules;
  rules.eth.enabled = true;
  rules.eth.SetChecked(2, true);  // arp
  window_->Filters().SetRules(rules);
  window_->StartCapture();
  Settle();
  const std::vector<std::uint32_t> arp = MatchesInFile(kDemo, "arp");
  ASSERT_FALSE(arp.empty());
  EXPECT_EQ(window_->Doc().PacketCount(), arp.size());
  EXPECT_TRUE(prompt_.SilencedMessages().empty());
}

}  // namespace
}  // namespace qv
