#include "capture/settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

#include "ui/options_dialog.h"
#include "ui/qt_settings_store.h"

namespace qv {
namespace {

TEST(Settings, FreshUserGetsTheRuntimeDefaults) {
  MemorySettingsStore empty;
  const Settings s = LoadSettings(empty, "/opt/quorvanet/");
  EXPECT_EQ(s.logDirectory, "/opt/quorvanet/");
  const RuntimeOptions r = ResolveRuntimeOptions(s);
  EXPECT_EQ(r.bufferMaxCount, 5000u);
  EXPECT_EQ(r.bufferMaxBytes, 10000000u);
  EXPECT_EQ(r.whenFullAction, 1);
  EXPECT_EQ(r.statisticsRows, 30);
  EXPECT_TRUE(r.useDns);
  EXPECT_TRUE(r.useTrafficNames);
  EXPECT_TRUE(r.checkForNewVersion);
  EXPECT_EQ(r.kernelBufferMB, 32);
  EXPECT_EQ(r.memoryBudgetMB, DefaultMemoryBudgetMB());
  EXPECT_GT(r.memoryBudgetMB, 0u);
}

// Stored values the program cannot use are read as the defaults: an action
// outside 0..2 would turn every when-full action off, a kernel buffer outside
// 1..1024 MB would be refused by the dialog that shows it.
TEST(Settings, OutOfRangeValuesReadAsTheDefaults) {
  struct Case {
    const char* section;
    const char* name;
    int stored;
    int action;
    int kernelMB;
    std::uint32_t budgetMB;
  };
  const std::uint32_t half = DefaultMemoryBudgetMB();
  const Case cases[] = {
      {"log", "Action", 3, 1, 32, half},        {"log", "Action", -7, 1, 32, half},
      {"log", "Action", 0, 0, 32, half},        {"log", "Action", 2, 2, 32, half},
      {"pcap", "BufferMB", 0, 1, 32, half},     {"pcap", "BufferMB", 1025, 1, 32, half},
      {"pcap", "BufferMB", 1, 1, 1, half},      {"pcap", "BufferMB", 1024, 1, 1024, half},
      {"pcap", "MemoryBudgetMB", 0, 1, 32, half}, {"pcap", "MemoryBudgetMB", 300, 1, 32, 300},
  };
  for (const Case& c : cases) {
    MemorySettingsStore store;
    store.SetInt("Test", "TestValue", kSettingsMarker);
    store.SetInt(c.section, c.name, c.stored);
    const RuntimeOptions r = ResolveRuntimeOptions(LoadSettings(store, "/p/"));
    EXPECT_EQ(r.whenFullAction, c.action) << c.name << " " << c.stored;
    EXPECT_EQ(r.kernelBufferMB, c.kernelMB) << c.name << " " << c.stored;
    EXPECT_EQ(r.memoryBudgetMB, c.budgetMB) << c.name << " " << c.stored;
  }
}

TEST(Settings, LoadRules) {
  MemorySettingsStore store;
  store.SetInt("Test", "TestValue", kSettingsMarker);
  store.SetInt("log", "TotalMaxCnt", 100);  // without TotalMaxSize: both limits stay default
  store.SetInt("log", "Bool", 2);           // neither 1 nor 0: logging stays off
  store.SetInt("log", "UseDNS", 7);         // any value but -1 counts, non-zero is on
  store.SetInt("log", "CheckForNewVer", 0);
  store.SetInt("log", "Action", -1);        // -1 leaves the field
  store.SetString("pcap", "CurrentDevice", "");
  const Settings s = LoadSettings(store, "/p/");
  EXPECT_FALSE(s.loggingOn);
  EXPECT_TRUE(s.useDns);
  EXPECT_FALSE(s.checkForNewVersion);
  EXPECT_EQ(s.whenFullAction, -1);
  EXPECT_EQ(s.currentDevice, "");
  const RuntimeOptions r = ResolveRuntimeOptions(s);
  EXPECT_EQ(r.bufferMaxCount, 5000u);
  EXPECT_EQ(r.bufferMaxBytes, 10000000u);

  // Without the marker nothing is read.
  MemorySettingsStore unmarked;
  unmarked.SetInt("log", "Bool", 1);
  EXPECT_FALSE(LoadSettings(unmarked, "/p/").loggingOn);
}

// Both stores keep what was saved: the in-memory one and QSettings' INI file.
TEST(Settings, RoundTripThroughBothStores) {
  Settings s;
  s.currentDevice = "eth1";
  s.loggingOn = true;
  s.countLimitOn = true;
  s.deleteAfterDays = 7;
  s.maxLogSize = 1.5 * 1048576;
  s.maxLogCount = 12;
  s.logDirectory = "/var/log/quorvanet/";
  s.useDns = false;
  s.useTrafficNames = false;
  s.colours = {0x0000ff, -1, 0x00ff00, 0x123456};
  s.bufferMaxCount = 20000;
  s.bufferMaxBytes = 30000000;
  s.whenFullAction = 2;
  s.statisticsRows = 99;
  s.kernelBufferMB = 64;
  s.memoryBudgetMB = 2048;

  QTemporaryDir dir;
  QtSettingsStore ini(dir.filePath(QStringLiteral("q.ini")));
  MemorySettingsStore memory;
  for (SettingsStore* store : std::initializer_list<SettingsStore*>{&memory, &ini}) {
    ASSERT_TRUE(SaveSettings(*store, s));
    ASSERT_TRUE(store->Flush());
    const Settings back = LoadSettings(*store, "/elsewhere/");
    EXPECT_EQ(back.currentDevice, "eth1");
    EXPECT_TRUE(back.loggingOn);
    EXPECT_FALSE(back.deleteOldLogs);
    EXPECT_TRUE(back.countLimitOn);
    EXPECT_EQ(back.deleteAfterDays, 7);
    EXPECT_EQ(back.maxLogSize, 1572864.0);
    EXPECT_EQ(store->GetInt("log", "Size"), 1572864);
    EXPECT_EQ(back.maxLogCount, 12);
    EXPECT_EQ(back.logDirectory, "/var/log/quorvanet/");
    EXPECT_FALSE(back.useDns);
    EXPECT_FALSE(back.useTrafficNames);
    EXPECT_FALSE(ResolveRuntimeOptions(back).useTrafficNames);
    EXPECT_EQ(back.colours, s.colours);
    EXPECT_EQ(ResolveRuntimeOptions(back).bufferMaxCount, 20000u);
    EXPECT_EQ(ResolveRuntimeOptions(back).bufferMaxBytes, 30000000u);
    EXPECT_EQ(back.whenFullAction, 2);
    EXPECT_EQ(back.statisticsRows, 99);
    EXPECT_EQ(store->GetInt("pcap", "BufferMB"), 64);
    EXPECT_EQ(ResolveRuntimeOptions(back).kernelBufferMB, 64);
    EXPECT_EQ(ResolveRuntimeOptions(back).memoryBudgetMB, 2048u);
  }
  // The INI file really holds integers under their sections.
  QSettings raw(dir.filePath(QStringLiteral("q.ini")), QSettings::IniFormat);
  EXPECT_EQ(raw.value(QStringLiteral("Test/TestValue")).toInt(), 6531);
  EXPECT_EQ(raw.value(QStringLiteral("log/TotalMaxCnt")).toInt(), 20000);
}

// Only the program's own 0 switches names from the traffic off; anything
// else it did not write leaves the default, on.
TEST(Settings, TrafficNamesStayOnUnlessSwitchedOff) {
  struct Case {
    const char* stored;  // null: not stored
    bool on;
  };
  const Case cases[] = {{nullptr, true}, {"0", false}, {"1", true}, {"2", true}, {"-3", true}, {"off", true}};
  for (const Case& c : cases) {
    QTemporaryDir dir;
    {
      QSettings raw(dir.filePath(QStringLiteral("q.ini")), QSettings::IniFormat);
      raw.setValue(QStringLiteral("Test/TestValue"), 6531);
      if (c.stored != nullptr) raw.setValue(QStringLiteral("log/UseTrafficNames"), QString::fromLatin1(c.stored));
    }
    QtSettingsStore store(dir.filePath(QStringLiteral("q.ini")));
    const Settings s = LoadSettings(store, "/p/");
    EXPECT_EQ(s.useTrafficNames, c.on) << (c.stored != nullptr ? c.stored : "not stored");
    EXPECT_EQ(ResolveRuntimeOptions(s).useTrafficNames, c.on);
  }
  // Put back into the record, it is saved as 0.
  Settings s;
  RuntimeOptions r;
  r.useTrafficNames = false;
  StoreRuntimeOptions(s, r);
  MemorySettingsStore store;
  ASSERT_TRUE(SaveSettings(store, s));
  EXPECT_EQ(store.GetInt("log", "UseTrafficNames"), 0);
}

TEST(Settings, DamagedValuesCountAsAbsent) {
  QTemporaryDir dir;
  {
    QSettings raw(dir.filePath(QStringLiteral("q.ini")), QSettings::IniFormat);
    raw.setValue(QStringLiteral("Test/TestValue"), 6531);
    raw.setValue(QStringLiteral("log/TotalMaxCnt"), QStringLiteral("lots"));
    raw.setValue(QStringLiteral("log/TotalMaxSize"), 4000);
  }
  QtSettingsStore store(dir.filePath(QStringLiteral("q.ini")));
  const Settings s = LoadSettings(store, "/p/");
  EXPECT_EQ(s.bufferMaxCount, -1);
  EXPECT_EQ(ResolveRuntimeOptions(s).bufferMaxCount, 5000u);
}

// A serialised value claiming gigabytes would make QSettings allocate them
// while reading: such lines are taken out, the rest still loads, and the file
// as it was is kept beside it.
TEST(Settings, SerialisedVariantsAreTakenOutBeforeReading) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("q.ini"));
  const QByteArray text =
      "[Test]\nTestValue=6531\n[log]\nTotalMaxCnt=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xf0)\nTotalMaxSize=4000\n";
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QtSettingsStore store(path);
  EXPECT_EQ(store.GetInt("Test", "TestValue"), 6531);
  EXPECT_EQ(store.GetInt("log", "TotalMaxSize"), 4000);
  EXPECT_EQ(store.GetInt("log", "TotalMaxCnt"), std::nullopt);
  QFile kept(path + QStringLiteral(".damaged"));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), text);
}

TEST(OptionsDialog, RefusesValuesOutOfRangeAndKeepsTheTexts) {
  OptionsValues values;
  values.currentDevice = "eth1";
  OptionsDialog dialog({{"eth0", ""}, {"eth1", ""}}, values);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Options"));
  EXPECT_EQ(dialog.AdapterList()->currentText(), QStringLiteral("eth1"));
  ASSERT_EQ(dialog.WhenFullList()->count(), 3);
  EXPECT_EQ(dialog.WhenFullList()->itemText(1), QStringLiteral("remove packets  & go on"));
  EXPECT_EQ(dialog.WhenFullList()->itemText(2), QStringLiteral("remove packets & statistics & go on"));

  struct Case {
    QLineEdit* edit;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {dialog.PacketCountEdit(), "9", false},         {dialog.PacketCountEdit(), "10", true},
      {dialog.PacketCountEdit(), "10000001", false},  {dialog.BufferSizeEdit(), "100000001", false},
      {dialog.BufferSizeEdit(), "0", true},           {dialog.StatisticsRowsEdit(), "0", false},
      {dialog.StatisticsRowsEdit(), "1000", true},    {dialog.StatisticsRowsEdit(), "ten", false},
      {dialog.KernelBufferEdit(), "0", false},        {dialog.KernelBufferEdit(), "1", true},
      {dialog.KernelBufferEdit(), "1024", true},      {dialog.KernelBufferEdit(), "1025", false},
  };
  for (const Case& c : cases) {
    const QString before = c.edit->text();
    c.edit->setText(QString::fromLatin1(c.text));
    EXPECT_EQ(dialog.Validate().isEmpty(), c.accepted) << c.text;
    c.edit->setText(before);
  }
  dialog.PacketCountEdit()->setText(QStringLiteral("9"));
  EXPECT_EQ(dialog.Validate(), QStringLiteral("Please enter an integer between 10 and 10000000."));
  dialog.PacketCountEdit()->setText(QStringLiteral("250"));
  dialog.WhenFullList()->setCurrentIndex(0);
  EXPECT_EQ(dialog.Validate(), QString());
  EXPECT_EQ(dialog.Values().bufferMaxCount, 250u);
  EXPECT_EQ(dialog.Values().whenFullAction, 0);
  dialog.KernelBufferEdit()->setText(QStringLiteral("0"));
  EXPECT_EQ(dialog.Validate(), QStringLiteral("Please enter an integer between 1 and 1024."));
  dialog.KernelBufferEdit()->setText(QStringLiteral("128"));
  EXPECT_EQ(dialog.Validate(), QString());
  EXPECT_EQ(dialog.Values().kernelBufferMB, 128);
}

TEST(OptionsDialog, TrafficNamesBoxShowsAndTakesTheOption) {
  for (const bool on : {true, false}) {
    OptionsValues values;
    values.useTrafficNames = on;
    OptionsDialog dialog({{"eth0", ""}}, values);
    ASSERT_NE(dialog.TrafficNamesBox(), nullptr);
    EXPECT_EQ(dialog.TrafficNamesBox()->text(), QStringLiteral("Use names from the traffic"));
    EXPECT_EQ(dialog.TrafficNamesBox()->isChecked(), on);
    dialog.TrafficNamesBox()->setChecked(!on);
    EXPECT_EQ(dialog.Validate(), QString());
    EXPECT_EQ(dialog.Values().useTrafficNames, !on);
    EXPECT_EQ(dialog.Values().useDns, true);  // its neighbour is its own option
  }
}

TEST(OptionsDialog, AnUnknownWhenFullActionShowsAndKeepsTheDefault) {
  OptionsValues values;
  values.whenFullAction = 5;
  OptionsDialog dialog({{"eth0", ""}}, values);
  EXPECT_EQ(dialog.WhenFullList()->currentIndex(), 1);
  EXPECT_EQ(dialog.Validate(), QString());
  EXPECT_EQ(dialog.Values().whenFullAction, 1);
}

}  // namespace
}  // namespace qv
