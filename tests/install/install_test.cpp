// The program as `cmake --install` lays it out in a scratch prefix: the file
// list, the desktop entry and the metainfo through their validators, the man
// page against the options the program has, the data folder found from bin/,
// and the desktop entry's Exec line opening capture files in windows of their
// own (offscreen).

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "shell_command.h"
#include "ui/launch_windows.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

const std::string kAppId = "com.brenmoor.Quorvanet";
const std::string kDemo = QUORVANET_SOURCE_DIR "/samples/demo.pcap";

using ShellRun = testing::CommandRun;
using testing::RunShell;

bool HaveTool(const std::string& name) { return RunShell("command -v " + name).status == 0; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// One installation shared by the tests of this file.
class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new QTemporaryDir();
    const ShellRun run = RunShell(Quoted(QUORVANET_CMAKE) + " --install " + Quoted(QUORVANET_BUILD_DIR) + " --prefix " +
                          Quoted(Prefix().string()));
    installLog_ = new std::string(run.out);
    installed_ = run.status == 0;
  }
  static void TearDownTestSuite() {
    delete prefix_;
    delete installLog_;
  }
  void SetUp() override { ASSERT_TRUE(installed_) << *installLog_; }

  static fs::path Prefix() { return fs::path(prefix_->path().toStdString()); }
  static fs::path DesktopEntry() { return Prefix() / "share/applications" / (kAppId + ".desktop"); }
  static fs::path Metainfo() { return Prefix() / "share/metainfo" / (kAppId + ".metainfo.xml"); }

 private:
  static QTemporaryDir* prefix_;
  static std::string* installLog_;
  static bool installed_;
};

QTemporaryDir* Installed::prefix_ = nullptr;
std::string* Installed::installLog_ = nullptr;
bool Installed::installed_ = false;

TEST_F(Installed, LaysOutEveryFileInItsPlace) {
  std::set<std::string> expected = {
      "bin/quorvanet",
      "bin/quorvanet-cli",
      "lib/quorvanet/quorvanet-capture",
      "share/quorvanet/quorvanet-help.html",
      "share/quorvanet/samples/demo.pcap",
      "share/applications/" + kAppId + ".desktop",
      "share/metainfo/" + kAppId + ".metainfo.xml",
      "share/mime/packages/" + kAppId + ".xml",
      "share/icons/hicolor/scalable/apps/" + kAppId + ".svg",
      "share/icons/hicolor/48x48/apps/" + kAppId + ".png",
      "share/icons/hicolor/256x256/apps/" + kAppId + ".png",
      "share/man/man1/quorvanet-cli.1.gz",
  };
  // Every example script the tree holds goes with the sample capture.
  for (const fs::directory_entry& e : fs::directory_iterator(QUORVANET_SOURCE_DIR "/samples")) {
    if (e.path().extension() == ".ssc") expected.insert("share/quorvanet/samples/" + e.path().filename().string());
  }
  std::set<std::string> found;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(Prefix())) {
    if (e.is_regular_file()) found.insert(fs::relative(e.path(), Prefix()).string());
  }
  EXPECT_EQ(found, expected);
  for (const char* program : {"bin/quorvanet", "bin/quorvanet-cli", "lib/quorvanet/quorvanet-capture"}) {
    struct stat info{};
    ASSERT_EQ(stat((Prefix() / program).c_str(), &info), 0) << program;
    EXPECT_NE(info.st_mode & S_IXUSR, 0u) << program;
  }
  // The PNGs are the sizes their folders promise (width and height from the IHDR chunk).
  for (int size : {48, 256}) {
    const std::string png = ReadFile(Prefix() / ("share/icons/hicolor/" + std::to_string(size) + "x" +
                                                  std::to_string(size) + "/apps/" + kAppId + ".png"));
    ASSERT_GE(png.size(), 24u);
    auto be32 = [&](std::size_t at) {
      return static_cast<int>(static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
                              static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
    };
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(be32(16), size);
    EXPECT_EQ(be32(20), size);
  }
}

TEST_F(Installed, DesktopEntryPassesItsValidatorAndClaimsCaptureFiles) {
  const std::string entry = ReadFile(DesktopEntry());
  EXPECT_NE(entry.find("\nExec=quorvanet %F\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nMimeType=application/vnd.tcpdump.pcap;application/x-pcapng;\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=" + kAppId + "\n"), std::string::npos);
  if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
  const ShellRun run = RunShell("desktop-file-validate " + Quoted(DesktopEntry().string()));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "");  // no warnings either
}

TEST_F(Installed, MetainfoPassesItsValidatorAndNamesThisRelease) {
  const std::string metainfo = ReadFile(Metainfo());
  EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"), std::string::npos);
  EXPECT_NE(metainfo.find("<release version=\"" QUORVANET_VERSION "\""), std::string::npos)
      << "the newest release in the metainfo is not " QUORVANET_VERSION;
  if (!HaveTool("appstreamcli")) GTEST_SKIP() << "appstreamcli is not installed";
  const ShellRun run = RunShell("appstreamcli validate --no-net " + Quoted(Metainfo().string()));
  EXPECT_EQ(run.status, 0) << run.out;
}

// pcapng files are known to the desktop through the installed MIME package,
// by name and by their first bytes.
TEST_F(Installed, MimePackageMakesPcapngFilesKnown) {
  if (!HaveTool("update-mime-database") || !HaveTool("gio")) GTEST_SKIP() << "shared-mime-info or gio is not installed";
  QTemporaryDir scratch;
  const fs::path data(scratch.path().toStdString());
  fs::create_directories(data / "mime/packages");
  fs::copy_file(Prefix() / "share/mime/packages" / (kAppId + ".xml"), data / "mime/packages" / (kAppId + ".xml"));
  const ShellRun update = RunShell("update-mime-database " + Quoted((data / "mime").string()));
  ASSERT_EQ(update.status, 0) << update.out;
  EXPECT_NE(ReadFile(data / "mime/globs2").find("application/x-pcapng:*.pcapng"), std::string::npos);

  // A Section Header Block, little-endian, under a name that says nothing.
  const std::string block("\x0a\x0d\x0d\x0a\x1c\x00\x00\x00\x4d\x3c\x2b\x1a\x01\x00\x00\x00"
                          "\xff\xff\xff\xff\xff\xff\xff\xff\x1c\x00\x00\x00", 28);
  std::ofstream(data / "capture.bin", std::ios::binary) << block;
  const std::string env = "XDG_DATA_HOME=" + Quoted(data.string()) + " XDG_DATA_DIRS=" + Quoted(data.string()) +
                          ":/usr/share ";
  const ShellRun info = RunShell(env + "gio info -a standard::content-type " + Quoted((data / "capture.bin").string()));
  EXPECT_NE(info.out.find("standard::content-type: application/x-pcapng"), std::string::npos) << info.out;
}

TEST_F(Installed, ManPageDocumentsEveryOption) {
  const ShellRun page = RunShell("gzip -dc " + Quoted((Prefix() / "share/man/man1/quorvanet-cli.1.gz").string()));
  ASSERT_EQ(page.status, 0) << page.out;
  EXPECT_NE(page.out.find(".SH EXIT STATUS"), std::string::npos);
  EXPECT_NE(page.out.find("\"Quorvanet " QUORVANET_VERSION "\""), std::string::npos) << "the page names another version";
  // Each option of the usage text appears in the page as roff writes it ("\-D", "\-\-doctor").
  std::istringstream usage(CliUsage());
  std::string line;
  int options = 0;
  while (std::getline(usage, line)) {
    if (!line.starts_with("  -")) continue;
    std::string option = line.substr(2, line.find(' ', 2) - 2);
    if (const auto comma = option.find(','); comma != std::string::npos) option.resize(comma);
    std::string roff;
    for (char c : option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.out.find(roff), std::string::npos) << option << " is missing from the man page";
    ++options;
  }
  EXPECT_GE(options, 10);
  if (HaveTool("man")) {
    const ShellRun warnings = RunShell("{ man --warnings -l " +
                                       Quoted((Prefix() / "share/man/man1/quorvanet-cli.1.gz").string()) +
                                       " >/dev/null; }");
    EXPECT_EQ(warnings.out, "") << "the page does not format cleanly";
  }
}

TEST(ProgramFolder, InstalledCopyFindsItsDataBesideBin) {
  QTemporaryDir dir;
  const QString root = dir.path();
  ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("usr/bin")));
  ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("usr/share/quorvanet")));
  ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("build/src/ui")));
  const std::string r = root.toStdString();
  struct Case {
    const char* what;
    const char* home;
    QString executableFolder;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"installed", nullptr, root + "/usr/bin", r + "/usr/share/quorvanet/"},
      {"build folder", nullptr, root + "/build/src/ui", r + "/build/src/ui/"},
      {"QUORVANET_HOME first", "/srv/q", root + "/usr/bin", "/srv/q/"},
      {"QUORVANET_HOME with its slash", "/srv/q/", root + "/usr/bin", "/srv/q/"},
      {"empty QUORVANET_HOME is unset", "", root + "/usr/bin", r + "/usr/share/quorvanet/"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveProgramFolder(c.home, c.executableFolder), c.expected) << c.what;
}

int FramesIn(const std::string& path) {
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  if (p == nullptr) return -1;
  int frames = 0;
  pcap_pkthdr* header;
  const u_char* bytes;
  while (pcap_next_ex(p, &header, &bytes) == 1) ++frames;
  pcap_close(p);
  return frames;
}

// The Exec line with its field codes expanded for `files`, split into
// arguments as the desktop would start the program.
QStringList ExpandExec(const std::string& entry, const QStringList& files) {
  const auto at = entry.find("\nExec=");
  const auto end = entry.find('\n', at + 1);
  QStringList arguments;
  for (const QString& word : QString::fromStdString(entry.substr(at + 6, end - at - 6)).split(u' ', Qt::SkipEmptyParts)) {
    if (word == QStringLiteral("%F")) {
      arguments << files;
    } else {
      arguments << word;
    }
  }
  return arguments;
}

TEST_F(Installed, ExecLineOpensEachFileInAWindowOfItsOwn) {
  QTemporaryDir scratch;
  // A name with a blank, as files in a home folder often have.
  const QString copy = scratch.filePath(QStringLiteral("second capture.pcap"));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(kDemo), copy));
  const QStringList arguments = ExpandExec(ReadFile(DesktopEntry()), {QString::fromStdString(kDemo), copy});
  ASSERT_EQ(arguments.size(), 3) << arguments.join(u'|').toStdString();
  // The program the desktop starts is the installed one.
  EXPECT_TRUE(fs::exists(Prefix() / "bin" / arguments.at(0).toStdString()));

  QtSettingsStore store(scratch.filePath(QStringLiteral("settings.ini")));
  QtUserPrompt prompt;
  prompt.SetSilent(true);
  const std::string folder = ResolveProgramFolder(nullptr, QString::fromStdString((Prefix() / "bin").string()));
  std::vector<std::unique_ptr<CMainFrame>> windows =
      OpenLaunchWindows(CaptureFileArguments(arguments), store, prompt, folder);
  ASSERT_EQ(windows.size(), 2u);
  const int frames = FramesIn(kDemo);
  ASSERT_GT(frames, 0);
  QElapsedTimer waited;
  waited.start();
  auto loaded = [&] {
    return std::all_of(windows.begin(), windows.end(), [&](const auto& w) {
      return !w->Doc().IsReadingFile() && w->Model().rowCount() == frames;
    });
  };
  while (!loaded() && waited.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
    for (auto& w : windows) w->Poll();
  }
  EXPECT_EQ(windows[0]->windowTitle(), QStringLiteral("Quorvanet - demo.pcap"));
  EXPECT_EQ(windows[1]->windowTitle(), QStringLiteral("Quorvanet - second capture.pcap"));
  for (auto& w : windows) {
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Doc().PacketCount(), static_cast<std::uint32_t>(frames));
    EXPECT_EQ(w->Model().rowCount(), frames);
  }
  // The installed help page is where the window looks for it.
  EXPECT_TRUE(fs::exists(folder + "quorvanet-help.html"));
}

// The process whose arguments are exactly `arguments`, or 0.
pid_t FindProcess(const std::vector<std::string>& arguments) {
  std::string wanted;
  for (const std::string& a : arguments) wanted += a + '\0';
  for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadFile(e.path() / "cmdline") == wanted) return static_cast<pid_t>(std::stoi(name));
  }
  return 0;
}

// The desktop's own launcher reads the installed entry and starts the
// installed program with the file, as a double-click in a file manager does.
TEST_F(Installed, GioLaunchStartsTheInstalledProgramOnTheFile) {
  if (!HaveTool("gio")) GTEST_SKIP() << "gio is not installed";
  QTemporaryDir scratch;
  const std::string dir = scratch.path().toStdString();
  const std::string file = dir + "/launched capture.pcap";
  fs::copy_file(kDemo, file);
  const ShellRun run = RunShell("PATH=" + Quoted((Prefix() / "bin").string()) +
                                ":\"$PATH\" QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=" + Quoted(dir) +
                                " gio launch " + Quoted(DesktopEntry().string()) + " " + Quoted(file) + " >" +
                                Quoted(dir + "/launch.log"));
  ASSERT_EQ(run.status, 0) << run.out << ReadFile(dir + "/launch.log");
  pid_t pid = 0;
  QElapsedTimer waited;
  waited.start();
  while ((pid = FindProcess({"quorvanet", file})) == 0 && waited.elapsed() < 10000) QThread::msleep(50);
  ASSERT_NE(pid, 0) << "no quorvanet process on the file; launcher said:\n" << ReadFile(dir + "/launch.log");
  std::error_code error;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error), Prefix() / "bin/quorvanet");
  ::kill(pid, SIGTERM);
}

TEST(LaunchArguments, FilesAndFileUrlsWithoutTheProgram) {
  EXPECT_EQ(CaptureFileArguments({QStringLiteral("quorvanet")}), QStringList());
  EXPECT_EQ(CaptureFileArguments({QStringLiteral("quorvanet"), QStringLiteral("/tmp/a.pcap"),
                                  QStringLiteral("file:///tmp/b%20c.pcapng")}),
            (QStringList{QStringLiteral("/tmp/a.pcap"), QStringLiteral("/tmp/b c.pcapng")}));
}

}  // namespace
}  // namespace qv
