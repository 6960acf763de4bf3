// The version file, as a server might send it. Checked: an announcement is
// made only for a file that names the program and a newer version, and the
// balloon text never grows beyond what the file could explain.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/version_check.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> balloon = qv::VersionBalloonText(file);
  if (balloon) {
    FUZZ_CHECK(size >= 9, "a file too short to name the program announced a version");
    FUZZ_CHECK(balloon->size() <= 4096 + 16 * size, "the balloon text is out of all proportion to the file");
  }
  return 0;
}
