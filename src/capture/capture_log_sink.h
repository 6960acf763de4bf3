#pragma once
// Where the frames of a live capture go besides the packet buffer: the log
// files. The capture thread calls these; an implementation hands the frame
// over without waiting for the disk.

#include <cstdint>

#include "capture/packet_record.h"

namespace qv {

class CaptureLogSink {
 public:
  virtual ~CaptureLogSink() = default;
  // A live capture opened its adapter, before its first frame.
  virtual void LiveCaptureOpened(int /*linkType*/, int /*snapshotLength*/) {}
  // One frame of a live capture, after its row was added.
  virtual void LiveFrame(const FrameHeader& /*header*/, const std::uint8_t* /*bytes*/) {}
  // The live capture's loop ended; returns once every frame handed over is
  // written and flushed.
  virtual void LiveCaptureEnded() {}
};

}  // namespace qv
