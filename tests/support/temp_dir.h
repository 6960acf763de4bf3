#pragma once
// A scratch directory of one test, removed with everything in it when the
// object goes. Named with the process id, so parallel test runs never meet.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qv::testing {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("quorvanet-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Writes `text` as the file `name` and returns its path.
  std::string Write(const std::string& name, std::string_view text) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return path;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qv::testing
