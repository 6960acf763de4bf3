// The packet-file reader over any bytes. Checked: a load either fails with
// the one message the program shows for a damaged file, or yields exactly the
// frame the header announces, which then writes back to the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_check.h"
#include "sender/packet_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const char> contents(reinterpret_cast<const char*>(data), size);
  const qv::PacketFileLoad load = qv::ParsePacketFile(contents);
  if (!load.error.empty()) {
    FUZZ_CHECK(load.error == qv::kWrongFileMessage, "a damaged file gave an unexpected message");
    FUZZ_CHECK(load.frame.empty(), "a refused file still yielded a frame");
    return 0;
  }
  FUZZ_CHECK(load.frame.size() <= size, "the frame is longer than the file");
  // The frame is the file's own bytes, not bytes from anywhere else.
  const std::span<const std::uint8_t> input(data, size);
  FUZZ_CHECK(std::search(input.begin(), input.end(), load.frame.begin(), load.frame.end()) != input.end(),
             "the frame holds bytes the file does not");
  (void)qv::PacketFileContents(load.frame);
  return 0;
}
