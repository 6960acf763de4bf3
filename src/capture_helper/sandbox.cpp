#include "capture_helper/sandbox.h"

#include <fcntl.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace qv::helper {
namespace {

class Filter {
 public:
  Filter() : ctx_(seccomp_init(SCMP_ACT_KILL_PROCESS)) {}
  ~Filter() {
    if (ctx_) seccomp_release(ctx_);
  }
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;
  scmp_filter_ctx Get() const { return ctx_; }

 private:
  scmp_filter_ctx ctx_;
};

std::string Failed(const char* what, int rc) { return std::string(what) + ": " + std::strerror(-rc); }

}  // namespace

bool SandboxAvailable() { return seccomp_api_get() >= 1; }

std::string InstallSandbox() {
  Filter filter;
  scmp_filter_ctx ctx = filter.Get();
  if (!ctx) return "Cannot start a seccomp filter";

  // Calls allowed with any arguments.
  static constexpr const char* kAllowed[] = {
      // the control channel, the output file, the packet socket
      "read", "write", "readv", "writev", "pread64", "recvmsg", "recvfrom", "sendmsg", "sendto",
      "poll", "ppoll",
      // libpcap's ring: statistics and filters
      "getsockopt", "setsockopt",
      // memory
      "munmap", "mremap", "madvise", "brk",
      // time and waiting
      "futex", "clock_gettime", "clock_nanosleep", "nanosleep", "gettimeofday",
      // descriptors and the output file
      "close", "fstat", "lseek", "ftruncate",
      "rt_sigreturn", "restart_syscall", "exit", "exit_group",
  };
  for (const char* name : kAllowed) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr == __NR_SCMP_ERROR) continue;  // not a call of this architecture
    if (int rc = seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 0); rc != 0) return Failed("Cannot allow a system call", rc);
  }

  struct Rule {
    int nr;
    scmp_arg_cmp cmp;
  };
  const Rule kRules[] = {
      // Memory, but never executable memory.
      {SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)},
      {SCMP_SYS(mprotect), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)},
      // glibc's fstat is newfstatat(fd, "", st, AT_EMPTY_PATH); no path lookups.
      {SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)},
      // libpcap drains the packet socket in non-blocking mode when it sets a filter.
      {SCMP_SYS(fcntl), SCMP_A1(SCMP_CMP_EQ, F_GETFL)},
      {SCMP_SYS(fcntl), SCMP_A1(SCMP_CMP_EQ, F_SETFL)},
  };
  for (const Rule& r : kRules) {
    if (int rc = seccomp_rule_add(ctx, SCMP_ACT_ALLOW, r.nr, 1, r.cmp); rc != 0) {
      return Failed("Cannot allow a system call", rc);
    }
  }

  // Looking things up in files or services fails instead of ending the
  // helper: libpcap's statistics of a promiscuous capture open the adapter's
  // counters in /sys (the helper counts those drops from descriptors opened
  // beforehand), and a filter naming a host or a port asks the name service
  // (a filter set before the allow-list resolves names; later ones answer
  // "unknown host" instead).
  for (const char* name : {"open", "openat", "openat2", "socket", "connect", "stat", "lstat", "statx", "access",
                           "faccessat", "faccessat2", "readlink", "readlinkat", "uname"}) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr == __NR_SCMP_ERROR) continue;
    if (int rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EACCES), nr, 0); rc != 0) {
      return Failed("Cannot refuse a system call", rc);
    }
  }
  // newfstatat on a path (not an open descriptor) is such a look-up too.
  if (int rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(newfstatat), 1,
                                SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0));
      rc != 0) {
    return Failed("Cannot refuse a system call", rc);
  }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' run-time library, in test builds only.
  for (const char* name : {"sigaltstack", "rt_sigprocmask", "rt_sigaction", "getpid", "gettid", "tgkill",
                           "sched_yield", "prctl", "getrlimit", "prlimit64"}) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr != __NR_SCMP_ERROR) seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 0);
  }
#endif

  if (int rc = seccomp_load(ctx); rc != 0) return Failed("Cannot put the system-call filter in place", rc);
  return {};
}

}  // namespace qv::helper
