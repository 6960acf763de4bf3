// quorvanet-capture: the one part of Quorvanet that holds cap_net_raw. Its
// parent (the window or the command line, with no capability) starts it with
// a socket as fd 3 and, for a capture, the output file as fd 4; see
// control_protocol.h for what goes over the socket.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "capture_helper/adapter_list.h"
#include "capture_helper/arguments.h"
#include "capture_helper/capture_run.h"
#include "capture_helper/channel.h"
#include "capture_helper/rights_drop.h"
#include "capture_helper/rights_report.h"
#include "capture_helper/send_run.h"

namespace {

constexpr int kControlFd = 3;
constexpr int kOutputFd = 4;

void LastResort(const char* text) {
  // stderr is the parent's: one line, for when fd 3 cannot carry it.
  std::fprintf(stderr, "quorvanet-capture: %s\n", text);
}

int List(const qv::helper::Channel& channel) {
  // Opening the adapters to ask for their link types needs cap_net_raw and
  // nothing else.
  const bool mayOpen = qv::helper::KeepOnlyNetRaw().empty();
  qv::helper::AdapterListing listing = qv::helper::ListAdapters(mayOpen);
  if (!listing.error.empty()) {
    channel.SendError(listing.error);
    return 1;
  }
  qv::helper::DropAllCapabilities();
  return channel.Must(listing.adapters.Encode()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t parent = ::getppid();
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    LastResort("cannot set no_new_privs");
    return 1;
  }
  // Die with the parent, and not outlive one that died before this line.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || ::getppid() != parent || parent == 1) return 1;
  ::signal(SIGPIPE, SIG_IGN);

  struct stat st {};
  if (::fstat(kControlFd, &st) != 0 || !S_ISSOCK(st.st_mode)) {
    LastResort("fd 3 must be the control socket; this program is started by quorvanet and quorvanet-cli");
    return 2;
  }

  const std::span<const char* const> args(const_cast<const char* const*>(argv) + (argc > 0 ? 1 : 0),
                                          argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
  const qv::helper::ParsedArguments parsed = qv::helper::ParseArguments(args);
  // Nothing but the channel and, for a capture, the output file stays open.
  ::close_range(parsed.arguments && parsed.arguments->mode == qv::helper::Mode::Capture ? kOutputFd + 1 : kOutputFd,
                ~0u, 0);

  qv::helper::Channel channel(kControlFd);
  if (!parsed.arguments) {
    if (!channel.SendError(parsed.error)) LastResort(parsed.error.c_str());
    return 2;
  }
  const qv::helper::Arguments& a = *parsed.arguments;
  switch (a.mode) {
    case qv::helper::Mode::List:
      return List(channel);
    case qv::helper::Mode::Rights: {
      const bool sent = channel.Must(qv::helper::ReportRights().Encode());
      qv::helper::DropAllCapabilities();
      return sent ? 0 : 1;
    }
    case qv::helper::Mode::Capture:
    case qv::helper::Mode::Send: {
      if (const std::string bad = qv::helper::CheckAdapterListed(a.adapter); !bad.empty()) {
        channel.SendError(bad);
        return 2;
      }
      return a.mode == qv::helper::Mode::Capture ? qv::helper::RunCapture(a, kControlFd, kOutputFd)
                                                 : qv::helper::RunSend(a, kControlFd);
    }
  }
  return 2;
}
