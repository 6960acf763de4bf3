// Log files: names created exclusively with the next free number of the day,
// rotation at the packet and byte limits through a capture session (the
// fake backend's adapter is a savefile, so the live path runs on known
// frames), the file kept open across Stop and Start, and deletion.

#include "capture/capture_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>

#include "capture/log_files.h"
#include "log_reading.h"
#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

std::time_t Utc(int year, int month, int day, int hour = 12) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  return ::timegm(&t);  // the tests run with TZ=UTC, so local time is UTC
}

std::string Directory(const TempDir& dir) {
  std::string d = dir.File("");
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  return d;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

TEST(LogFileNames, NumberedWithinTheDayWhateverTheDirectoryEnding) {
  TempDir dir;
  const std::time_t day = Utc(2026, 12, 7);
  struct Case {
    std::string directory;
    const char* expected;
  };
  // Both spellings of the folder share one sequence: the second call finds
  // the first's file.
  const Case cases[] = {{Directory(dir), "sniffed_07_12_2026_0000.log"},
                        {Directory(dir) + "/", "sniffed_07_12_2026_0001.log"}};
  for (const Case& c : cases) {
    const CreatedLogFile f = CreateLogFile(c.directory, day);
    ASSERT_GE(f.fd, 0) << c.directory;
    ::close(f.fd);
    EXPECT_EQ(f.path, Directory(dir) + "/" + c.expected);
  }
  // Another day starts from 0 again; single-digit days and months are padded.
  const CreatedLogFile other = CreateLogFile(Directory(dir), Utc(2027, 1, 3));
  ::close(other.fd);
  EXPECT_EQ(NameOf(other.path), "sniffed_03_01_2027_0000.log");
}

TEST(LogFileNames, ALeftoverFileIsNeverReused) {
  TempDir dir;
  const std::time_t day = Utc(2026, 12, 7);
  // An earlier run (or another program) left 0000 and 0002 behind.
  Touch(dir.File("sniffed_07_12_2026_0000.log"));
  Touch(dir.File("sniffed_07_12_2026_0002.log"));
  std::vector<std::string> made;
  for (int i = 0; i < 2; ++i) {
    const CreatedLogFile f = CreateLogFile(Directory(dir), day);
    ASSERT_GE(f.fd, 0);
    ::close(f.fd);
    made.push_back(NameOf(f.path));
  }
  EXPECT_EQ(made, (std::vector<std::string>{"sniffed_07_12_2026_0001.log", "sniffed_07_12_2026_0003.log"}));
  std::ifstream leftover(dir.File("sniffed_07_12_2026_0000.log"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(leftover), {}), "x");
}

TEST(LogFileNames, AFolderThatCannotHoldFilesGivesTheMessage) {
  TempDir dir;
  const CreatedLogFile f = CreateLogFile(dir.File("missing/deeper"), Utc(2026, 12, 7));
  EXPECT_TRUE(f.path.empty());
  EXPECT_LT(f.fd, 0);
  EXPECT_EQ(f.error, ENOENT);
  EXPECT_EQ(LogFileCreationMessage(f.error),
            "I couldn't create a log file :(\n error=2\ndescription=No such file or directory");
}

TEST(LogOptionsTaken, FromTheSettingsAsTheLogsPageShowsThem) {
  struct Case {
    const char* what;
    Settings settings;
    LogOptions expected;
  };
  Settings all;
  all.loggingOn = true;
  all.logDirectory = "/var/log/q";
  all.deleteOldLogs = all.sizeLimitOn = all.countLimitOn = true;
  all.deleteAfterDays = 7;
  all.maxLogSize = 1.5 * 1024 * 1024;
  all.maxLogCount = 100;
  Settings unticked = all;
  unticked.deleteOldLogs = unticked.sizeLimitOn = unticked.countLimitOn = false;
  Settings off = all;
  off.loggingOn = false;
  Settings outOfRange = all;  // a fresh user's 1-byte size, a damaged file
  outOfRange.maxLogSize = 1.0;
  outOfRange.deleteAfterDays = 0;
  outOfRange.maxLogCount = -5;
  const Case cases[] = {
      {"every box ticked", all, {true, "/var/log/q", 7, 100, 1572864}},
      {"limits unticked", unticked, {true, "/var/log/q", -1, 0, 0}},
      {"logging off empties the directory", off, {false, "", -1, 0, 0}},
      {"values outside the fields' ranges", outOfRange, {true, "/var/log/q", 1, 1, 1048576}},
  };
  for (const Case& c : cases) {
    const LogOptions o = TakeLogOptions(c.settings);
    EXPECT_EQ(o.loggingOn, c.expected.loggingOn) << c.what;
    EXPECT_EQ(o.directory, c.expected.directory) << c.what;
    EXPECT_EQ(o.deleteAfterDays, c.expected.deleteAfterDays) << c.what;
    EXPECT_EQ(o.maxPackets, c.expected.maxPackets) << c.what;
    EXPECT_EQ(o.maxBytes, c.expected.maxBytes) << c.what;
  }
}

// --- deletion -------------------------------------------------------------

void SetWritten(const std::string& path, std::chrono::system_clock::time_point when) {
  const timespec t{std::chrono::system_clock::to_time_t(when), 0};
  const timespec times[2] = {t, t};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

TEST(LogDeletion, ExpiredByLastWriteTimeAndOnlySniffedLogFiles) {
  TempDir dir;
  const auto now = std::chrono::system_clock::now();
  const auto daysAgo = [&](int days) { return now - std::chrono::hours(24) * days - std::chrono::minutes(1); };
  struct File {
    const char* name;
    int ageDays;
    bool expiredGoes;  // with 30 days
  };
  const File files[] = {
      {"sniffed_01_01_2026_0000.log", 31, true},
      {"sniffed_02_01_2026_0000.log", 29, false},
      {"old_sniffed_copy.log", 40, true},   // the name contains "sniffed_"
      {"capture.log", 40, false},           // not a log file of ours
      {"sniffed_03_01_2026_0000.txt", 40, false},
      {"sniffed_04_01_2026_0000.log.bak", 40, false},
  };
  for (const File& f : files) {
    Touch(dir.File(f.name));
    SetWritten(dir.File(f.name), daysAgo(f.ageDays));
  }
  // Never followed, never descended into: a directory and a link with log names.
  std::filesystem::create_directory(dir.File("sniffed_folder.log"));
  TempDir outside;
  Touch(outside.File("precious.dat"));
  std::filesystem::create_symlink(outside.File("precious.dat"), dir.File("sniffed_link.log"));
  SetWritten(dir.File("sniffed_link.log"), daysAgo(40));

  EXPECT_EQ(DeleteLogFiles(Directory(dir), LogDeletion::Expired, -1, now), 0) << "unticked: nothing expires";
  EXPECT_EQ(DeleteLogFiles(Directory(dir), LogDeletion::Expired, 30, now), 2);
  for (const File& f : files) EXPECT_EQ(Exists(dir.File(f.name)), !f.expiredGoes) << f.name;

  EXPECT_EQ(DeleteLogFiles(Directory(dir) + "/", LogDeletion::All, -1, now), 1);
  EXPECT_FALSE(Exists(dir.File("sniffed_02_01_2026_0000.log")));
  for (const char* stays : {"capture.log", "sniffed_03_01_2026_0000.txt", "sniffed_04_01_2026_0000.log.bak",
                            "sniffed_folder.log", "sniffed_link.log"}) {
    EXPECT_TRUE(Exists(dir.File(stays))) << stays;
  }
  EXPECT_TRUE(Exists(outside.File("precious.dat")));
}

TEST(LogDeletion, AFolderWhosePathSaysSniffedDeletesNoOtherFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sniffed_logs"));
  const std::string folder = dir.File("sniffed_logs");
  Touch(folder + "/notes.log");
  Touch(folder + "/sniffed_05_01_2026_0000.log");
  EXPECT_EQ(DeleteLogFiles(folder, LogDeletion::All, -1, std::chrono::system_clock::now()), 1);
  EXPECT_TRUE(Exists(folder + "/notes.log"));
}

// --- writing through a capture session ------------------------------------------

struct LoggedSession {
  LoggedSession() : log([this](const std::string& text) {
    std::lock_guard lock(mutex);
    reports.push_back(text);
  }) {
    session.doc->SetLogSink(&log);
  }
  ~LoggedSession() { session.Finish(); }

  LogOptions Options(std::uint32_t maxPackets = 0, std::uint64_t maxBytes = 0) const {
    LogOptions o;
    o.loggingOn = true;
    o.directory = Directory(logs);
    o.maxPackets = maxPackets;
    o.maxBytes = maxBytes;
    return o;
  }
  // The tags of every logged frame, file by file.
  std::vector<std::vector<std::uint32_t>> LoggedTags() {
    std::vector<std::vector<std::uint32_t>> files;
    for (const std::string& name : LogFilesIn(Directory(logs))) {
      const LogContents c = ReadLog(logs.File(name));
      EXPECT_TRUE(c.readable) << name;
      EXPECT_EQ(c.linkType, DLT_EN10MB) << name;
      files.emplace_back();
      for (const Bytes& f : c.frames) files.back().push_back(TagOf(f));
    }
    return files;
  }
  std::vector<std::string> Reports() {
    std::lock_guard lock(mutex);
    return reports;
  }

  TempDir logs;
  std::mutex mutex;
  std::vector<std::string> reports;
  Session session;
  CaptureLog log;  // the destructor ends the session first
};

std::vector<std::uint32_t> Tags(std::uint32_t from, std::uint32_t to) {
  std::vector<std::uint32_t> t;
  for (std::uint32_t i = from; i < to; ++i) t.push_back(i);
  return t;
}

TEST(LogRotation, AtThePacketLimitFrame101GoesToTheNextFile) {
  LoggedSession s;
  s.session.OneAdapter(250);
  s.log.SetOptions(s.Options(100));
  s.session.CaptureToEnd();
  // Read right after Stop: every frame is on disk, in order.
  EXPECT_EQ(s.LoggedTags(),
            (std::vector<std::vector<std::uint32_t>>{Tags(0, 100), Tags(100, 200), Tags(200, 250)}));
  EXPECT_EQ(s.log.FramesWritten(), 250u);
  EXPECT_TRUE(s.Reports().empty());
}

TEST(LogRotation, AtTheByteLimitTheFrameThatReachesItClosesTheFile) {
  LoggedSession s;
  // 1 MiB = 1048576 bytes: 699 frames of 1500 bytes stay below, the 700th reaches it.
  s.session.OneAdapter(1000, {1500});
  s.log.SetOptions(s.Options(0, 1048576));
  s.session.CaptureToEnd();
  EXPECT_EQ(s.LoggedTags(), (std::vector<std::vector<std::uint32_t>>{Tags(0, 700), Tags(700, 1000)}));
}

TEST(LogRotation, TheFileStaysOpenAcrossStopAndStartAndClosesAtTheEnd) {
  LoggedSession s;
  s.session.OneAdapter(30);
  s.log.SetOptions(s.Options(100));
  s.session.CaptureToEnd();
  const std::string first = s.log.CurrentFile();
  EXPECT_EQ(s.LoggedTags(), (std::vector<std::vector<std::uint32_t>>{Tags(0, 30)}));

  // Reading a savefile logs nothing, whatever the options say.
  s.session.ReadToEnd(s.session.backend.files["eth0"]);
  s.session.CaptureToEnd();
  EXPECT_EQ(s.log.CurrentFile(), first);
  std::vector<std::uint32_t> twice = Tags(0, 30);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_EQ(s.LoggedTags(), (std::vector<std::vector<std::uint32_t>>{twice}));

  // Logging switched off at the next Start: nothing is written.
  LogOptions off;
  s.log.SetOptions(off);
  s.session.CaptureToEnd();
  EXPECT_EQ(s.LoggedTags().at(0).size(), 60u);
  EXPECT_EQ(s.log.FramesWritten(), 60u);
}

TEST(LogRotation, AFolderThatRefusesFilesIsReportedOnceAndTheCaptureGoesOn) {
  LoggedSession s;
  s.session.OneAdapter(20);
  LogOptions options = s.Options();
  options.directory = s.logs.File("not-there");
  s.log.SetOptions(options);
  s.session.CaptureToEnd();
  EXPECT_EQ(s.session.doc->PacketCount(), 20u);
  EXPECT_EQ(s.Reports(), (std::vector<std::string>{LogFileCreationMessage(ENOENT)}));
  EXPECT_TRUE(s.log.CurrentFile().empty());
  EXPECT_EQ(s.log.FramesWritten(), 0u);
}

TEST(LogRotation, ADeletionKeepsTheFileBeingWritten) {
  LoggedSession s;
  s.session.OneAdapter(10);
  s.log.SetOptions(s.Options());
  s.session.CaptureToEnd();
  Touch(s.logs.File("sniffed_01_01_2000_0000.log"));
  std::promise<int> deleted;
  s.log.DeleteFiles(Directory(s.logs), LogDeletion::All, -1, [&](int n) { deleted.set_value(n); });
  EXPECT_EQ(deleted.get_future().get(), 1);
  EXPECT_EQ(LogFilesIn(Directory(s.logs)), std::vector<std::string>{NameOf(s.log.CurrentFile())});
}

TEST(LogRotation, EveryFrameIsOnDiskWhenTheLogEnds) {
  TempDir logs;
  Bytes frame = TaggedFrame(7);
  {
    CaptureLog log([](const std::string&) {});
    LogOptions o;
    o.loggingOn = true;
    o.directory = Directory(logs);
    log.SetOptions(o);
    log.LiveCaptureOpened(DLT_EN10MB, 65536);
    for (std::uint32_t i = 0; i < 5000; ++i) {
      frame[45] = static_cast<std::uint8_t>(i);
      log.LiveFrame({i, 0, static_cast<std::uint32_t>(frame.size()), 60}, frame.data());
    }
    // No Stop: the program ends while the writer may still be busy.
  }
  const std::vector<std::string> files = LogFilesIn(Directory(logs));
  ASSERT_EQ(files.size(), 1u);
  const LogContents c = ReadLog(logs.File(files[0]));
  EXPECT_TRUE(c.readable);
  ASSERT_EQ(c.frames.size(), 5000u);
  EXPECT_EQ(c.frames[4999][45], static_cast<std::uint8_t>(4999));
}

}  // namespace
}  // namespace qv
