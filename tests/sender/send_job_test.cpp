// The send job over a recording outlet: counts, the gap, Stop in the middle
// of a long gap, refused frames, an adapter that cannot be opened, and the
// job's own copy of the frame. The real adapter is exercised in
// live_send_test.cpp.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "capture/settings_store.h"
#include "recording_prompt.h"
#include "sender/send_adapter.h"
#include "sender/send_job.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RecordingOutlet : public FrameOutlet {
 public:
  struct Log {
    std::mutex mutex;
    std::vector<Frame> frames;
    std::atomic<int> closed{0};
    int refuseFrom = 0;  // frames from this number on are refused (0: none)
  };
  explicit RecordingOutlet(Log& log) : log_(log) {}
  ~RecordingOutlet() override { ++log_.closed; }
  bool Send(std::span<const std::uint8_t> frame) override {
    std::lock_guard lock(log_.mutex);
    log_.frames.emplace_back(frame.begin(), frame.end());
    return log_.refuseFrom == 0 || static_cast<int>(log_.frames.size()) < log_.refuseFrom;
  }
  std::string LastError() const override { return "send: Message too long"; }

 private:
  Log& log_;
};

class RecordingBackend : public SendBackend {
 public:
  std::unique_ptr<FrameOutlet> Open(const std::string& adapter, std::string& error) override {
    opened.push_back(adapter);
    if (!openError.empty()) {
      error = openError;
      return nullptr;
    }
    return std::make_unique<RecordingOutlet>(log);
  }
  std::size_t Frames() {
    std::lock_guard lock(log.mutex);
    return log.frames.size();
  }
  RecordingOutlet::Log log;
  std::vector<std::string> opened;
  std::string openError;
};

class SendJobTest : public ::testing::Test {
 protected:
  bool WaitFor(auto done, std::chrono::milliseconds limit = 5000ms) {
    const auto until = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  RecordingBackend backend_;
  testing::RecordingPrompt prompt_;
  SendJob job_{backend_, prompt_};
};

TEST(SendNumbers, CountAndGapAreCheckedAsTheBoxesAre) {
  struct Case {
    const char* count;
    const char* gap;
    bool accepted;
  };
  const Case cases[] = {
      {"1", "0", true},        {"0", "0", true},        {"1000000", "0", true}, {"1000001", "0", false},
      {"-1", "0", false},      {"3", "-1", false},      {"3", "1000000", true}, {"3", "1000001", false},
      {"abc", "0", false},     {"", "0", false},        {"3", "abc", true},     {"99999999999999999999", "0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.count) + " / " + c.gap);
    std::string error;
    const auto numbers = ParseSendNumbers(c.count, c.gap, &error);
    EXPECT_EQ(numbers.has_value(), c.accepted);
    EXPECT_EQ(error, c.accepted ? "" : "Packet count mustnot be negative or bigger than 1 000 000!");
  }
  EXPECT_EQ(ParseSendNumbers("7", "250", nullptr)->count, 7u);
  EXPECT_EQ(ParseSendNumbers("7", "250", nullptr)->gapMs, 250u);
}

TEST_F(SendJobTest, SendsCountFramesOfItsOwnCopyAndCloses) {
  Frame frame = {1, 2, 3, 4};
  job_.Start({"qv1", frame, {3, 0}});
  frame[0] = 99;  // the page's frame changes; the job's copy does not
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  EXPECT_FALSE(job_.Sending());
  EXPECT_EQ(job_.Current(), 3u);
  EXPECT_EQ(backend_.opened, std::vector<std::string>{"qv1"});
  EXPECT_EQ(backend_.log.frames, std::vector<Frame>(3, Frame{1, 2, 3, 4}));
  EXPECT_EQ(backend_.log.closed, 1);
  const auto result = job_.TakeResult();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->attempted, 3u);
  EXPECT_EQ(result->failed, 0u);
  EXPECT_FALSE(job_.TakeResult()) << "handed out once";
  EXPECT_TRUE(prompt_.Messages().empty());
}

TEST_F(SendJobTest, CountZeroSendsUntilStopAndStopCutsALongGap) {
  job_.Start({"qv1", {1}, {0, 0}});
  ASSERT_TRUE(WaitFor([&] { return backend_.Frames() > 1000; }));
  EXPECT_TRUE(job_.Sending());
  job_.Stop();
  EXPECT_FALSE(job_.Sending()) << "the controls return to idle at once";
  ASSERT_TRUE(job_.WaitUntilIdle(1000ms));
  const std::size_t sent = backend_.Frames();
  EXPECT_EQ(job_.TakeResult()->attempted, sent);

  job_.Start({"qv1", {2}, {0, 1000000}});  // a gap of 1000 s
  ASSERT_TRUE(WaitFor([&] { return backend_.Frames() == sent + 1; }));
  const auto t0 = Clock::now();
  job_.Stop();
  ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
  EXPECT_LT(Clock::now() - t0, 500ms);
  EXPECT_EQ(backend_.Frames(), sent + 1);
}

TEST_F(SendJobTest, RefusedFramesAreCountedAndReported) {
  backend_.log.refuseFrom = 2;
  job_.Start({"qv1", Frame(2000, 0), {5, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  const auto result = job_.TakeResult();
  EXPECT_EQ(result->attempted, 5u);
  EXPECT_EQ(result->failed, 4u);
  EXPECT_EQ(result->Sent(), 1u);
  EXPECT_EQ(prompt_.Messages(), std::vector<std::string>{"4 of 5 frames could not be sent: send: Message too long"});
}

TEST_F(SendJobTest, AnAdapterThatCannotBeOpenedEndsTheJobWithTheLibrarysText) {
  backend_.openError = "qv9: No such device exists";
  job_.Start({"qv9", {1}, {0, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  EXPECT_FALSE(job_.Sending());
  EXPECT_EQ(prompt_.Messages(), std::vector<std::string>{"I couldn't open selected adapter. The following error has "
                                                         "occured:\nqv9: No such device exists"});
  EXPECT_FALSE(job_.TakeResult()->opened);
}

TEST_F(SendJobTest, ANewJobAfterStopIsNotRevivedByTheOldOne) {
  job_.Start({"qv1", {1}, {0, 1000000}});
  ASSERT_TRUE(WaitFor([&] { return backend_.Frames() == 1; }));
  job_.Stop();
  job_.Start({"qv1", {2}, {2, 0}});  // at once, while the first thread may still wind down
  ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
  EXPECT_EQ(backend_.log.frames, (std::vector<Frame>{{1}, {2}, {2}}));
}

TEST(SendResultText, SaysFramesAndRate) {
  SendResult r;
  r.attempted = 1000;
  r.failed = 0;
  r.seconds = 0.5;
  EXPECT_EQ(DescribeSendResult(r), "1000 frames, 2000 frames/s");
  EXPECT_EQ(DescribeSendResult(SendResult{}), "0 frames, 0 frames/s");
}

}  // namespace
}  // namespace qv
