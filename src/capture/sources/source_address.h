#pragma once
// What a live capture takes its frames from, as the user names it:
//  - an adapter of this machine ("eth0");
//  - standard input ("-"), carrying a pcap or pcapng stream;
//  - a FIFO or another file being written, by its path (anything with a '/');
//  - an adapter of another host, reached over SSH
//    ("ssh://[USER@]HOST[:PORT]/ADAPTER").

#include <string>
#include <string_view>

namespace qv {

enum class SourceKind { Adapter, StandardInput, Pipe, Remote };

// Where a remote adapter is: what ssh is told to connect to.
struct RemoteTarget {
  std::string user;  // empty: ssh's own choice (its configuration, or the local user)
  std::string host;
  int port = 0;      // 0: ssh's own choice
  std::string adapter;
  bool operator==(const RemoteTarget&) const = default;
};

// How a remote capture runs beyond its address.
struct RemoteOptions {
  std::string sshConfig;  // passed to ssh as -F FILE; empty: none
  std::string filter;     // the capture filter the remote capturer applies; empty: none
  bool sudo = false;      // run the capturer through "sudo -n"
  bool operator==(const RemoteOptions&) const = default;
};

struct SourceAddress {
  SourceKind kind = SourceKind::Adapter;
  std::string text;     // as the user wrote it: the adapter's name, "-", the path or the URL
  RemoteTarget remote;  // for Remote
};

struct SourceParse {
  SourceAddress address;
  std::string error;  // non-empty: the text names no source (a malformed URL)
};
SourceParse ParseSourceAddress(std::string_view text);

// The URL that names a remote adapter, as ParseSourceAddress reads it back.
std::string RemoteUrl(const RemoteTarget& target);

// How the source is named to the user: in the tree's first line, the Source
// column and as the interface name of a saved pcapng file. "HOST: ADAPTER"
// for a remote adapter, "standard input", the path of a pipe, the adapter's
// own name.
std::string SourceDisplayName(const SourceAddress& address);

}  // namespace qv
