// A stand-in for quorvanet-capture that speaks the control protocol on
// descriptor 3 and writes its pcapng file on descriptor 4, as the real one
// does, without touching an adapter. What it does is chosen by the
// environment variable QV_FAKE_HELPER:
//   capture  writes QV_FAKE_FRAMES frames (default 100), announcing them
//            after every ten, then serves Rotate (QV_FAKE_FRAMES_AFTER_ROTATE
//            more frames into the new file), SetFilter and Stop
//   die      writes the frames, announces all but the last three and is
//            killed by SIGKILL without End
//   garbage  sends Started, then a header of an unknown type
//   refuse   answers the capture with an Error of a refused permission
//   silent   says nothing until its channel closes
// "list" lists eth0 and eth9 (eth9 could not be opened); "rights" says
// CAP_NET_RAW is held; "send" answers SendFrames with its count sent.

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture_helper/control_protocol.h"

namespace {

namespace control = qv::control;

constexpr int kControl = 3;
constexpr int kOutput = 4;

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The section header and interface block the real helper writes (host byte
// order: this test runs on little-endian machines).
std::vector<std::uint8_t> FileHead() {
  std::vector<std::uint8_t> out;
  Put32(out, 0x0A0D0D0A);
  Put32(out, 28);
  Put32(out, 0x1A2B3C4D);
  Put32(out, 1);  // version 1.0
  Put32(out, 0xFFFFFFFF);
  Put32(out, 0xFFFFFFFF);  // section length not known
  Put32(out, 28);
  Put32(out, 1);
  Put32(out, 32);
  Put32(out, 1);  // Ethernet, reserved
  Put32(out, 65536);
  Put32(out, 9 | 1u << 16);  // if_tsresol, one byte
  Put32(out, 9);             // nanoseconds
  Put32(out, 0);             // end of options
  Put32(out, 32);
  return out;
}

// A 60-byte UDP frame whose payload (at byte 42) carries `tag`, as the tests'
// TaggedFrame lays it out.
std::vector<std::uint8_t> Frame(std::uint32_t tag) {
  std::vector<std::uint8_t> f(60, 0);
  const std::uint8_t head[] = {0x02, 0x51, 0x56, 0, 0, 0x01, 0x02, 0x51, 0x56, 0, 0, 0x20, 0x08, 0x00,
                               0x45, 0,    0,    46, 0, 0,    0,    0,    64,   17};
  std::memcpy(f.data(), head, sizeof head);
  f[42] = static_cast<std::uint8_t>(tag >> 24);
  f[43] = static_cast<std::uint8_t>(tag >> 16);
  f[44] = static_cast<std::uint8_t>(tag >> 8);
  f[45] = static_cast<std::uint8_t>(tag);
  return f;
}

std::vector<std::uint8_t> Packet(std::uint32_t tag) {
  const std::vector<std::uint8_t> frame = Frame(tag);
  std::vector<std::uint8_t> out;
  const std::uint32_t total = 32 + static_cast<std::uint32_t>(frame.size());
  Put32(out, 6);
  Put32(out, total);
  Put32(out, 0);
  const std::uint64_t ns = (1700000000ull + tag) * 1000000000ull + 123456789ull;
  Put32(out, static_cast<std::uint32_t>(ns >> 32));
  Put32(out, static_cast<std::uint32_t>(ns));
  Put32(out, static_cast<std::uint32_t>(frame.size()));
  Put32(out, static_cast<std::uint32_t>(frame.size()));
  out.insert(out.end(), frame.begin(), frame.end());
  Put32(out, total);
  return out;
}

template <typename M>
void Say(const M& message) {
  control::SendMessage(kControl, message.Encode());
}

int EnvNumber(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::atoi(v) : fallback;
}

struct Output {
  int fd = kOutput;
  std::uint64_t bytes = 0;
  std::uint64_t frames = 0;
  void Head() { bytes += WriteAll(fd, FileHead()) ? FileHead().size() : 0; }
  void Write(std::uint32_t tag) {
    const std::vector<std::uint8_t> p = Packet(tag);
    if (WriteAll(fd, p)) {
      bytes += p.size();
      ++frames;
    }
  }
};

int Capture(const std::string& mode) {
  if (mode == "refuse") {
    Say(control::Error{"eth0: You don't have permission to perform this capture on that device "
                       "(socket: Operation not permitted)"});
    return 2;
  }
  if (mode == "silent") {
    control::MessageDecoder decoder;
    while (control::ReadSome(kControl, decoder) > 0) {
    }
    return 0;
  }
  Output out;
  out.Head();
  Say(control::Started{1, 65536, 4u << 20, 0});
  if (mode == "garbage") {
    const std::uint8_t junk[8] = {0x77, 0, 0, 0, 0, 0, 0, 0};
    (void)!::write(kControl, junk, sizeof junk);
    ::pause();
    return 0;
  }
  Say(control::Warning{"a warning from the library"});
  const int frames = EnvNumber("QV_FAKE_FRAMES", 100);
  std::uint32_t tag = 0;
  for (int i = 0; i < frames; ++i) {
    out.Write(tag++);
    const bool announce = mode == "die" ? i < frames - 3 : true;
    if (announce && (i % 10 == 9 || i == frames - 1 || (mode == "die" && i == frames - 4))) {
      Say(control::Written{out.frames, out.bytes});
    }
  }
  if (mode == "die") ::raise(SIGKILL);

  Say(control::Drops{out.frames + 4, 3, 1});
  control::MessageDecoder decoder;
  for (;;) {
    int passed = -1;
    const long got = control::ReadSome(kControl, decoder, &passed);
    if (got <= 0) return 0;  // the parent went: end at once
    while (std::optional<control::Message> m = decoder.Next()) {
      if (m->type == control::MessageType::Stop) {
        Say(control::Drops{out.frames + 4, 3, 1});
        Say(control::End{out.frames, out.bytes});
        return 0;
      }
      if (m->type == control::MessageType::SetFilter) {
        const std::optional<control::SetFilter> f = control::SetFilter::Decode(m->payload);
        const bool ok = f && f->filter.find("bad") == std::string::npos;
        Say(control::FilterSet{ok, ok ? std::string() : std::string("syntax error")});
      }
      if (m->type == control::MessageType::Rotate && passed >= 0) {
        Say(control::FileSwitched{out.frames, out.bytes});
        ::close(out.fd);
        out = Output{passed};
        passed = -1;
        out.Head();
        for (int i = 0; i < EnvNumber("QV_FAKE_FRAMES_AFTER_ROTATE", 5); ++i) out.Write(tag++);
        Say(control::Written{out.frames, out.bytes});
      }
    }
    if (decoder.Failed()) return 3;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const char* modeVariable = std::getenv("QV_FAKE_HELPER");
  const std::string mode = modeVariable != nullptr ? modeVariable : "capture";
  if (command == "list") {
    control::Adapters list;
    control::AdapterEntry eth0{"eth0", "the first", 0, {1}, {}};
    control::AdapterAddress v4;
    v4.family = 2;  // AF_INET
    v4.prefixLength = 24;
    v4.address = {169, 254, 7, 2};
    eth0.addresses.push_back(v4);
    list.adapters = {eth0, {"eth9", "", 0, {}, {}}};
    Say(list);
    return 0;
  }
  if (command == "rights") {
    Say(control::Rights{control::Rights::kNetRawPermitted | control::Rights::kNetRawEffective |
                            control::Rights::kPacketSocketOpens,
                        "CAP_NET_RAW held"});
    return 0;
  }
  if (command == "send") {
    control::MessageDecoder decoder;
    for (;;) {
      if (control::ReadSome(kControl, decoder) <= 0) return 0;
      while (std::optional<control::Message> m = decoder.Next()) {
        if (m->type == control::MessageType::SendFrames) {
          const std::optional<control::SendFrames> f = control::SendFrames::Decode(m->payload);
          const std::uint64_t count = f ? f->count : 0;
          Say(control::SendProgress{count, 0});
          Say(control::SendDone{count, 0, 1000000, ""});
          return 0;
        }
      }
    }
  }
  if (command == "capture") return Capture(mode);
  Say(control::Error{"unknown command"});
  return 2;
}
