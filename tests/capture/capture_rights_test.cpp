// The capture-rights check: reading file and process capabilities, telling a
// refusal for lack of rights from other failures, the advice for each
// situation, and how the advice reaches the user through the session and the
// doctor's report.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <pcap/pcap.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/capture_doctor.h"
#include "capture/capture_rights.h"
#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

// A "security.capability" value: magic, then (permitted, inheritable) pairs,
// then for revision 3 the root id; all little-endian.
std::vector<std::uint8_t> Attribute(std::uint32_t magic, std::vector<std::uint32_t> words) {
  std::vector<std::uint8_t> out;
  words.insert(words.begin(), magic);
  for (std::uint32_t w : words) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  }
  return out;
}

constexpr std::uint32_t kRaw = 1u << CAP_NET_RAW;
constexpr std::uint32_t kAdmin = 1u << CAP_NET_ADMIN;

TEST(CaptureRights, FileCapabilityAttribute) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> attribute;
    bool allows;
  };
  const std::vector<Case> cases = {
      {"revision 2, both, effective", Attribute(VFS_CAP_REVISION_2 | 1, {kRaw | kAdmin, kRaw | kAdmin, 0, 0}), true},
      {"revision 1", Attribute(VFS_CAP_REVISION_1 | 1, {kRaw | kAdmin, 0}), true},
      {"revision 3 (namespaced root)", Attribute(VFS_CAP_REVISION_3 | 1, {kRaw | kAdmin, 0, 0, 0, 1000}), true},
      {"only permitted, not effective", Attribute(VFS_CAP_REVISION_2, {kRaw | kAdmin, 0, 0, 0}), false},
      {"raw alone: all the capture helper needs", Attribute(VFS_CAP_REVISION_2 | 1, {kRaw, 0, 0, 0}), true},
      {"admin alone", Attribute(VFS_CAP_REVISION_2 | 1, {kAdmin, 0, 0, 0}), false},
      {"only inheritable", Attribute(VFS_CAP_REVISION_2 | 1, {0, kRaw | kAdmin, 0, 0}), false},
      {"revision 2 cut short", Attribute(VFS_CAP_REVISION_2 | 1, {kRaw | kAdmin, 0}), false},
      {"revision 1 with extra words", Attribute(VFS_CAP_REVISION_1 | 1, {kRaw | kAdmin, 0, 0, 0}), false},
      {"unknown revision", Attribute(0x04000000 | 1, {kRaw | kAdmin, 0, 0, 0}), false},
      {"three bytes", {0x01, 0x00, 0x00}, false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(FileCapabilitiesAllowCapture(c.attribute), c.allows) << c.what;
}

// The attribute as setcap writes it, read back from a real file.
TEST(CaptureRights, FileCapabilitiesSetBySetcap) {
  if (std::system("command -v setcap >/dev/null 2>&1") != 0) GTEST_SKIP() << "setcap is not installed";
  TempDir dir;
  const std::string file = dir.File("program");
  std::ofstream(file) << "#!/bin/sh\n";
  EXPECT_FALSE(FileAllowsCapture(file));
  if (std::system(("setcap cap_net_raw=ep " + file + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "setcap is not allowed here (needs CAP_SETFCAP and a file system with extended attributes)";
  }
  EXPECT_TRUE(FileAllowsCapture(file));
  ASSERT_EQ(std::system(("setcap cap_net_raw=p " + file).c_str()), 0);
  EXPECT_FALSE(FileAllowsCapture(file));
  ASSERT_EQ(std::system(("setcap cap_net_admin=ep " + file).c_str()), 0);
  EXPECT_FALSE(FileAllowsCapture(file));
}

TEST(CaptureRights, EffectiveCapabilitiesFromProcStatus) {
  struct Case {
    const char* status;
    bool allows;
  };
  const std::vector<Case> cases = {
      {"Name:\tx\nCapInh:\t0000000000000000\nCapPrm:\t0000000000003000\nCapEff:\t0000000000003000\n", true},
      {"CapEff:\t000001ffffffffff\n", true},
      {"CapPrm:\t0000000000003000\nCapEff:\t0000000000000000\n", false},
      {"CapEff:\t0000000000002000\n", true},   // raw alone
      {"CapEff:\t0000000000001000\n", false},  // admin alone
      {"CapEff:\tzz\n", false},
      {"CapEff:", false},
      {"Name:\tx\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(EffectiveCapabilitiesAllowCapture(c.status), c.allows) << c.status;
}

TEST(CaptureRights, PermissionFailuresAreToldFromOthers) {
  struct Case {
    int status;
    const char* text;
    bool permission;
  };
  const std::vector<Case> cases = {
      {PCAP_ERROR_PERM_DENIED, "", true},
      {PCAP_ERROR_PROMISC_PERM_DENIED, "", true},
      {0, "eth0: You don't have permission to perform this capture on that device (socket: Operation not permitted)",
       true},
      {0, "socket: Operation not permitted", true},
      {0, "can't open /dev/bpf0: Permission denied", true},
      {PCAP_ERROR_NO_SUCH_DEVICE, "eth7: No such device exists (SIOCGIFHWADDR: No such device)", false},
      {0, "eth0: That device is not up", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPermissionFailure(c.status, c.text), c.permission) << c.text;
}

TEST(CaptureRights, AdviceForEachSituation) {
  CaptureRights build;  // a capture helper in a build folder, without its capability
  build.executable = "/home/ann/quorvanet/build/release/src/capture_helper/quorvanet-capture";
  build.userName = "ann";

  CaptureRights installed = build;  // the package's helper
  installed.executable = "/usr/lib/quorvanet/quorvanet-capture";
  installed.fileHasCapabilities = true;
  installed.groupExists = true;
  installed.executableInGroup = true;

  struct Case {
    const char* what;
    CaptureRights rights;
    std::string expected;  // a part of the advice; empty: no advice at all
  };
  auto with = [](CaptureRights r, auto change) {
    change(r);
    return r;
  };
  const std::vector<Case> cases = {
      {"build folder", build,
       "\n  sudo setcap cap_net_raw=ep /home/ann/quorvanet/build/release/src/capture_helper/quorvanet-capture"},
      {"path with a blank",
       with(build, [](CaptureRights& r) { r.executable = "/home/ann/my build/quorvanet-capture"; }),
       "sudo setcap cap_net_raw=ep '/home/ann/my build/quorvanet-capture'"},
      {"no helper at all", with(build, [](CaptureRights& r) { r.helperFound = false; }),
       "the capture helper quorvanet-capture, which was not found"},
      {"installed, not in the group", installed, "\n  sudo usermod -aG quorvanet ann\nthen log out and back in."},
      {"installed, joined after logging in", with(installed, [](CaptureRights& r) { r.userInGroup = true; }),
       "after this login session began. Log out and back in"},
      {"installed, capabilities lost", with(installed, [](CaptureRights& r) { r.fileHasCapabilities = false; }),
       "has lost it. Give it back with:\n  sudo setcap cap_net_raw=ep /usr/lib/quorvanet/quorvanet-capture"},
      {"installed, in the group, capabilities not received",
       with(installed, [](CaptureRights& r) { r.userInGroup = r.sessionInGroup = true; }), "mounted nosuid"},
      {"build folder with capabilities, not received",
       with(build, [](CaptureRights& r) { r.fileHasCapabilities = true; }), "mounted nosuid"},
      {"the process may capture", with(build, [](CaptureRights& r) { r.processCanCapture = true; }), ""},
      {"root without the capabilities (a container)", with(build, [](CaptureRights& r) { r.root = true; }),
       "runs as root but without the capability CAP_NET_RAW"},
  };
  for (const Case& c : cases) {
    const std::string advice = CaptureRightsAdvice(c.rights);
    if (c.expected.empty()) {
      EXPECT_EQ(advice, "") << c.what;
      continue;
    }
    EXPECT_TRUE(advice.starts_with("\n\n")) << c.what;
    EXPECT_NE(advice.find(c.expected), std::string::npos) << c.what << ":\n" << advice;
  }
  // Each situation has one remedy: the group's command never comes with setcap.
  EXPECT_EQ(CaptureRightsAdvice(installed).find("setcap"), std::string::npos);
  EXPECT_EQ(CaptureRightsAdvice(build).find("usermod"), std::string::npos);
}

TEST(CaptureRights, RefusedOpenMessageSaysWhatToDo) {
  struct Case {
    const char* openError;
    bool advised;
  };
  for (const Case c : {Case{"eth9: You don't have permission to perform this capture on that device "
                            "(socket: Operation not permitted)",
                            true},
                       Case{"eth9: No such device exists (SIOCGIFHWADDR: No such device)", false}}) {
    Session s;
    s.backend.adapters.adapters = {{"eth9", ""}};
    s.backend.openError = c.openError;
    s.backend.rights = {.executable = "/opt/q/quorvanet", .userName = "ann"};
    ASSERT_TRUE(s.doc->Start());
    ASSERT_TRUE(s.observer->WaitForEnd());
    s.doc->WaitForCapture();
    const std::string base = std::string("Unable to open the adapter. eth9 is not supported by WinPcap\n") + c.openError;
    const std::string expected =
        c.advised ? base + "\n\nOnly the capture helper needs a right to capture, the capability CAP_NET_RAW, and "
                           "/opt/q/quorvanet does not have it. Give it to it once (again after each build) with:\n"
                           "  sudo setcap cap_net_raw=ep /opt/q/quorvanet\n"
                           "or install the package, whose members of the group quorvanet capture."
                  : base;
    EXPECT_EQ(s.prompt.Messages(), std::vector<std::string>{expected});
    EXPECT_TRUE(s.doc->LastRunFailed());
  }
}

TEST(CaptureDoctor, ReportsEachAdapterTheRightsAndTheRemedy) {
  TempDir dir;
  FakeBackend backend;
  backend.adapters.adapters = {{"eth0", ""}, {"eth9", ""}};
  backend.files["eth0"] = dir.File("eth0.pcap");
  WriteTaggedFile(backend.files["eth0"], 1);
  backend.openError = "eth9: You don't have permission to perform this capture on that device";
  backend.rights = {.executable = "/usr/lib/quorvanet/quorvanet-capture", .fileHasCapabilities = true,
                    .groupExists = true, .executableInGroup = true, .userName = "ann"};

  const DoctorReport report = RunCaptureDoctor(backend);
  EXPECT_EQ(backend.Opened(), (std::vector<std::string>{"eth0", "eth9"}));
  EXPECT_TRUE(backend.OpenedAsSpecified());  // as a live capture opens it
  EXPECT_EQ(report.OpenedCount(), 1);
  EXPECT_EQ(FormatDoctorReport(report),
            "Adapters, opened as a live capture opens them:\n"
            "  ok       eth0\n"
            "  refused  eth9: eth9: You don't have permission to perform this capture on that device\n"
            "Capture helper /usr/lib/quorvanet/quorvanet-capture\n"
            "  file capabilities: cap_net_raw=ep\n"
            "  when it runs: does not hold CAP_NET_RAW\n"
            "Only the capture helper holds the right to capture: quorvanet and quorvanet-cli need no capability,\n"
            "and the helper gives up its own once the adapter is open.\n"
            "Group quorvanet: exists; the capture helper belongs to it\n"
            "  user ann: not a member\n"
            "Result: 1 of 2 adapters can be opened for capturing.\n"
            "Only root and the members of the group quorvanet may run the capture helper. Join the group with:\n"
            "  sudo usermod -aG quorvanet ann\n"
            "then log out and back in.\n");

  // A failed listing and a group that does not exist are said as such.
  backend.adapters = {.error = "socket: Address family not supported by protocol", .failed = true};
  backend.rights = {.executable = "/tmp/q", .processCanCapture = true};
  const std::string text = FormatDoctorReport(RunCaptureDoctor(backend));
  EXPECT_NE(text.find("  the adapter list failed: socket: Address family not supported by protocol\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("Group quorvanet: does not exist (the Debian package creates it)\n"), std::string::npos);
  EXPECT_NE(text.find("Result: no adapter can be opened for capturing.\n"), std::string::npos);

  // A helper that may not be run lists nothing: the advice says what to do.
  backend.adapters = {.error = "Cannot start the capture helper /usr/lib/quorvanet/quorvanet-capture: Permission denied",
                      .failed = true};
  backend.rights = {.executable = "/usr/lib/quorvanet/quorvanet-capture", .fileHasCapabilities = true,
                    .groupExists = true, .executableInGroup = true, .userName = "ann"};
  const std::string refused = FormatDoctorReport(RunCaptureDoctor(backend));
  EXPECT_NE(refused.find("\n  sudo usermod -aG quorvanet ann\n"), std::string::npos) << refused;
}

}  // namespace
}  // namespace qv
