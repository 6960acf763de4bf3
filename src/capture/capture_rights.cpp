#include "capture/capture_rights.h"

#include <grp.h>
#include <linux/capability.h>
#include <pcap/pcap.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace qv {

namespace {

constexpr std::uint64_t kCaptureBits = 1ull << CAP_NET_RAW;

std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The group database's entry for `name`, with its member list copied out.
struct GroupEntry {
  gid_t gid = 0;
  std::vector<std::string> members;
};

// Runs a reentrant database lookup (getgrnam_r, getpwuid_r), growing its
// buffer while the entry does not fit; the entry found, or null.
template <typename Entry, typename Lookup>
Entry* LookUpEntry(Entry& entry, std::vector<char>& buffer, Lookup lookup) {
  Entry* found = nullptr;
  buffer.resize(16384);
  while (lookup(&entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 22)) {
    buffer.resize(buffer.size() * 2);
  }
  return found;
}

bool LookUpGroup(const char* name, GroupEntry* out) {
  std::vector<char> buffer;
  group entry{};
  const group* found = LookUpEntry(entry, buffer, [name](group* e, char* b, std::size_t n, group** f) {
    return getgrnam_r(name, e, b, n, f);
  });
  if (found == nullptr) return false;
  out->gid = found->gr_gid;
  for (char** m = found->gr_mem; m != nullptr && *m != nullptr; ++m) out->members.emplace_back(*m);
  return true;
}

bool LookUpUser(uid_t uid, std::string* name, gid_t* primaryGroup) {
  std::vector<char> buffer;
  passwd entry{};
  const passwd* found = LookUpEntry(entry, buffer, [uid](passwd* e, char* b, std::size_t n, passwd** f) {
    return getpwuid_r(uid, e, b, n, f);
  });
  if (found == nullptr) return false;
  *name = found->pw_name;
  *primaryGroup = found->pw_gid;
  return true;
}

bool ProcessHasGroup(gid_t gid) {
  if (getegid() == gid) return true;
  const int n = getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  const int got = getgroups(n, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

}  // namespace

bool FileAllowsCapture(const std::string& path) {
  // One byte more than the largest revision, so that a longer value is seen as damaged.
  std::array<std::uint8_t, XATTR_CAPS_SZ + 1> attribute{};
  const ssize_t n = getxattr(path.c_str(), "security.capability", attribute.data(), attribute.size());
  if (n <= 0) return false;
  return FileCapabilitiesAllowCapture(std::span(attribute.data(), static_cast<std::size_t>(n)));
}

bool FileCapabilitiesAllowCapture(std::span<const std::uint8_t> attribute) {
  if (attribute.size() < XATTR_CAPS_SZ_1) return false;
  const std::uint32_t magic = LittleEndian32(attribute, 0);
  std::size_t expected = 0;
  switch (magic & VFS_CAP_REVISION_MASK) {
    case VFS_CAP_REVISION_1: expected = XATTR_CAPS_SZ_1; break;
    case VFS_CAP_REVISION_2: expected = XATTR_CAPS_SZ_2; break;
    case VFS_CAP_REVISION_3: expected = XATTR_CAPS_SZ_3; break;
    default: return false;
  }
  if (attribute.size() != expected) return false;
  // Without the effective flag the capabilities are only permitted: a
  // program that does not raise them itself (libpcap does not) runs without.
  if ((magic & VFS_CAP_FLAGS_EFFECTIVE) == 0) return false;
  const std::uint32_t permittedLow = LittleEndian32(attribute, 4);  // capabilities 0..31
  return (permittedLow & kCaptureBits) == kCaptureBits;
}

bool EffectiveCapabilitiesAllowCapture(std::string_view procStatus) {
  constexpr std::string_view kKey = "CapEff:";
  std::size_t at = 0;
  while (at < procStatus.size()) {
    std::size_t end = procStatus.find('\n', at);
    if (end == std::string_view::npos) end = procStatus.size();
    std::string_view line = procStatus.substr(at, end - at);
    at = end + 1;
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    std::uint64_t bits = 0;
    const auto [stop, ec] = std::from_chars(line.data(), line.data() + line.size(), bits, 16);
    if (ec != std::errc() || stop != line.data() + line.size()) return false;
    return (bits & kCaptureBits) == kCaptureBits;
  }
  return false;
}

bool IsPermissionFailure(int status, std::string_view errorText) {
  if (status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED) return true;
  for (std::string_view sign : {"Operation not permitted", "Permission denied", "don't have permission"}) {
    if (errorText.find(sign) != std::string_view::npos) return true;
  }
  return false;
}

std::string RootNotNeededNotice() { return geteuid() == 0 ? kRootNotNeededText : std::string(); }

std::string ShellQuoted(const std::string& path) {
  const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:=@").find(c) != std::string_view::npos;
  });
  if (plain) return path;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string CaptureRightsAdvice(const CaptureRights& r) {
  if (r.processCanCapture) return {};
  if (!r.helperFound) {
    return "\n\nCapturing goes through the capture helper quorvanet-capture, which was not found. Install it with "
           "the program (it belongs in lib/quorvanet/ beside the program's bin/), or name it in "
           "QUORVANET_CAPTURE_HELPER.";
  }
  const std::string helper = r.executable.empty() ? std::string("the capture helper") : r.executable;
  if (r.root) {
    // File capabilities add nothing for root: its own set was cut down.
    return "\n\nThe capture helper runs as root but without the capability CAP_NET_RAW: the container or service "
           "manager that started the program withholds it. Grant it there (for example "
           "AmbientCapabilities=CAP_NET_RAW in a systemd unit, or --cap-add=NET_RAW for a container).";
  }
  const std::string group = kCaptureGroup;
  if (!r.fileHasCapabilities) {
    return "\n\nOnly the capture helper needs a right to capture, the capability CAP_NET_RAW, and " + helper +
           (r.executableInGroup ? " has lost it. Give it back with:\n"
                                : " does not have it. Give it to it once (again after each build) with:\n") +
           "  sudo setcap " + kCaptureCapabilities + " " + ShellQuoted(r.executable) +
           (r.executableInGroup ? std::string()
                                : "\nor install the package, whose members of the group " + group + " capture.");
  }
  if (r.executableInGroup) {
    const std::string user = r.userName.empty() ? std::string("$USER") : ShellQuoted(r.userName);
    if (!r.userInGroup) {
      return "\n\nOnly root and the members of the group " + group +
             " may run the capture helper. Join the group with:\n" + "  sudo usermod -aG " + group + " " + user +
             "\nthen log out and back in.";
    }
    if (!r.sessionInGroup) {
      return "\n\nYou were added to the group " + group +
             " after this login session began. Log out and back in, then start the program again.";
    }
  }
  return "\n\n" + helper +
         " carries the capture capability, but it did not receive it when it ran: the file system that holds it "
         "may be mounted nosuid, or the program was started by a tool that drops capabilities (a debugger, a "
         "sandbox). Run it from a file system without nosuid.";
}

CaptureRights ProbeCaptureRights() {
  std::error_code error;
  CaptureRights r = ProbeCaptureRights(std::filesystem::read_symlink("/proc/self/exe", error).string());
  std::ifstream status("/proc/self/status");
  std::stringstream text;
  text << status.rdbuf();
  r.processCanCapture = EffectiveCapabilitiesAllowCapture(text.str());
  return r;
}

CaptureRights ProbeCaptureRights(const std::string& program) {
  CaptureRights r;
  r.executable = program;
  r.helperFound = !program.empty();
  r.root = geteuid() == 0;
  if (!r.executable.empty()) r.fileHasCapabilities = FileAllowsCapture(r.executable);
  gid_t primaryGroup = 0;
  const bool knownUser = LookUpUser(getuid(), &r.userName, &primaryGroup);
  GroupEntry group;
  r.groupExists = LookUpGroup(kCaptureGroup, &group);
  if (r.groupExists) {
    struct stat info{};
    r.executableInGroup = !r.executable.empty() && stat(r.executable.c_str(), &info) == 0 && info.st_gid == group.gid;
    r.userInGroup = knownUser && (primaryGroup == group.gid ||
                                  std::find(group.members.begin(), group.members.end(), r.userName) !=
                                      group.members.end());
    r.sessionInGroup = ProcessHasGroup(group.gid);
  }
  return r;
}

}  // namespace qv
