#pragma once
// What opening an adapter for a live capture asks and answers: the snapshot
// length, promiscuous mode, the read time-out and a kernel buffer of our
// choosing. The kernel buffer is what carries a burst while the reader is
// busy elsewhere; the library's default (2 MiB on Linux) holds only a few
// milliseconds of a fast link. The capture helper opens the program's
// adapters; a backend of this process may open others (tests' savefiles).

#include <pcap/pcap.h>

#include <cstdint>
#include <string>

namespace qv {

struct LiveOpenRequest {
  std::string adapter;
  int snapshotLength = 65536;
  bool promiscuous = true;
  int timeoutMs = 100;
  std::uint64_t bufferBytes = 0;  // 0: the library's default
};

struct LiveOpenResult {
  pcap_t* handle = nullptr;  // null on failure; the caller owns it
  std::string error;         // the library's reason when the open failed
  std::string warning;       // the library's warning when it opened with one
  bool bufferRefused = false;  // opened, but with the library's default buffer
};

// The size of the kernel's capture ring behind an active live handle, in
// bytes, as mapped into this process; 0 when it cannot be told (a savefile,
// or no ring). Linux rounds the asked size to whole ring blocks.
std::uint64_t KernelBufferInForce(pcap_t* handle);

}  // namespace qv
