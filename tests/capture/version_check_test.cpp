// The new-version check against a small HTTP server of the test's own on
// 127.0.0.1, serving one version file per case.

#include "capture/version_check.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <optional>

#include "version_server.h"

namespace qv {
namespace {

using qv::testing::VersionServer;

struct Outcome {
  bool finished = false;
  std::optional<QString> balloon;
  std::optional<QString> failure;
};

Outcome RunCheck(const QString& url) {
  Outcome out;
  VersionCheck check;
  QEventLoop loop;
  QObject::connect(&check, &VersionCheck::newVersion, [&](const QString& html) { out.balloon = html; });
  QObject::connect(&check, &VersionCheck::failed, [&](const QString& text) { out.failure = text; });
  QObject::connect(&check, &VersionCheck::finished, &loop, [&] {
    out.finished = true;
    loop.quit();
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  if (check.Start(url)) loop.exec();
  return out;
}

TEST(VersionCheck, ABalloonOnlyForANewerVersionOfThisProgram) {
  struct Case {
    const char* file;
    const char* balloon;  // null: nothing shown
  };
  const Case cases[] = {
      {"Quorvanet\r\n1 0 1\r\n<p>same</p>\r\n", nullptr},
      {"Quorvanet\r\n1 0 2\r\n<p>fixes</p>\r\n<b>more</b>\r\n",
       "<h2>Version 1.0.2 available!</h2><br><hr><br><p>fixes</p>\r\n<b>more</b>\r\n"},
      {"Quorvanet\n1 1 0\n", "<h2>Version 1.1.0 available!</h2><br><hr><br>"},
      {"QUORVANET\n2 0 0\n<i>x</i>", "<h2>Version 2.0.0 available!</h2><br><hr><br><i>x</i>\r\n"},
      {"Quorvanet\n0 9 9\n", nullptr},
      {"Quorvanet\n1 0 0\n", nullptr},
      {"Quorvanet Sniffer\n2 0 0\n", nullptr},
      {"<html><body>Not Found</body></html>\n2 0 0\n", nullptr},
      {"Quorvanet\nversion two\n", nullptr},
      {"Quorvanet\n2 0\n", nullptr},
      {"Quorvanet", nullptr},
      {"", nullptr},
      {"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", nullptr},
  };
  for (const Case& c : cases) {
    VersionServer server(QByteArray(c.file, static_cast<qsizetype>(std::char_traits<char>::length(c.file))));
    const Outcome out = RunCheck(server.Url());
    ASSERT_TRUE(out.finished) << c.file;
    EXPECT_FALSE(out.failure) << c.file;
    if (c.balloon == nullptr) {
      EXPECT_FALSE(out.balloon) << c.file << " showed " << out.balloon->toStdString();
    } else {
      ASSERT_TRUE(out.balloon) << c.file;
      EXPECT_EQ(out.balloon->toStdString(), c.balloon);
    }
    EXPECT_TRUE(server.Request().startsWith("GET /quorvanet/version ")) << server.Request().toStdString();
    EXPECT_TRUE(server.Request().contains("User-Agent: Looking for new version\r\n"))
        << server.Request().toStdString();
  }
}

TEST(VersionCheck, AServerNotReachedGivesTheMessage) {
  VersionServer server("Quorvanet\n2 0 0\n");
  const QString url = server.Url();
  server.Close();  // the port now refuses connections
  const Outcome out = RunCheck(url);
  ASSERT_TRUE(out.finished);
  EXPECT_EQ(out.failure, QStringLiteral("Cannot connect to the Internet"));
  EXPECT_FALSE(out.balloon);
}

TEST(VersionCheck, NoAddressNoThreadAndASlowServerNeverHoldsTheEnd) {
  {
    VersionCheck check;
    EXPECT_FALSE(check.Start(QString()));
    EXPECT_FALSE(check.Start(QStringLiteral("  ")));
    EXPECT_FALSE(check.Started());
  }
  VersionServer silent("", /*answer=*/false);
  QElapsedTimer ended;
  {
    auto check = std::make_unique<VersionCheck>();
    ASSERT_TRUE(check->Start(silent.Url()));
    QElapsedTimer waited;
    waited.start();
    while (silent.Request().isEmpty() && waited.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(silent.Request().isEmpty()) << "the request never came";
    ended.start();
  }
  // The server has not answered: the check was abandoned, not awaited (its
  // own time-out is 30 s).
  EXPECT_LT(ended.elapsed(), 5000);
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
