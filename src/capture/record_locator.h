#pragma once
// Finds where in its savefile each frame that libpcap reads lies, so that the
// packet buffer can leave the frame there (see frame_file.h).
//
// libpcap parses the file; the locator only follows the position of its
// stream:
//  - pcap: a record is its 16-byte header (24 in the old "modified" format)
//    followed by the frame, so the frame starts right after the header; the
//    positions are reckoned from the lengths, and checked against the
//    stream's (ftello) now and then;
//  - pcapng: the stream's position is taken before and after each record;
//    when a read consumed exactly one Enhanced Packet Block without
//    options (32 bytes around the frame, padded to 4), the frame starts 28
//    bytes into it (its header, read through the file's cache, must agree).
//    Anything else (options, several blocks at once, Simple Packet Blocks)
//    leaves that frame to be copied.
// The first frames of every file are read back at once and compared with
// what libpcap handed over; on any difference, and for link types whose
// frames libpcap rewrites as it reads them (byte-swapped pseudo-headers),
// every frame of the file is copied instead. That choice is told only in
// the debug log (QUORVANET_DEBUG set in the environment).
//
// Used by the capture thread alone.

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/frame_file.h"
#include "capture/packet_record.h"

namespace qv {

class RecordLocator {
 public:
  // For a savefile that `handle` has just opened; `path` names it in messages.
  RecordLocator(pcap_t* handle, std::string path);

  // Before each pcap_next_ex.
  void BeforeRecord();
  // After pcap_next_ex gave `header` and `bytes`: where those bytes lie in
  // the file, or null when this frame must be copied.
  const FramePlace* Locate(const pcap_pkthdr& header, const std::uint8_t* bytes);

 private:
  enum class Format { None, Pcap, Pcapng };
  void GiveUp(const std::string& why);
  // Set place_.offset for a frame of `length` bytes of a pcap or pcapng
  // file; false when its place cannot be told.
  bool LocateInPcap(std::uint32_t length);
  bool LocateInPcapng(std::uint32_t length);

  FILE* stream_ = nullptr;
  Format format_ = Format::None;
  std::uint32_t recordHeader_ = 16;  // pcap: the bytes before each frame
  std::uint32_t snapshot_ = 0;  // libpcap cuts records at this length
  off_t before_ = -1;            // where the next record starts, or -1 when unknown
  std::uint32_t sincePositionCheck_ = 0;
  std::uint32_t verified_ = 0;
  FramePlace place_;
};

}  // namespace qv
