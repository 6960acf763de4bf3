// Live runs through the capture helper, with a stand-in helper
// (fake_capture_helper.cpp) that writes known frames into the file it is
// handed: the frames are read from the growing file and stay there, the
// file is rotated when the buffer is emptied and removed once its frames
// are gone, a helper that dies keeps every frame it wrote, and the helper's
// refusals and damage reach the user as clear messages.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "capture/cache_folder.h"
#include "capture/sources/helper_backend.h"
#include "capture/sources/helper_capture_source.h"
#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

// The files of the cache folder whose names start with `prefix`.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& prefix = "capture-") {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class HelperSource : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv(kCaptureHelperVariable, FAKE_HELPER_PATH, 1);
    ::setenv("XDG_CACHE_HOME", cache_.File("").c_str(), 1);
    ::unsetenv("QV_FAKE_FRAMES_AFTER_ROTATE");
    Mode("capture");
  }
  void TearDown() override {
    ::unsetenv(kCaptureHelperVariable);
    ::unsetenv("QV_FAKE_HELPER");
    ::unsetenv("QV_FAKE_FRAMES");
  }
  static void Mode(const char* mode, int frames = 100) {
    ::setenv("QV_FAKE_HELPER", mode, 1);
    ::setenv("QV_FAKE_FRAMES", std::to_string(frames).c_str(), 1);
  }
  // A session whose live runs go through the helper, capturing on eth0.
  std::unique_ptr<Session> HelperSession() {
    auto s = std::make_unique<Session>(true, Adapters::Real);
    s->settings.SetString("pcap", "CurrentDevice", "eth0");
    return s;
  }
  std::string Folder() const { return cache_.File("quorvanet"); }

  TempDir cache_;
};

TEST_F(HelperSource, FramesStayInTheGrowingFileAndTheFileGoesWithThem) {
  std::unique_ptr<Session> session = HelperSession();
  Session& s = *session;
  ASSERT_TRUE(s.doc->Start());
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= 100; }))
      << ::testing::PrintToString(s.prompt.Messages());
  EXPECT_EQ(s.doc->LinkType(), 1);
  EXPECT_EQ(s.doc->KernelBufferInForce(), 4u << 20);
  std::vector<std::uint32_t> expected(100);
  for (std::uint32_t i = 0; i < 100; ++i) expected[i] = i;
  EXPECT_EQ(s.ListedTags(), expected);
  {
    // Left in the helper's file, not copied; the time stamp kept its nanoseconds.
    const std::optional<PacketRecord> first = s.doc->Buffer().Find(0);
    ASSERT_TRUE(first);
    ASSERT_NE(first->file, nullptr);
    EXPECT_FALSE(first->unreadable);
    EXPECT_EQ(first->seconds, 1700000000u);
    EXPECT_EQ(NanosecondsOf(*first), 123456789u);
  }
  const std::vector<std::string> files = FilesIn(Folder());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], "capture-" + std::to_string(::getpid()) + "-" + files[0].substr(files[0].rfind('-') + 1));
  EXPECT_EQ(std::filesystem::status(Folder() + "/" + files[0]).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(s.observer->Locked([&] { return s.observer->notices; }),
            std::vector<std::string>{"a warning from the library"});

  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  EXPECT_FALSE(s.doc->LastRunFailed());
  EXPECT_TRUE(s.prompt.Messages().empty()) << ::testing::PrintToString(s.prompt.Messages());
  const DropCounts drops = s.doc->Drops();
  EXPECT_TRUE(drops.known);
  EXPECT_EQ(drops.kernel, 3u);
  EXPECT_EQ(drops.interface, 1u);
  s.ExpectInStep();
  // The run is over; the file stays while the buffer holds its frames.
  EXPECT_EQ(FilesIn(Folder()).size(), 1u);
  s.ui.Call([&] { s.doc->ClearPackets(); });
  EXPECT_TRUE(FilesIn(Folder()).empty());
}

TEST_F(HelperSource, ClearingRotatesTheFileAndTheOldOneGoes) {
  ::setenv("QV_FAKE_FRAMES_AFTER_ROTATE", "7", 1);
  std::unique_ptr<Session> session = HelperSession();
  Session& s = *session;
  ASSERT_TRUE(s.doc->Start());
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= 100; }));
  const std::vector<std::string> before = FilesIn(Folder());
  ASSERT_EQ(before.size(), 1u);
  s.ui.Call([&] { s.doc->ClearPackets(); });
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->packetClears == 1; }));
  // The frames of the new file, numbered from 0 again.
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= 7; }))
      << s.observer->Locked([&] { return s.observer->ListedCountLocked(); });
  std::vector<std::uint32_t> expected(7);
  for (std::uint32_t i = 0; i < 7; ++i) expected[i] = 100 + i;
  EXPECT_EQ(s.ListedTags(), expected);
  const std::vector<std::string> after = FilesIn(Folder());
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after, before);
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ExpectInStep();
  session.reset();
  // Nothing is left behind when the session ends.
  EXPECT_TRUE(FilesIn(Folder()).empty());
}

TEST_F(HelperSource, AHelperThatDiesKeepsEveryFrameItWrote) {
  Mode("die", 50);
  std::unique_ptr<Session> session = HelperSession();
  Session& s = *session;
  ASSERT_TRUE(s.doc->Start());
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();
  EXPECT_TRUE(s.doc->LastRunFailed());
  EXPECT_TRUE(s.observer->lastEndFailed);
  ASSERT_EQ(s.prompt.Messages().size(), 1u);
  EXPECT_EQ(s.prompt.Messages()[0], "The capture helper stopped unexpectedly");
  // Also the three it wrote but had not yet announced.
  std::vector<std::uint32_t> expected(50);
  for (std::uint32_t i = 0; i < 50; ++i) expected[i] = i;
  EXPECT_EQ(s.ListedTags(), expected);
  s.ExpectInStep();
  EXPECT_TRUE(s.doc->CanStart());
}

// What the user is told when the helper cannot capture, is missing, or
// talks nonsense; each run fails with that one message and nothing else.
TEST_F(HelperSource, RefusalsAndDamageAreToldClearly) {
  struct Case {
    const char* mode;
    const char* helper;  // null: the stand-in
    std::string expectedStart;
  };
  const std::string refused = "Unable to open the adapter. eth0 is not supported by WinPcap\n"
                              "eth0: You don't have permission to perform this capture on that device "
                              "(socket: Operation not permitted)";
  // A helper this user may not run (the package lets only its group): the
  // reason, and what to do.
  const std::string unrunnable = cache_.File("quorvanet-capture");
  std::filesystem::copy_file(FAKE_HELPER_PATH, unrunnable);
  std::filesystem::permissions(unrunnable, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const std::vector<Case> cases = {
      {"refuse", nullptr, refused},
      {"garbage", nullptr, "The capture helper stopped unexpectedly: "},
      {"capture", unrunnable.c_str(),
       "Unable to open the adapter. eth0 is not supported by WinPcap\nCannot start the capture helper " + unrunnable +
           ": Permission denied\n\nOnly the capture helper needs a right to capture, the capability CAP_NET_RAW, "
           "and " + unrunnable + " does not have it. Give it to it once (again after each build) with:\n"
           "  sudo setcap cap_net_raw=ep " + unrunnable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Mode(c.mode);
    std::unique_ptr<Session> session = HelperSession();
    Session& s = *session;
    ASSERT_TRUE(s.doc->EnumerateAdapters());
    if (c.helper != nullptr) ::setenv(kCaptureHelperVariable, c.helper, 1);
    ASSERT_TRUE(s.doc->Start());
    ASSERT_TRUE(s.observer->WaitForEnd());
    s.doc->WaitForCapture();
    EXPECT_TRUE(s.doc->LastRunFailed());
    const std::vector<std::string> messages = s.prompt.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(c.expectedStart, 0), 0u) << messages[0];
    session.reset();
    EXPECT_TRUE(FilesIn(Folder()).empty());
    ::setenv(kCaptureHelperVariable, FAKE_HELPER_PATH, 1);
  }
}

TEST_F(HelperSource, AMissingHelperIsNamedWithWhereItWasLookedFor) {
  ::setenv(kCaptureHelperVariable, cache_.File("no-such-helper").c_str(), 1);
  std::unique_ptr<Session> session = HelperSession();
  EXPECT_FALSE(session->doc->EnumerateAdapters());
  const std::vector<std::string> messages = session->prompt.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("The capture helper quorvanet-capture was not found (looked for " +
                             cache_.File("no-such-helper") + ")"),
            std::string::npos)
      << messages[0];
  const CaptureRights rights = ProbeHelperCaptureRights();
  EXPECT_FALSE(rights.helperFound);
  EXPECT_NE(CaptureRightsAdvice(rights).find("was not found"), std::string::npos);
}

// A helper this user may not run (the package lets only its group): the
// adapter list's refusal says so and what to run, as a capture's does.
TEST_F(HelperSource, AHelperThatMayNotBeRunIsToldWithWhatToDo) {
  const std::string helper = cache_.File("quorvanet-capture");
  std::ofstream(helper) << "#!/bin/sh\n";
  ASSERT_EQ(::chmod(helper.c_str(), 0644), 0);  // no one may run it, root neither
  ::setenv(kCaptureHelperVariable, helper.c_str(), 1);
  std::unique_ptr<Session> session = HelperSession();
  EXPECT_FALSE(session->doc->EnumerateAdapters());
  const std::vector<std::string> messages = session->prompt.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Cannot start the capture helper " + helper + ": Permission denied"), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[0].find("\n\n"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("sudo "), std::string::npos) << messages[0];
  ::setenv(kCaptureHelperVariable, FAKE_HELPER_PATH, 1);
}

TEST_F(HelperSource, AdaptersAndRightsComeFromTheHelper) {
  const HelperAdapterChecks checks = CheckAdaptersThroughHelper();
  ASSERT_FALSE(checks.list.failed) << checks.list.error;
  ASSERT_EQ(checks.list.adapters.size(), 2u);
  EXPECT_EQ(checks.list.adapters[0].name, "eth0");
  EXPECT_EQ(checks.list.adapters[0].description, "the first");
  EXPECT_EQ(checks.list.adapters[0].addresses, std::vector<std::string>{"169.254.7.2"});
  EXPECT_EQ(checks.list.adapters[0].linkType, 1);
  EXPECT_EQ(checks.opened, (std::vector<bool>{true, false}));
  const HelperRights rights = AskHelperRights();
  EXPECT_TRUE(rights.answered) << rights.error;
  EXPECT_TRUE(rights.canCapture());
  EXPECT_EQ(rights.detail, "CAP_NET_RAW held");
}

TEST_F(HelperSource, StaleCaptureFilesOfDeadProcessesGo) {
  ASSERT_TRUE(std::filesystem::create_directories(Folder()));
  const std::string mine = "capture-" + std::to_string(::getpid()) + "-3.pcapng";
  // Process 1 always runs; a pid past the kernel's largest never does.
  for (const char* name : {"capture-4194999-0.pcapng", "capture-4194999-12.pcapng", "capture-1-0.pcapng",
                           "capture-4194999-0.pcap", "capture-x-0.pcapng", "capture-4194999-.pcapng"}) {
    std::ofstream(Folder() + "/" + name) << "x";
  }
  std::ofstream(Folder() + "/" + mine) << "x";
  EXPECT_EQ(RemoveStaleCacheFiles(Folder()), 2);
  std::vector<std::string> kept = {"capture-1-0.pcapng", "capture-4194999-.pcapng", "capture-4194999-0.pcap", mine,
                                   "capture-x-0.pcapng"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FilesIn(Folder()), kept);
}

}  // namespace
}  // namespace qv
