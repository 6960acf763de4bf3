#pragma once
// Script files for tests, written to a private folder that goes away with
// the fixture.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qv::testing {

class ScriptFolder {
 public:
  ScriptFolder() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("quorvanet-scripts-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir_);
  }
  ~ScriptFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScriptFolder(const ScriptFolder&) = delete;
  ScriptFolder& operator=(const ScriptFolder&) = delete;

  // Writes `text` as the file `name` and returns its path.
  std::string Write(const std::string& name, std::string_view text) const {
    const auto path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return path.string();
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

}  // namespace qv::testing
