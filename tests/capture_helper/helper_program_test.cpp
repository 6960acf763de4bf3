// The capture helper as a program: its arguments, its answers in the modes
// that need no traffic, and how it ends when its parent goes away or sends
// something it refuses. Captures here are on the loopback adapter only and
// send nothing; they skip when this process may not capture.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "helper_process.h"

namespace qv::testing {
namespace {

using control::MessageType;
namespace fs = std::filesystem;

// A scratch file for the helper's output, removed with the object.
class ScratchFile {
 public:
  ScratchFile() {
    char path[] = "/tmp/qv-helper-XXXXXX";
    fd_ = ::mkstemp(path);
    path_ = path;
  }
  ~ScratchFile() {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
  }
  int Fd() const { return fd_; }
  std::uint64_t Size() const {
    std::error_code ec;
    const auto size = fs::file_size(path_, ec);
    return ec ? 0 : size;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

std::vector<std::string> CaptureArgs(const std::string& adapter) {
  return {"capture", "--adapter", adapter, "--snaplen", "65535", "--promisc", "0", "--timeout", "20", "--buffer", "0"};
}

struct ArgumentCase {
  const char* what;
  std::vector<std::string> args;
  const char* errorHas;
};

TEST(HelperArguments, BadArgumentsAnswerErrorAndExitTwo) {
  auto capture = [](std::vector<std::string> changes) {
    std::vector<std::string> a = CaptureArgs("lo");
    for (std::size_t i = 0; i + 1 < changes.size(); i += 2) {
      for (std::size_t k = 1; k + 1 < a.size(); k += 2) {
        if (a[k] == changes[i]) a[k + 1] = changes[i + 1];
      }
    }
    return a;
  };
  const ArgumentCase cases[] = {
      {"no mode", {}, "No mode given"},
      {"unknown mode", {"sniff"}, "Unknown mode \"sniff\""},
      {"list takes no options", {"list", "--adapter", "lo"}, "Unknown argument \"--adapter\" for list"},
      {"rights takes no options", {"rights", "extra"}, "Unknown argument \"extra\" for rights"},
      {"send takes no snaplen", {"send", "--adapter", "lo", "--snaplen", "5"}, "Unknown argument \"--snaplen\""},
      {"capture without adapter", {"capture", "--snaplen", "5", "--promisc", "0", "--timeout", "5", "--buffer", "0"},
       "--adapter is missing"},
      {"capture without buffer", {"capture", "--adapter", "lo", "--snaplen", "5", "--promisc", "0", "--timeout", "5"},
       "--buffer is missing"},
      {"option without value", {"capture", "--adapter"}, "--adapter needs a value"},
      {"adapter twice", {"send", "--adapter", "lo", "--adapter", "lo"}, "--adapter is given twice"},
      {"snaplen 0", capture({"--snaplen", "0"}), "--snaplen must be 1 to 262144, not \"0\""},
      {"snaplen past the largest", capture({"--snaplen", "262145"}), "--snaplen must be 1 to 262144"},
      {"snaplen negative", capture({"--snaplen", "-1"}), "--snaplen must be"},
      {"snaplen with a suffix", capture({"--snaplen", "100k"}), "--snaplen must be"},
      {"snaplen with a sign", capture({"--snaplen", "+100"}), "--snaplen must be"},
      {"snaplen past 64 bits", capture({"--snaplen", "99999999999999999999999"}), "--snaplen must be"},
      {"promisc 2", capture({"--promisc", "2"}), "--promisc must be 0 or 1"},
      {"timeout 0", capture({"--timeout", "0"}), "--timeout must be 1 to 60000"},
      {"timeout past a minute", capture({"--timeout", "60001"}), "--timeout must be 1 to 60000"},
      {"buffer below 64 KiB", capture({"--buffer", "65535"}), "--buffer must be 0"},
      {"buffer past 2 GiB", capture({"--buffer", "2147483649"}), "--buffer must be 0"},
      {"filter twice", [&] {
         auto a = CaptureArgs("lo");
         a.insert(a.end(), {"--filter", "tcp", "--filter", "udp"});
         return a;
       }(), "--filter is given twice"},
      {"unknown adapter for capture", CaptureArgs("qv-no-such-adapter"), "There is no adapter named \"qv-no-such-adapter\""},
      {"unknown adapter for send", {"send", "--adapter", "qv-no-such-adapter"}, "There is no adapter named"},
  };
  for (const ArgumentCase& c : cases) {
    HelperProcess helper;
    ASSERT_TRUE(helper.Start(c.args)) << c.what;
    EXPECT_TRUE(helper.ReadToEnd()) << c.what;
    const HelperExit exit = helper.Wait();
    EXPECT_TRUE(exit.exited) << c.what << " (signal " << exit.signal << ")";
    EXPECT_EQ(exit.code, 2) << c.what;
    ASSERT_EQ(helper.Seen().size(), 1u) << c.what;
    EXPECT_EQ(helper.Seen()[0].type, MessageType::Error) << c.what;
    EXPECT_NE(helper.ErrorText().find(c.errorHas), std::string::npos) << c.what << ": " << helper.ErrorText();
  }
}

TEST(HelperArguments, CaptureWithoutAnOutputFileIsRefused) {
  HelperProcess helper;
  ASSERT_TRUE(helper.Start(CaptureArgs("lo")));
  ASSERT_TRUE(helper.ReadToEnd());
  EXPECT_EQ(helper.Wait().code, 2);
  EXPECT_NE(helper.ErrorText().find("No output file was given"), std::string::npos) << helper.ErrorText();

  // A read-only descriptor will not take frames either.
  HelperProcess readOnly;
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_TRUE(readOnly.Start(CaptureArgs("lo"), fd));
  ::close(fd);
  ASSERT_TRUE(readOnly.ReadToEnd());
  EXPECT_EQ(readOnly.Wait().code, 2);
  EXPECT_FALSE(readOnly.ErrorText().empty());
}

TEST(HelperArguments, WithoutTheControlSocketItSaysSoOnStderr) {
  HelperProcess helper;
  ASSERT_TRUE(helper.Start({"rights"}, -1, {}, /*withControl=*/false));
  const HelperExit exit = helper.Wait();
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 2);
}

TEST(HelperModes, RightsAnswersWhatThisProcessMay) {
  HelperProcess helper;
  ASSERT_TRUE(helper.Start({"rights"}));
  auto m = helper.WaitFor(MessageType::Rights);
  ASSERT_TRUE(m) << helper.ErrorText();
  auto rights = control::Rights::Decode(m->payload);
  ASSERT_TRUE(rights);
  EXPECT_EQ((rights->flags & control::Rights::kRunningAsRoot) != 0, ::geteuid() == 0);
  // The helper has at least this process's rights (it may carry more in its file).
  if (MayCapture()) {
    EXPECT_NE(rights->flags & control::Rights::kPacketSocketOpens, 0u);
  }
  EXPECT_NE(rights->detail.find("quorvanet-capture"), std::string::npos) << rights->detail;
  EXPECT_EQ(rights->detail.find('\n'), std::string::npos);
  EXPECT_TRUE(helper.ReadToEnd());
  EXPECT_EQ(helper.Wait().code, 0);
}

TEST(HelperModes, ListNamesTheLoopbackAdapter) {
  HelperProcess helper;
  ASSERT_TRUE(helper.Start({"list"}));
  auto m = helper.WaitFor(MessageType::Adapters);
  ASSERT_TRUE(m) << helper.ErrorText();
  auto list = control::Adapters::Decode(m->payload);
  ASSERT_TRUE(list);
  const control::AdapterEntry* lo = nullptr;
  for (const auto& a : list->adapters) {
    if (a.name == "lo") lo = &a;
  }
  ASSERT_NE(lo, nullptr);
  bool has127 = false;
  for (const auto& address : lo->addresses) {
    has127 = has127 || (address.family == AF_INET && address.address[0] == 127 && address.prefixLength == 8);
  }
  EXPECT_TRUE(has127);
  if (MayCapture()) {
    ASSERT_FALSE(lo->linkTypes.empty());
    EXPECT_EQ(lo->linkTypes[0], 1u);  // Ethernet headers on Linux's loopback
  }
  EXPECT_TRUE(helper.ReadToEnd());
  EXPECT_EQ(helper.Wait().code, 0);
}

class LoopbackCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MayCapture()) GTEST_SKIP() << "this process may not open a packet socket (no cap_net_raw)";
    ASSERT_GE(file_.Fd(), 0);
    ASSERT_TRUE(helper_.Start(CaptureArgs("lo"), file_.Fd()));
    auto started = helper_.WaitFor(MessageType::Started);
    ASSERT_TRUE(started) << helper_.ErrorText();
    started_ = *control::Started::Decode(started->payload);
  }

  ScratchFile file_;
  HelperProcess helper_;
  control::Started started_;
};

TEST_F(LoopbackCapture, RunsWithoutAnyCapabilityInItsSandbox) {
  EXPECT_EQ(started_.linkType, 1u);
  EXPECT_EQ(started_.snaplen, 65535u);
  EXPECT_GT(started_.kernelBufferBytesInForce, 0u);
  EXPECT_EQ(helper_.Status("CapEff"), "0000000000000000");
  EXPECT_EQ(helper_.Status("CapPrm"), "0000000000000000");
  EXPECT_EQ(helper_.Status("CapInh"), "0000000000000000");
  EXPECT_EQ(helper_.Status("CapAmb"), "0000000000000000");
  EXPECT_EQ(helper_.Status("NoNewPrivs"), "1");
  EXPECT_EQ(helper_.Status("Seccomp"), "2");

  // The headers are in the file before any frame.
  auto written = helper_.WaitFor(MessageType::Written);
  ASSERT_TRUE(written);
  const auto w = *control::Written::Decode(written->payload);
  EXPECT_EQ(w.frames, 0u);
  EXPECT_GT(w.fileBytes, 0u);
  EXPECT_EQ(file_.Size(), w.fileBytes);

  ASSERT_TRUE(helper_.Send(control::Stop{}.Encode()));
  ASSERT_TRUE(helper_.ReadToEnd());
  const HelperExit exit = helper_.Wait();
  EXPECT_TRUE(exit.exited) << "signal " << exit.signal;
  EXPECT_EQ(exit.code, 0);
  const auto end = helper_.SeenOf(MessageType::End);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(control::End::Decode(end[0].payload)->fileBytes, file_.Size());
  EXPECT_FALSE(helper_.SeenOf(MessageType::Drops).empty());
  // End is the last word.
  EXPECT_EQ(helper_.Seen().back().type, MessageType::End);
}

TEST_F(LoopbackCapture, ParentClosingItsEndEndsTheHelper) {
  helper_.CloseControl();
  const HelperExit exit = helper_.Wait();
  EXPECT_TRUE(exit.exited) << "still running, or killed by signal " << exit.signal;
}

TEST_F(LoopbackCapture, FiltersAreSetAndRefusedWithTheCompilersWords) {
  ASSERT_TRUE(helper_.Send(control::SetFilter{"udp port 53 or icmp"}.Encode()));
  auto ok = helper_.WaitFor(MessageType::FilterSet);
  ASSERT_TRUE(ok) << helper_.ErrorText();
  EXPECT_TRUE(control::FilterSet::Decode(ok->payload)->ok);

  ASSERT_TRUE(helper_.Send(control::SetFilter{"udp port banana"}.Encode()));
  auto bad = helper_.WaitFor(MessageType::FilterSet);
  ASSERT_TRUE(bad);
  const auto refused = *control::FilterSet::Decode(bad->payload);
  EXPECT_FALSE(refused.ok);
  EXPECT_FALSE(refused.error.empty());

  ASSERT_TRUE(helper_.Send(control::SetFilter{""}.Encode()));
  auto none = helper_.WaitFor(MessageType::FilterSet);
  ASSERT_TRUE(none);
  EXPECT_TRUE(control::FilterSet::Decode(none->payload)->ok);

  // The helper is still capturing, and stops cleanly.
  ASSERT_TRUE(helper_.Send(control::Stop{}.Encode()));
  ASSERT_TRUE(helper_.ReadToEnd());
  EXPECT_EQ(helper_.Wait().code, 0);
}

TEST_F(LoopbackCapture, RotateStartsAFreshFileAndAnswersTheOldOnesSize) {
  ASSERT_TRUE(helper_.WaitFor(MessageType::Written));
  ScratchFile next;
  ASSERT_TRUE(helper_.Send(control::Rotate{}.Encode(), next.Fd()));
  auto switched = helper_.WaitFor(MessageType::FileSwitched);
  ASSERT_TRUE(switched) << helper_.ErrorText();
  const auto s = *control::FileSwitched::Decode(switched->payload);
  EXPECT_EQ(s.oldFileBytes, file_.Size());

  ASSERT_TRUE(helper_.Send(control::Stop{}.Encode()));
  ASSERT_TRUE(helper_.ReadToEnd());
  EXPECT_EQ(helper_.Wait().code, 0);
  const auto end = *control::End::Decode(helper_.SeenOf(MessageType::End).at(0).payload);
  // The new file holds its own section and interface headers.
  EXPECT_GT(end.fileBytes, 0u);
  EXPECT_EQ(end.fileBytes, next.Size());
  EXPECT_EQ(s.oldFileBytes, file_.Size());
}

// What the parent may get wrong: each ends the run with an Error and End,
// the exit code says so, and no signal (the sandbox) is involved.
TEST(LoopbackCaptureControl, DamagedOrUnexpectedMessagesEndTheRunWithError) {
  if (!MayCapture()) GTEST_SKIP() << "this process may not open a packet socket (no cap_net_raw)";
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* errorHas;
  };
  const Case cases[] = {
      {"unknown type", control::EncodeMessage(static_cast<MessageType>(77), {}), "unknown type 77"},
      {"Stop with a payload", {100, 0, 0, 0, 1, 0, 0, 0, 9}, "Stop message of 1 bytes"},
      {"Rotate without a file", control::Rotate{}.Encode(), "Rotate without a file"},
      {"a helper's message", control::Written{}.Encode(), "Written, which a capture does not take"},
      {"a text that is not UTF-8", {101, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 0xFF}, "damaged SetFilter"},
  };
  for (const Case& c : cases) {
    ScratchFile file;
    HelperProcess helper;
    ASSERT_TRUE(helper.Start(CaptureArgs("lo"), file.Fd()));
    ASSERT_TRUE(helper.WaitFor(MessageType::Started)) << c.what << ": " << helper.ErrorText();
    ASSERT_TRUE(helper.Send(c.bytes)) << c.what;
    ASSERT_TRUE(helper.ReadToEnd()) << c.what;
    const HelperExit exit = helper.Wait();
    EXPECT_TRUE(exit.exited) << c.what << ": signal " << exit.signal;
    EXPECT_EQ(exit.code, 1) << c.what;
    EXPECT_NE(helper.ErrorText().find(c.errorHas), std::string::npos) << c.what << ": " << helper.ErrorText();
    EXPECT_EQ(helper.Seen().back().type, MessageType::End) << c.what;
  }
}

TEST(LoopbackCaptureControl, InvalidFirstFilterIsAnArgumentError) {
  if (!MayCapture()) GTEST_SKIP() << "this process may not open a packet socket (no cap_net_raw)";
  ScratchFile file;
  HelperProcess helper;
  auto args = CaptureArgs("lo");
  args.insert(args.end(), {"--filter", "tcp port"});
  ASSERT_TRUE(helper.Start(args, file.Fd()));
  ASSERT_TRUE(helper.ReadToEnd());
  EXPECT_EQ(helper.Wait().code, 2);
  EXPECT_NE(helper.ErrorText().find("The capture filter is not valid"), std::string::npos) << helper.ErrorText();
  EXPECT_TRUE(helper.SeenOf(MessageType::Started).empty());
}

}  // namespace
}  // namespace qv::testing
