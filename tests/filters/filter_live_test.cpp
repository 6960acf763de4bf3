// Filters on a real capture: a veth pair in a namespace of the test's own,
// rules built into an expression, applied at Start and while capturing, and
// expressions checked with the capture library's compiler.

#include <gtest/gtest.h>

#include <algorithm>

#include "filters/filter_apply.h"
#include "live_session.h"

namespace qv {
namespace {

using namespace qv::testing;

// A UDP frame to qv0 with `tag`.
Bytes Udp(std::uint32_t tag) { return UdpTo(kCaptureEnd, tag); }

Bytes Arp(std::uint8_t last) {
  return FrameBuilder()
      .Ethernet(framegen::kBroadcast, kSender, 0x0806)
      .Arp(1, kSender, {169, 254, 7, 1}, {0, 0, 0, 0, 0, 0}, {169, 254, 7, last})
      .PadTo(60)
      .Build();
}

// Only ARP, and only the test's frames.
FilterRules ArpRules() {
  FilterRules r;
  r.eth.enabled = true;
  r.eth.SetChecked(2, true);  // arp
  r.advanced = {true, {{kTestFramesOnly, true}}, false};
  return r;
}

class LiveFilter : public LiveSessionTest {
 protected:
  std::vector<Bytes> WakeFrames() const override { return {Arp(250), Udp(0xFFFF)}; }

  // Starts with `filter` and returns once `probe` frames get through.
  void StartWith(const std::string& filter, const Bytes& probe) {
    Session& s = *session_;
    s.doc->SetFilterText(filter);
    ASSERT_TRUE(s.doc->Start());
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
      ASSERT_TRUE(sender_->Send(probe));
      seen = s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() > 0; }, 50ms);
    }
    ASSERT_TRUE(seen) << "no frame arrived; messages: " << ::testing::PrintToString(s.prompt.Messages());
    std::this_thread::sleep_for(200ms);
    s.ui.Call([&] { s.doc->ClearPackets(); });
    ASSERT_TRUE(s.observer->WaitUntil([&] { return s.doc->PacketCount() == 0; }, 1000ms));
  }

  // Sends `frames` then a last ARP frame of its own, and returns what was
  // listed once that one arrived (it passes every filter of these tests).
  std::vector<SeenRow> SendAndCollect(const std::vector<Bytes>& frames) {
    Session& s = *session_;
    for (const Bytes& f : frames) EXPECT_TRUE(sender_->Send(f));
    const Bytes last = Arp(static_cast<std::uint8_t>(100 + marks_++));
    EXPECT_TRUE(sender_->Send(last));
    EXPECT_TRUE(s.observer->WaitUntil(
        [&] {
          for (const SeenRow& r : s.observer->rows) {
            if (r.bytes == last) return true;
          }
          return false;
        },
        3000ms));
    return s.observer->ListedRows();
  }

  int marks_ = 0;
};

TEST_F(LiveFilter, AnArpRuleAtStartLetsOnlyArpThrough) {
  ASSERT_NO_FATAL_FAILURE(StartWith(BuildFilterExpression(ArpRules()), Arp(200)));
  const std::vector<SeenRow> rows = SendAndCollect({Udp(1), Arp(1), Udp(2), Arp(2), Udp(3)});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].bytes, Arp(1));
  EXPECT_EQ(rows[1].bytes, Arp(2));
  EXPECT_TRUE(session_->prompt.Messages().empty()) << ::testing::PrintToString(session_->prompt.Messages());
}

TEST_F(LiveFilter, ApplyWhileCapturingChangesWhatIsCaptured) {
  Session& s = *session_;
  ASSERT_NO_FATAL_FAILURE(StartWith(kTestFramesOnly, Udp(0xFFFF)));
  std::vector<SeenRow> rows = SendAndCollect({Udp(1)});
  ASSERT_EQ(rows.size(), 2u);  // both kinds pass

  bool applied = false;
  s.ui.Call([&] { applied = ApplyFilter(*s.doc, ArpRules(), s.prompt); });
  EXPECT_TRUE(applied);
  EXPECT_EQ(s.doc->Filters().Attached(), true);
  const std::size_t before = rows.size();
  rows = SendAndCollect({Udp(2), Arp(2), Udp(3)});
  ASSERT_EQ(rows.size(), before + 2);
  EXPECT_EQ(rows[before].bytes, Arp(2));

  // A rejected expression keeps the filter in force.
  FilterRules bad = ArpRules();
  bad.advanced.rules.push_back({"tcp port", true});
  s.ui.Call([&] { applied = ApplyFilter(*s.doc, bad, s.prompt); });
  EXPECT_FALSE(applied);
  const std::vector<std::string> messages = s.prompt.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Niemożebnym li jest kompilacja filtru:\n", 0), 0u) << messages[0];
  EXPECT_GT(messages[0].size(), std::string("Niemożebnym li jest kompilacja filtru:\n").size());
  const std::size_t now = s.observer->ListedCountLocked();
  rows = SendAndCollect({Udp(4)});
  EXPECT_EQ(rows.size(), now + 1);
}

TEST_F(LiveFilter, ARejectedFilterAtStartIsReportedAndTheCaptureGoesOnUnfiltered) {
  Session& s = *session_;
  FilterRules bad = ArpRules();
  bad.advanced.rules = {{"tcp port", true}};
  ASSERT_NO_FATAL_FAILURE(StartWith(BuildFilterExpression(bad), Udp(0xFFFF)));
  const std::vector<std::string> messages = s.prompt.Messages();
  ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
  EXPECT_EQ(messages[0].rfind("Niemożebnym li jest kompilacja filtru:\n", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1], "Nie udało się założyć filtra:(");
  const std::vector<SeenRow> rows = SendAndCollect({Udp(1)});
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const SeenRow& r) { return r.bytes == Udp(1); }));
  EXPECT_TRUE(s.doc->IsCapturing());
}

TEST_F(LiveFilter, CheckCompilesOnTheRunningCaptureOrOnAnAdapterPickedEachTime) {
  Session& s = *session_;
  // Not capturing: an adapter is asked for at every check, the session's
  // choice left alone.
  ASSERT_TRUE(s.doc->EnumerateAdapters());
  const std::vector<Adapter>& adapters = s.doc->Adapters();
  const auto qv0 = std::find_if(adapters.begin(), adapters.end(), [](const Adapter& a) { return a.name == "qv0"; });
  ASSERT_NE(qv0, adapters.end());
  s.prompt.adapterChoice = static_cast<std::size_t>(qv0 - adapters.begin());
  EXPECT_TRUE(CheckFilterExpression(*s.doc, " tcp port 80\t", s.prompt));
  EXPECT_FALSE(CheckFilterExpression(*s.doc, "tcp port", s.prompt));
  EXPECT_EQ(s.prompt.AdapterDialogs(), 2);
  EXPECT_FALSE(s.doc->ChosenAdapter());
  s.prompt.adapterChoice.reset();
  EXPECT_FALSE(CheckFilterExpression(*s.doc, "tcp", s.prompt));  // cancelled: no message
  EXPECT_EQ(s.prompt.AdapterDialogs(), 3);

  // Capturing: the capture's handle compiles, its filter stays.
  ASSERT_NO_FATAL_FAILURE(StartWith(BuildFilterExpression(ArpRules()), Arp(200)));
  EXPECT_TRUE(CheckFilterExpression(*s.doc, "udp", s.prompt));
  EXPECT_FALSE(CheckFilterExpression(*s.doc, "udp port x", s.prompt));
  EXPECT_FALSE(CheckFilterExpression(*s.doc, " \t ", s.prompt));
  EXPECT_EQ(s.prompt.AdapterDialogs(), 3);
  const std::vector<SeenRow> rows = SendAndCollect({Udp(1)});
  EXPECT_EQ(rows.size(), 1u);

  const std::vector<std::string> messages = s.prompt.Messages();
  ASSERT_EQ(messages.size(), 3u) << ::testing::PrintToString(messages);
  for (std::size_t i : {0u, 1u}) {
    EXPECT_EQ(messages[i].rfind("Error occured while compiling filter:\n", 0), 0u) << messages[i];
    EXPECT_GT(messages[i].size(), std::string("Error occured while compiling filter:\n").size());
  }
  EXPECT_EQ(messages[2], "There is no filter!");
}

TEST(ApplyFilter, WithoutAnOpenHandleDoesNothingAndSaysNothing) {
  Session s(false);
  EXPECT_FALSE(ApplyFilter(*s.doc, ArpRules(), s.prompt));
  EXPECT_TRUE(s.prompt.Messages().empty());
}

}  // namespace
}  // namespace qv
