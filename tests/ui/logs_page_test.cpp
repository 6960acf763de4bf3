// The Logs page bound to the settings, the window's log-file commands (the
// expired sweep at start, "Delete all log files"), and the new-version
// balloon at the status bar's web-site button.

#include "ui/logs_page.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "capture/version_check.h"
#include "ui/main_window.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/version_balloon.h"
#include "version_server.h"
#include "../capture/log_reading.h"
#include "../capture/session_harness.h"

namespace qv {
namespace {

using qv::testing::VersionServer;

TEST(LogsPage, EveryControlWritesItsSettingAtOnceAndGatesItsField) {
  Settings s;
  s.logDirectory = "/srv/logs/";
  s.maxLogSize = 1.0;  // a fresh user's value: one byte, outside the field's range
  LogsPage page(s);
  EXPECT_EQ(page.DirectoryField()->text(), QStringLiteral("/srv/logs/"));
  EXPECT_DOUBLE_EQ(page.SizeField()->value(), 1.0);
  EXPECT_DOUBLE_EQ(s.maxLogSize, 1048576.0) << "the field's 1 MB is what the settings hold";
  EXPECT_EQ(page.DaysField()->value(), 30);
  EXPECT_EQ(page.CountField()->value(), 100);
  for (QWidget* field : {static_cast<QWidget*>(page.DaysField()), static_cast<QWidget*>(page.SizeField()),
                         static_cast<QWidget*>(page.CountField())}) {
    EXPECT_FALSE(field->isEnabled());
  }

  page.LoggingBox()->setChecked(true);
  page.DirectoryField()->setText(QStringLiteral("/tmp/q"));
  page.DeleteBox()->setChecked(true);
  page.DaysField()->setValue(400);  // beyond 366
  page.SizeBox()->setChecked(true);
  page.SizeField()->setValue(1.5);
  page.CountBox()->setChecked(true);
  page.CountField()->setValue(0);  // below 1
  EXPECT_TRUE(s.loggingOn);
  EXPECT_EQ(s.logDirectory, "/tmp/q");
  EXPECT_TRUE(s.deleteOldLogs && s.sizeLimitOn && s.countLimitOn);
  EXPECT_EQ(s.deleteAfterDays, 366);
  EXPECT_DOUBLE_EQ(s.maxLogSize, 1572864.0);
  EXPECT_EQ(s.maxLogCount, 1);
  EXPECT_TRUE(page.DaysField()->isEnabled() && page.SizeField()->isEnabled() && page.CountField()->isEnabled());
  page.SizeBox()->setChecked(false);
  EXPECT_FALSE(s.sizeLimitOn);
  EXPECT_FALSE(page.SizeField()->isEnabled());
}

TEST(LogsPage, DeleteAllAsksFirstAndOnlyYesDeletes) {
  Settings s;
  LogsPage page(s);
  int requests = 0;
  QObject::connect(&page, &LogsPage::deleteAllRequested, [&] { ++requests; });
  QString asked, caption;
  bool answer = false;
  page.SetQuestion([&](const QString& text, const QString& title) {
    asked = text;
    caption = title;
    return answer;
  });
  page.DeleteAllButton()->click();
  EXPECT_EQ(asked, QStringLiteral("Are you sure you want to delete all log files?"));
  EXPECT_EQ(caption, QStringLiteral("I don't believe you!"));
  EXPECT_EQ(requests, 0);
  answer = true;
  page.DeleteAllButton()->click();
  EXPECT_EQ(requests, 1);
}

// --- the window ---------------------------------------------------------------

class LogWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<QtSettingsStore>(dir_.filePath(QStringLiteral("settings.ini")));
    store_->SetInt("Test", "TestValue", kSettingsMarker);
    prompt_.SetSilent(true);
  }
  void Open() { window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/"); }
  std::string File(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }
  static void Touch(const std::string& path, int daysOld = 0) {
    std::ofstream(path) << "x";
    const auto when = std::chrono::system_clock::now() - std::chrono::hours(24) * daysOld - std::chrono::minutes(1);
    const timespec t{std::chrono::system_clock::to_time_t(when), 0};
    const timespec times[2] = {t, t};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
  template <typename Pred>
  static bool WaitFor(Pred ready, int ms = 10000) {
    QElapsedTimer waited;
    waited.start();
    while (!ready() && waited.elapsed() < ms) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    }
    return ready();
  }

  QTemporaryDir dir_;
  std::unique_ptr<QtSettingsStore> store_;
  QtUserPrompt prompt_;
  std::unique_ptr<CMainFrame> window_;
};

TEST_F(LogWindow, OldLogsGoAtStartAndDeleteAllTakesTheRest) {
  store_->SetInt("log", "BoolDelete", 1);
  store_->SetInt("log", "Delete", 2);
  Touch(File("sniffed_01_01_2026_0000.log"), 3);
  Touch(File("sniffed_02_01_2026_0000.log"), 1);
  Touch(File("keep.log"), 30);
  Open();
  EXPECT_EQ(window_->Tabs()->widget(3), &window_->Logs());
  window_->Log().Flush();  // the sweep has run
  EXPECT_FALSE(Exists(File("sniffed_01_01_2026_0000.log")));
  EXPECT_TRUE(Exists(File("sniffed_02_01_2026_0000.log")));

  window_->Logs().SetQuestion([](const QString&, const QString&) { return true; });
  window_->Logs().DeleteAllButton()->click();
  window_->Log().Flush();
  EXPECT_FALSE(Exists(File("sniffed_02_01_2026_0000.log")));
  EXPECT_TRUE(Exists(File("keep.log")));
}

TEST_F(LogWindow, ANewerVersionShowsTheBalloonAtTheWebSiteButton) {
  VersionServer server("Quorvanet\r\n2 0 0\r\n<p>Faster logs.</p>\r\n");
  store_->SetString("Update", "VersionUrl", server.Url().toStdString());
  Open();
  window_->show();
  ASSERT_TRUE(WaitFor([&] { return window_->Balloon() != nullptr && window_->Balloon()->isVisible(); }));
  VersionBalloon* balloon = window_->Balloon();
  EXPECT_EQ(balloon->text(), QStringLiteral("<h2>Version 2.0.0 available!</h2><br><hr><br><p>Faster logs.</p>\r\n"));
  // Beside the button it points at.
  const QRect button(window_->WebSiteButton()->mapToGlobal(QPoint(0, 0)), window_->WebSiteButton()->size());
  EXPECT_LE(std::abs(balloon->geometry().bottom() - button.top()), 2) << "balloon above the button";
  QTest::mouseClick(balloon, Qt::LeftButton);
  EXPECT_FALSE(balloon->isVisible());
  EXPECT_TRUE(prompt_.SilencedMessages().empty());
}

TEST_F(LogWindow, NoCheckWithoutAnAddressOrWhenSwitchedOff) {
  VersionServer server("Quorvanet\n2 0 0\n");
  struct Case {
    const char* what;
    std::string url;
    int checkForNewVersion;
  };
  const Case cases[] = {{"no address (the default)", "", 1}, {"switched off", server.Url().toStdString(), 0}};
  for (const Case& c : cases) {
    store_->SetString("Update", "VersionUrl", c.url);
    store_->SetInt("log", "CheckForNewVer", c.checkForNewVersion);
    Open();
    EXPECT_EQ(window_->Check(), nullptr) << c.what;
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(server.Request().isEmpty()) << c.what;
    EXPECT_EQ(window_->Balloon(), nullptr) << c.what;
    EXPECT_TRUE(prompt_.SilencedMessages().empty()) << c.what;
    window_.reset();
  }
}

TEST_F(LogWindow, AServerNotReachedIsReported) {
  QString url;
  {
    VersionServer gone("");
    url = gone.Url();
  }
  store_->SetString("Update", "VersionUrl", url.toStdString());
  Open();
  ASSERT_TRUE(WaitFor([&] { return !prompt_.SilencedMessages().empty(); }));
  EXPECT_EQ(prompt_.SilencedMessages(), std::vector<std::string>{kCannotConnect});
  EXPECT_EQ(window_->Balloon(), nullptr);
}


TEST_F(LogWindow, StartTakesTheLogsPageOptions) {
  // The adapter "eth0" is a savefile of 25 frames read through the live path.
  testing::FakeBackend backend;
  backend.adapters.adapters = {{"eth0", ""}};
  backend.files["eth0"] = File("eth0.pcap");
  testing::WriteTaggedFile(backend.files["eth0"], 25);
  const std::string logs = File("logs");
  std::filesystem::create_directory(logs);
  window_ = std::make_unique<CMainFrame>(*store_, prompt_, dir_.path().toStdString() + "/", &backend);
  LogsPage& page = window_->Logs();
  page.LoggingBox()->setChecked(true);
  page.DirectoryField()->setText(QString::fromStdString(logs));
  page.CountBox()->setChecked(true);
  page.CountField()->setValue(10);
  window_->StartCapture();
  ASSERT_TRUE(WaitFor([&] { return window_->Doc().CanStart() && window_->Doc().PacketCount() == 25; }));
  window_->Doc().WaitForCapture();
  std::vector<std::size_t> perFile;
  for (const std::string& name : testing::LogFilesIn(logs)) {
    perFile.push_back(testing::ReadLog(logs + "/" + name).frames.size());
  }
  EXPECT_EQ(perFile, (std::vector<std::size_t>{10, 10, 5}));
}

}  // namespace
}  // namespace qv
