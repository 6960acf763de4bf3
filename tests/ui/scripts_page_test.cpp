// The Scripts page: adding, refusing, enabling, deleting and persisting
// script files.

#include "ui/scripts_page.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <fstream>

#include "recording_prompt.h"

namespace qv {
namespace {

class ScriptsPageTest : public ::testing::Test {
 protected:
  QString Write(const QString& name, const std::string& text) {
    const QString path = dir_.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << text;
    return path;
  }
  std::unique_ptr<ScriptsPage> MakePage() { return std::make_unique<ScriptsPage>(registry_, store_, prompt_); }
  static QString Cell(const ScriptsPage& page, int row, int column) {
    return page.List()->topLevelItem(row)->text(column);
  }

  QTemporaryDir dir_;
  ScriptRegistry registry_;
  MemorySettingsStore store_;
  testing::RecordingPrompt prompt_;
};

TEST_F(ScriptsPageTest, AddsScriptsAndRefusesDuplicatesAndFaultyFiles) {
  auto page = MakePage();
  QTreeWidget* list = page->List();
  ASSERT_EQ(list->columnCount(), 3);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Protocol"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("File name"));
  EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("File path"));
  EXPECT_EQ(list->columnWidth(0), 100);
  EXPECT_EQ(list->columnWidth(1), 200);
  EXPECT_EQ(list->columnWidth(2), 600);

  int changed = 0;
  QObject::connect(page.get(), &ScriptsPage::scriptsChanged, [&] { ++changed; });
  const QString path = Write(QStringLiteral("Demo.ssc"), "udp\n0\n4\nDEMO\n");
  page->SetFileChooser([&] { return path; });
  page->AddButton()->click();
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(Cell(*page, 0, 0), QStringLiteral("DEMO"));
  EXPECT_EQ(Cell(*page, 0, 1), QStringLiteral("Demo.ssc"));
  EXPECT_EQ(Cell(*page, 0, 2), path);
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(changed, 1);

  // The same file in other letter case, a faulty file, a missing file.
  EXPECT_FALSE(page->Add(path.toUpper(), QStringLiteral("DEMO.SSC")));
  EXPECT_FALSE(page->Add(Write(QStringLiteral("bad.ssc"), "udp\n0\n4\nBAD\n\nfield\n"), QStringLiteral("bad.ssc")));
  const QString missing = dir_.filePath(QStringLiteral("missing.ssc"));
  EXPECT_FALSE(page->Add(missing, QStringLiteral("missing.ssc")));
  EXPECT_EQ(prompt_.Messages(), (std::vector<std::string>{"This file is already here!", "Line 6: bad begining of line",
                                                          "Error while opening file: " + missing.toStdString()}));
  EXPECT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(registry_.Scripts().size(), 1u);

  page->SetFileChooser([] { return QString(); });  // cancelled
  page->AddButton()->click();
  EXPECT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(changed, 1);
}

TEST_F(ScriptsPageTest, CheckBoxesEnableAndDisable) {
  auto page = MakePage();
  const QString path = Write(QStringLiteral("a.ssc"), "udp\n0\n4\nA\n");
  ASSERT_TRUE(page->Add(path, QStringLiteral("a.ssc")));
  int changed = 0;
  QObject::connect(page.get(), &ScriptsPage::scriptsChanged, [&] { ++changed; });
  page->List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(registry_.FirstScript()->enabled);
  page->List()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(registry_.FirstScript()->enabled);
  EXPECT_EQ(changed, 2);
}

TEST_F(ScriptsPageTest, DeleteTheSelectedRowOrAll) {
  auto page = MakePage();
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(page->Add(Write(QString::fromLatin1(name) + ".ssc", std::string("udp\n0\n4\n") + name + "\n"),
                          QString::fromLatin1(name) + ".ssc"));
  }
  page->DeleteButton()->click();  // nothing selected: nothing happens
  EXPECT_EQ(page->List()->topLevelItemCount(), 3);

  page->List()->topLevelItem(1)->setSelected(true);
  page->DeleteButton()->click();
  ASSERT_EQ(page->List()->topLevelItemCount(), 2);
  EXPECT_EQ(Cell(*page, 1, 0), QStringLiteral("c"));
  ASSERT_EQ(registry_.Scripts().size(), 2u);
  EXPECT_EQ(registry_.Scripts()[0].ownName, "c");
  EXPECT_EQ(registry_.Scripts()[1].ownName, "a");

  page->DeleteAllButton()->click();
  EXPECT_EQ(page->List()->topLevelItemCount(), 0);
  EXPECT_TRUE(registry_.Scripts().empty());
  // The names stay usable as parents.
  EXPECT_TRUE(page->Add(Write(QStringLiteral("on-b.ssc"), "B\n0\n4\nD\n"), QStringLiteral("on-b.ssc")));
}

TEST_F(ScriptsPageTest, ListIsPersistedAndLoadedSilently) {
  const QString good = Write(QStringLiteral("good.ssc"), "udp\n0\n4\nGOOD\n");
  const QString damaged = Write(QStringLiteral("damaged.ssc"), "udp\nx\n");
  store_.SetInt("Scripts", "Count", 4);
  store_.SetString("Scripts", "file0", damaged.toStdString());
  store_.SetString("Scripts", "file1", good.toStdString());
  store_.SetString("Scripts", "file2", "relative.ssc");
  // file3 is absent: an empty path, which fails like the others.
  auto page = MakePage();
  EXPECT_TRUE(prompt_.Messages().empty());
  ASSERT_EQ(page->List()->topLevelItemCount(), 1);
  EXPECT_EQ(Cell(*page, 0, 0), QStringLiteral("GOOD"));
  EXPECT_EQ(Cell(*page, 0, 1), QStringLiteral("good.ssc"));
  EXPECT_EQ(page->List()->topLevelItem(0)->checkState(0), Qt::Checked);

  ASSERT_TRUE(page->Add(Write(QStringLiteral("second.ssc"), "udp\n0\n4\nSECOND\n"), QStringLiteral("second.ssc")));
  page->SavePersisted();
  EXPECT_EQ(store_.GetInt("Scripts", "Count"), 2);
  EXPECT_EQ(store_.GetString("Scripts", "file0"), good.toStdString());
  EXPECT_EQ(store_.GetString("Scripts", "file1"), dir_.filePath(QStringLiteral("second.ssc")).toStdString());
  EXPECT_EQ(store_.GetString("Scripts", "file2"), "relative.ssc");  // left over, ignored by Count

  // A damaged count loads a bounded list.
  MemorySettingsStore huge;
  huge.SetInt("Scripts", "Count", 2000000000);
  ScriptRegistry registry;
  ScriptsPage bounded(registry, huge, prompt_);
  EXPECT_EQ(bounded.List()->topLevelItemCount(), 0);
}

TEST_F(ScriptsPageTest, ButtonsGetLightFacesAndGreenText) {
  auto page = MakePage();
  for (QPushButton* b : {page->AddButton(), page->DeleteButton(), page->DeleteAllButton()}) {
    const auto colours = page->ButtonColours(b);
    for (int channel : {colours[0].red(), colours[0].green(), colours[0].blue()}) {
      EXPECT_GE(channel, 236);
      EXPECT_LE(channel, 255);
    }
    EXPECT_EQ(colours[1], QColor(40, 160, 40));
    for (int channel : {colours[2].red(), colours[2].green(), colours[2].blue()}) {
      EXPECT_GE(channel, 221);
      EXPECT_LE(channel, 240);
    }
  }
  EXPECT_EQ(page->AddButton()->text(), QStringLiteral("Add"));
  EXPECT_EQ(page->DeleteButton()->text(), QStringLiteral("Delete"));
  EXPECT_EQ(page->DeleteAllButton()->text(), QStringLiteral("Delete all"));
}

}  // namespace
}  // namespace qv
