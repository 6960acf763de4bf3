#include "capture/cache_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Sets or clears an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(CacheFolderTest, ComesFromXdgCacheHomeWhenAbsoluteElseFromHome) {
  const struct {
    const char* xdg;
    const char* home;
    const char* expected;
  } cases[] = {
      {"/var/cache/u", "/home/u", "/var/cache/u/quorvanet"},
      {"/var/cache/u//", "/home/u", "/var/cache/u/quorvanet"},
      {"relative/cache", "/home/u", "/home/u/.cache/quorvanet"},
      {"", "/home/u/", "/home/u/.cache/quorvanet"},
      {nullptr, "/home/u", "/home/u/.cache/quorvanet"},
      {nullptr, "/", "/.cache/quorvanet"},
      {nullptr, "home/u", ""},
      {nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " " + (c.home ? c.home : "(unset)"));
    ScopedEnv xdg("XDG_CACHE_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(CacheFolderPath(), c.expected);
  }
}

TEST(CacheFolderTest, IsMadeWithItsParentsForTheUserAlone) {
  testing::TempDir dir;
  ScopedEnv xdg("XDG_CACHE_HOME", dir.File("a/b").c_str());
  const CacheFolder folder = EnsureCacheFolder();
  ASSERT_EQ(folder.path, dir.File("a/b/quorvanet")) << folder.error;
  for (const std::string& made : {dir.File("a"), dir.File("a/b"), folder.path}) {
    EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
  }
  // A second time finds it there.
  EXPECT_EQ(EnsureCacheFolder().path, folder.path);

  dir.Write("file", "x");
  ScopedEnv blocked("XDG_CACHE_HOME", dir.File("file").c_str());
  const CacheFolder refused = EnsureCacheFolder();
  EXPECT_TRUE(refused.path.empty());
  EXPECT_FALSE(refused.error.empty());
}

TEST(CacheFolderTest, TemporaryFilesHaveNoNameInTheFolder) {
  testing::TempDir dir;
  for (const auto make : {&MakeCacheFile, &MakeNamedCacheFile}) {
    const CacheFile file = make(dir.File(""));
    ASSERT_GE(file.fd, 0) << file.error;
    EXPECT_TRUE(fs::is_empty(dir.File("")));
    EXPECT_EQ(::write(file.fd, "frames", 6), 6);
    char back[6] = {};
    EXPECT_EQ(::pread(file.fd, back, sizeof back, 0), 6);
    EXPECT_EQ(std::string(back, 6), "frames");
    EXPECT_NE(::fcntl(file.fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(file.fd);
  }
  const CacheFile missing = MakeCacheFile(dir.File("missing"));
  EXPECT_EQ(missing.fd, -1);
  EXPECT_FALSE(missing.error.empty());
}

// A process id that no process has: a child that has ended and been reaped.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(CacheFolderTest, OnlyLeftoversOfEndedProcessesAreRemoved) {
  testing::TempDir dir;
  const std::string dead = std::to_string(EndedProcess());
  const std::string alive = std::to_string(::getpid());
  const std::string stale = "decompressed-" + dead + "-a1B2c3";
  const std::vector<std::string> keep{
      "decompressed-" + alive + "-a1B2c3",  // a running process's
      "decompressed-" + dead + "-a1B2c",    // not mkstemp's six characters
      "decompressed-" + dead + "-a1B2c3.pcap",
      "decompressed--a1B2c3",
      "decompressed-0-a1B2c3",
      "decompressed-x" + dead + "-a1B2c3",
      "capture-" + dead + "-a1B2c3",
      "notes.txt",
  };
  dir.Write(stale, "x");
  for (const std::string& name : keep) dir.Write(name, "x");
  // Of the right name, but not a regular file.
  const std::string folderLike = "decompressed-" + dead + "-dddddd";
  fs::create_directory(dir.File(folderLike));
  const std::string outside = dir.Write("outside", "x");
  const std::string linkLike = "decompressed-" + dead + "-llllll";
  fs::create_symlink(outside, dir.File(linkLike));

  EXPECT_EQ(RemoveStaleCacheFiles(dir.File("")), 1);
  EXPECT_FALSE(fs::exists(dir.File(stale)));
  for (const std::string& name : keep) EXPECT_TRUE(fs::exists(dir.File(name))) << name;
  EXPECT_TRUE(fs::is_directory(dir.File(folderLike)));
  EXPECT_TRUE(fs::is_symlink(dir.File(linkLike)));
  EXPECT_TRUE(fs::exists(outside));

  EXPECT_EQ(RemoveStaleCacheFiles(dir.File("missing")), 0);
}

}  // namespace
}  // namespace qv
