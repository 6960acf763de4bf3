// The script file format: what loads, and the exact message (with its line
// number) for what does not.

#include <gtest/gtest.h>

#include <string>

#include "temp_dir.h"
#include "scripts/script_registry.h"

namespace qv {
namespace {

using testing::TempDir;

// Loads `text` into a fresh registry; "" when it loads, the message otherwise.
std::string LoadMessage(const std::string& text) {
  TempDir folder;
  ScriptRegistry registry;
  try {
    registry.LoadScript(folder.Write("t.ssc", text));
    return "";
  } catch (const CScriptExc& e) {
    return e.Message();
  }
}

struct Case {
  const char* what;
  std::string text;
  std::string message;  // "" = loads
};

const std::string kHead = "udp\n1\np 2 = 1\n4\nDEMO\n";  // fields start on line 6

TEST(ScriptParser, AcceptsOrNamesTheFaultyLine) {
  const Case cases[] = {
      {"worked example", kHead + "single: 0 1 \"Version: %d\", 0 1\ncondit: 2 4 256 \"Kind: request (%x)\", 2 2\n"
                                 "single: 4 8 \"Cookie: %X\", 4 4\n", ""},
      {"parent in other case, blanks around", " UdP \t\n0\n1\nX\n", ""},
      {"unknown parent", "foo\n0\n1\nX\n", "Line 1: Unknown parent protocol"},
      {"snap is offered but no initial parent", "snap\n0\n1\nX\n", "Line 1: Unknown parent protocol"},
      {"empty parent", "\n0\n1\nX\n", "Line 1: Unknown parent protocol"},
      {"count 0: size on line 3", "udp\n0\n12 x\nX\n",
       "Line 3: something is a bit fucked up there, perhaps to big amount of <<things>>"},
      {"count with leading zero", "udp\n05\n", "Line 2: I only need a size value there"},
      {"count with plus", "udp\n+5\n", "Line 2: I only need a size value there"},
      {"negative count", "udp\n-1\n", "Line 2: I only need a size value there"},
      {"count with a word", "udp\n5 x\n", "Line 2: I only need a size value there"},
      {"empty count", "udp\n\n", "Line 2: I only need a size value there"},
      {"count beyond int", "udp\n99999999999\n", "Line 2: I only need a size value there"},
      {"count with blanks around", "udp\n  1 \t\nc 0 = 1\n1\nX\n", ""},
      {"conditions of every side and operator", "udp\n4\np 0 = 1\nP 1 ! 2\nc 2 < 3\nC 3 > 4  \t\n1\nX\n", ""},
      {"condition starting with a blank", "udp\n1\n p 0 = 1\n1\nX\n", "Line 3: missing parameter - choose <p> or <c>"},
      {"empty condition", "udp\n1\n\n1\nX\n", "Line 3: missing parameter - choose <p> or <c>"},
      {"unknown side", "udp\n1\nx 0 = 1\n1\nX\n", "Line 3: missing parameter - choose <p> or <c>"},
      {"negative start", "udp\n1\np -1 = 1\n1\nX\n", "Line 3: bad value of <<start>> argument"},
      {"missing start", "udp\n1\np = 1\n1\nX\n", "Line 3: bad value of <<start>> argument"},
      {"value 0", "udp\n1\nc 0 = 0\n1\nX\n", "Line 3: bad value of the argument"},
      {"value 300 can never hold but loads", "udp\n1\nc 0 = 300\n1\nX\n", ""},
      {"missing value and operator: the value is checked first", "udp\n1\np 0\n1\nX\n",
       "Line 3: bad value of the argument"},
      {"bad operator", "udp\n1\np 0 ? 5\n1\nX\n", "Line 3: bad value of condition argument indeed"},
      {"second value", "udp\n1\nc 0 = 7 8\n1\nX\n", "Line 3: Too many <<things>>"},
      {"word after the value", "udp\n1\nc 0 = 7x\n1\nX\n", "Line 3: Too many <<things>>"},
      {"second condition faulty", "udp\n2\np 0 = 1\np 0 = 1 1\n1\nX\n", "Line 4: Too many <<things>>"},
      {"size &offset width", "udp\n0\n&2 2\nX\n", ""},
      {"size & offset width", "udp\n0\n& 2 2\nX\n", ""},
      {"size FULL", "udp\n0\nFULL\nX\n", ""},
      {"size full", "udp\n0\nfull\nX\n", ""},
      {"empty size", "udp\n0\n\nX\n", ""},
      {"size with a word", "udp\n0\n12 bytes\nX\n",
       "Line 3: something is a bit fucked up there, perhaps to big amount of <<things>>"},
      {"& with a word", "udp\n0\n&1 x\nX\n",
       "Line 3: something is a bit fucked up there, perhaps to big amount of <<things>>"},
      {"empty own name", "udp\n0\n1\n\n", ""},
      {"keywords in any case", kHead + "Single: 0 1 \"a\"\nCONDIT: 0 1 5 \"b\"\n", ""},
      {"keyword with an extra letter", kHead + "singles: 0 1 \"a\"\n", "Line 6: bad begining of line"},
      {"short line", kHead + "sing\n", "Line 6: bad begining of line"},
      {"one integer", kHead + "single: 0 \"a\"\n", "Line 6: error"},
      {"conditional without match value", kHead + "condit: 0 1 \"a\"\n", "Line 6: error"},
      {"no label", kHead + "single: 0 1\n", "Line 6: error"},
      {"empty label", kHead + "single: 0 1 \"\"\n", "Line 6: error"},
      {"label not closed", kHead + "single: 0 1 \"abc\n", "Line 6: error"},
      {"label without conversions, no group", kHead + "single: 0 1 \"plain\"\n", ""},
      {"group of offset only", kHead + "single: 0 1 \"a %d\",1\n", ""},
      {"group with blanks around the comma", kHead + "single: 0 1 \"a\" , 1 2 \n", ""},
      {"two groups", kHead + "single: 0 1 \"a\", 0 1, 2 2\n", "Line 6: error"},
      {"two groups, blank before the comma", kHead + "single: 0 1 \"a\", 0 1 , 2 2\n", "Line 6: error"},
      {"group without comma", kHead + "single: 0 1 \"a\" 0 1\n", "Line 6: error"},
      {"signed group", kHead + "single: 0 1 \"a\", -1 1\n", "Line 6: error"},
      {"blank lines are counted", kHead + "\nsingle: 0 1 \"a\"\n\n  \t\nbad\n", "Line 10: bad begining of line"},
      {"CR LF line ends", "udp\r\n1\r\nc 0 = 7\r\n4\r\nDEMO\r\nsingle: 0 1 \"a\", 0 1\r\n", ""},
      {"no line end at the end", kHead + "single: 0 1 \"a\"", ""},
      {"empty file", "", "Line 1: unexpected end of file"},
      {"ends before its conditions", "udp\n3\np 0 = 1\n", "Line 4: unexpected end of file"},
      {"ends before the own name", "udp\n0\n1\n", "Line 4: unexpected end of file"},
      {"line of 1023 characters", kHead + "single: 0 1 \"" + std::string(1023 - 14, 'a') + "\"\n", ""},
      {"line of 1024 characters", kHead + "single: 0 1 \"" + std::string(1024 - 14, 'a') + "\"\nbad\n",
       "Line 6: line too long (over 1023 characters)"},
      {"binary data", std::string("udp\n0\n1\nX\nsingle: 0 1 \"a\0b\"\n", 26), "Line 5: not a text line (binary data)"},
      {"binary file", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), "Line 1: not a text line (binary data)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadMessage(c.text), c.message) << c.what;
  }
}

TEST(ScriptParser, MissingFileAndFolderCannotBeOpened) {
  TempDir folder;
  ScriptRegistry registry;
  for (const std::string& path : {folder.File("absent.ssc"), folder.File("")}) {
    try {
      registry.LoadScript(path);
      ADD_FAILURE() << path;
    } catch (const CScriptExc& e) {
      EXPECT_EQ(e.Message(), "Error while opening file: " + path);
    }
  }
}

TEST(ScriptParser, WorkedExampleBecomesTheModel) {
  TempDir folder;
  ScriptRegistry registry;
  const std::string path = folder.Write("demo.ssc",
                                        "udp\n2\np 2 = 1\nc 0 > 3\n&1 1\n DEMO \n"
                                        "single: 0 1 \"Version: %d\", 0 1\n"
                                        "condit: 2 4 256 \"Kind: request (%x)\", 2 2\n\n"
                                        "  single: 4 8 \"Cookie: %X\"  \n");
  registry.LoadScript(path);
  ASSERT_EQ(registry.Scripts().size(), 1u);
  const ProtocolScript& s = registry.Scripts().front();
  EXPECT_EQ(s.path, path);
  EXPECT_TRUE(s.enabled);
  EXPECT_EQ(s.parentName, "udp");
  ASSERT_EQ(s.conditions.size(), 2u);
  EXPECT_EQ(s.conditions[1].side, 'c');
  EXPECT_EQ(s.conditions[1].start, 0);
  EXPECT_EQ(s.conditions[1].op, '>');
  EXPECT_EQ(s.conditions[1].value, 3);
  EXPECT_EQ(s.sizeRule, "&1 1");
  EXPECT_EQ(s.ownName, "DEMO");
  ASSERT_EQ(s.fields.size(), 3u);
  EXPECT_EQ(s.fields[0].kind, ScriptField::Kind::Single);
  EXPECT_EQ(s.fields[0].match, -1);
  EXPECT_EQ(s.fields[1].kind, ScriptField::Kind::Conditional);
  EXPECT_EQ(s.fields[1].start, 2);
  EXPECT_EQ(s.fields[1].end, 4);
  EXPECT_EQ(s.fields[1].match, 256);
  EXPECT_EQ(s.fields[1].format, "\"Kind: request (%x)\", 2 2");
  EXPECT_EQ(s.fields[1].label, "Kind: request (%x)");
  ASSERT_TRUE(s.fields[1].group);
  EXPECT_EQ(s.fields[1].group->offset, 2u);
  EXPECT_EQ(s.fields[1].group->width, 2u);
  EXPECT_FALSE(s.fields[2].group);
  EXPECT_EQ(s.fields[2].format, "\"Cookie: %X\"");
}

TEST(ScriptRegistry, ParentNamesGrowByOwnNamesAndNeverShrink) {
  TempDir folder;
  ScriptRegistry registry;
  EXPECT_EQ(registry.ParentNames(),
            (std::vector<std::string>{"tcp", "ipv4", "udp", "eth", "llc", "ipx", "nbipx", "netbios"}));

  const std::string stacked = folder.Write("b.ssc", "demo\n0\n2\nB\n");
  EXPECT_THROW(registry.ValidateScript(stacked), CScriptExc);

  const std::string a = folder.Write("a.ssc", "udp\n0\n4\nDEMO\n");
  registry.LoadScript(a);
  registry.LoadScript(folder.Write("again.ssc", "udp\n0\n4\nDemo\n"));  // the same name in other case
  registry.LoadScript(folder.Write("tcp.ssc", "eth\n0\n4\nTCP\n"));     // a built-in name
  EXPECT_EQ(registry.ParentNames().size(), 9u);
  EXPECT_EQ(registry.ParentNames().back(), "DEMO");

  EXPECT_TRUE(registry.ValidateScript(stacked));
  registry.RemoveScript(a);
  EXPECT_TRUE(registry.ValidateScript(stacked));
  registry.LoadScript(stacked);
  EXPECT_EQ(registry.FirstScript()->ownName, "B");
}

TEST(ScriptRegistry, FailedLoadChangesNothing) {
  TempDir folder;
  ScriptRegistry registry;
  registry.LoadScript(folder.Write("a.ssc", "udp\n0\n4\nA\n"));
  const auto names = registry.ParentNames();
  EXPECT_THROW(registry.LoadScript(folder.Write("bad.ssc", "udp\n0\n4\nNEW\nbad field\n")), CScriptExc);
  EXPECT_EQ(registry.ParentNames(), names);
  ASSERT_EQ(registry.Scripts().size(), 1u);
  EXPECT_EQ(registry.FirstScript()->ownName, "A");
}

TEST(ScriptRegistry, RemoveAndEnableFindTheFirstScriptOfThePathInAnyCase) {
  TempDir folder;
  ScriptRegistry registry;
  const std::string path = folder.Write("Same.ssc", "udp\n0\n4\nFIRST\n");
  registry.LoadScript(path);
  folder.Write("Same.ssc", "udp\n0\n4\nSECOND\n");
  registry.LoadScript(path);  // the same path twice, as a settings store may list it
  registry.LoadScript(folder.Write("other.ssc", "udp\n0\n4\nOTHER\n"));

  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  registry.SetScriptEnabled(upper, false);
  EXPECT_TRUE(registry.Scripts()[0].enabled);
  EXPECT_FALSE(registry.Scripts()[1].enabled);  // SECOND, the later of the two
  EXPECT_TRUE(registry.Scripts()[2].enabled);

  registry.RemoveScript(upper);
  ASSERT_EQ(registry.Scripts().size(), 2u);
  EXPECT_EQ(registry.Scripts()[1].ownName, "FIRST");
  registry.RemoveScript(folder.File("nothing.ssc"));
  EXPECT_EQ(registry.Scripts().size(), 2u);
}

}  // namespace
}  // namespace qv
