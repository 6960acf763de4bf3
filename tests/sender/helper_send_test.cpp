// The send job through the capture helper, with the stand-in helper of the
// capture tests: the job's numbers reach it, its SendDone is the result, and
// a helper that cannot be found or started is told as the adapter that could
// not be opened, with the reason.

#include <gtest/gtest.h>

#include <cstdlib>

#include "recording_prompt.h"
#include "sender/helper_send_backend.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

class HelperSend : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("QUORVANET_CAPTURE_HELPER", FAKE_HELPER_PATH, 1); }
  void TearDown() override {
    job_.Stop();
    job_.WaitUntilIdle(5000ms);
    ::setenv("QUORVANET_CAPTURE_HELPER", QUORVANET_HELPER_PATH, 1);
  }

  HelperSendBackend backend_;
  testing::RecordingPrompt prompt_;
  SendJob job_{backend_, prompt_};
};

TEST_F(HelperSend, TheHelpersResultIsTheJobsResult) {
  job_.Start({"eth0", Frame(60, 0xAB), {7, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  const std::optional<SendResult> result = job_.TakeResult();
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->opened);
  EXPECT_EQ(result->Sent(), 7u);
  EXPECT_EQ(result->failed, 0u);
  EXPECT_DOUBLE_EQ(result->seconds, 0.001);
  EXPECT_EQ(job_.Current(), 7u);
  EXPECT_TRUE(prompt_.Messages().empty()) << ::testing::PrintToString(prompt_.Messages());
}

TEST_F(HelperSend, AMissingHelperIsToldAsTheAdapterThatCouldNotBeOpened) {
  ::setenv("QUORVANET_CAPTURE_HELPER", "/nonexistent/quorvanet-capture", 1);
  job_.Start({"eth0", Frame(60, 0xAB), {1, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  const std::optional<SendResult> result = job_.TakeResult();
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->opened);
  ASSERT_EQ(prompt_.Messages().size(), 1u);
  EXPECT_EQ(prompt_.Messages()[0],
            "I couldn't open selected adapter. The following error has occured:\n"
            "The capture helper quorvanet-capture was not found (looked for /nonexistent/quorvanet-capture). "
            "Install it with the program, or name it in QUORVANET_CAPTURE_HELPER.");
}

}  // namespace
}  // namespace qv
