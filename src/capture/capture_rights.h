#pragma once
// Whether this process may capture, and what the user has to do when it may
// not. Live capture on Linux needs CAP_NET_RAW (and CAP_NET_ADMIN for
// promiscuous mode). The Debian package gives both to its binaries as file
// capabilities and lets only root and the members of the group "quorvanet"
// run them; a binary in a build folder gets them with one setcap command.
// Nothing here changes the system: it only looks and explains.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kCaptureGroup = "quorvanet";
inline constexpr const char* kCaptureCapabilities = "cap_net_raw,cap_net_admin=eip";

struct CaptureRights {
  std::string executable;            // the running binary
  bool root = false;                 // effective user id 0 (its capabilities come from its own set, not the file)
  bool processCanCapture = false;    // CAP_NET_RAW and CAP_NET_ADMIN are effective in this process
  bool fileHasCapabilities = false;  // the binary's file grants both, permitted and effective
  bool groupExists = false;          // the capture group is known to the system
  bool executableInGroup = false;    // the binary belongs to that group: the package installed it
  std::string userName;              // the real user
  bool userInGroup = false;          // the group database lists the user (or it is their primary group)
  bool sessionInGroup = false;       // this process already runs with the group
};

// The rights of this process, read from /proc, the file's extended
// attribute and the group database.
CaptureRights ProbeCaptureRights();

// True when a "security.capability" attribute value (the kernel's
// vfs_cap_data, revisions 1 to 3) grants CAP_NET_RAW and CAP_NET_ADMIN as
// permitted and effective. A damaged or short value grants nothing.
bool FileCapabilitiesAllowCapture(std::span<const std::uint8_t> attribute);

// The same, read from the attribute of the file at `path`.
bool FileAllowsCapture(const std::string& path);

// True when the "CapEff:" line of a /proc/<pid>/status text holds both.
bool EffectiveCapabilitiesAllowCapture(std::string_view procStatus);

// An adapter open refused for lack of rights: the library's status code
// (PCAP_ERROR_PERM_DENIED, PCAP_ERROR_PROMISC_PERM_DENIED) or, from calls
// that return no code, its error text (EPERM, EACCES).
bool IsPermissionFailure(int status, std::string_view errorText);

// What the user can do on this system so that capturing works, as a
// paragraph to put after an open-failure message (it starts with a blank
// line). Empty when the process already has the rights, so that the refusal
// has another cause.
std::string CaptureRightsAdvice(const CaptureRights& rights);

// The path quoted for a shell when it holds anything but plain characters.
std::string ShellQuoted(const std::string& path);

}  // namespace qv
