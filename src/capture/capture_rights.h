#pragma once
// Whether the program may capture, and what the user has to do when it may
// not. Only the capture helper (quorvanet-capture) captures: it needs
// CAP_NET_RAW, and the window and the command line need no right at all. The
// Debian package gives the helper that capability as a file capability and
// lets only root and the members of the group "quorvanet" run it; a helper in
// a build folder gets it with one setcap command. Nothing here changes the
// system: it only looks and explains.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kCaptureGroup = "quorvanet";
inline constexpr const char* kCaptureCapabilities = "cap_net_raw=ep";

struct CaptureRights {
  std::string executable;            // the binary that captures (the capture helper)
  bool helperFound = true;           // that binary was found
  bool root = false;                 // effective user id 0 (its capabilities come from its own set, not the file)
  bool processCanCapture = false;    // CAP_NET_RAW is effective in the process that captures
  bool fileHasCapabilities = false;  // the binary's file grants it, permitted and effective
  bool groupExists = false;          // the capture group is known to the system
  bool executableInGroup = false;    // the binary belongs to that group: the package installed it
  std::string userName;              // the real user
  bool userInGroup = false;          // the group database lists the user (or it is their primary group)
  bool sessionInGroup = false;       // this process already runs with the group
};

// The rights of this process, read from /proc, the file's extended
// attribute and the group database.
CaptureRights ProbeCaptureRights();
// The rights the binary at `program` would run with, as far as its file, the
// group database and the user tell (processCanCapture is not looked at).
CaptureRights ProbeCaptureRights(const std::string& program);

// True when a "security.capability" attribute value (the kernel's
// vfs_cap_data, revisions 1 to 3) grants CAP_NET_RAW as permitted and
// effective. A damaged or short value grants nothing.
bool FileCapabilitiesAllowCapture(std::span<const std::uint8_t> attribute);

// The same, read from the attribute of the file at `path`.
bool FileAllowsCapture(const std::string& path);

// True when the "CapEff:" line of a /proc/<pid>/status text holds CAP_NET_RAW.
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

// What the window tells once, in its status bar, when it runs as root:
// capturing goes through the helper, which the group's members may run.
inline constexpr const char* kRootNotNeededText =
    "Running as root is not needed: members of the group quorvanet capture without it";
// That text when this process runs as root (effective user id 0), else empty.
std::string RootNotNeededNotice();

// The path quoted for a shell when it holds anything but plain characters.
std::string ShellQuoted(const std::string& path);

}  // namespace qv
