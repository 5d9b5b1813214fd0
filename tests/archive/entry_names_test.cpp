#include "archive/entry_names.h"

#include <gtest/gtest.h>

#include "platform/paths.h"

namespace tovask {
namespace {

struct NameCase {
  const char* name;
  bool safe;
};

class EntryNameSafety : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameSafety, Classifies) {
  EXPECT_EQ(IsSafeEntryName(GetParam().name), GetParam().safe) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameSafety,
    ::testing::Values(
        NameCase{"a.txt", true}, NameCase{"docs\\readme", true}, NameCase{"ab:c.txt", true},
        NameCase{"a:b.txt", false}, NameCase{"...", false}, NameCase{"数据\\报告.doc", true},
        NameCase{".profile", true}, NameCase{"a?b", true},  // skipped by extraction, not refused
        NameCase{"", false}, NameCase{"..", false}, NameCase{".", false}, NameCase{"..\\x", false},
        NameCase{"a\\..\\..\\x", false}, NameCase{"a\\.\\x", false}, NameCase{"\\abs", false},
        NameCase{"/abs", false}, NameCase{"a/b", false}, NameCase{"C:x", false},
        NameCase{"c:\\x", false}, NameCase{"a\\", false}, NameCase{"a\\\\b", false},
        NameCase{"a\tb", false}, NameCase{"a\nb", false}, NameCase{"a\x7f", false},
        NameCase{"bad\xff\xfe", false},
        // Dots and blanks only: "." or ".." to some systems.
        NameCase{".. \\x", false}, NameCase{"a\\. .", false}, NameCase{" ", false},
        // Changed by Windows, files like any other here.
        NameCase{"apache.\\x.pom", !platform::kSystemChangesNames},
        NameCase{"d\\con.txt", !platform::kSystemChangesNames}, NameCase{" lead", true},
        NameCase{"a.b.c", true}));

TEST(EntryNameSafety, LevelsChangedByWindows) {
  for (const char* changed : {"a.", "a ", "CON", "con.txt", "Nul .tar.gz", "com1", "LPT9.log",
                              "COM\xC2\xB9", "conin$", "CONOUT$.x", "aux", "PRN"}) {
    EXPECT_TRUE(IsLevelChangedByWindows(changed)) << changed;
  }
  for (const char* kept :
       {"CONSOLE", "COM10", "com0", "LPT", "xcon", " lead", "a.b", "nul-x", "COM\xC2\xB4"}) {
    EXPECT_FALSE(IsLevelChangedByWindows(kept)) << kept;
  }
}

TEST(EntryNameToNative, ReplacesEveryBackslash) {
  EXPECT_EQ(EntryNameToNative("a\\b\\c.txt"), "a/b/c.txt");
  EXPECT_EQ(EntryNameToNative("plain"), "plain");
}

// Names match as the archive compares them: ASCII letters without regard to case, every other
// byte exactly (no Unicode case folding).
TEST(EntryNameSet, MatchesAsTheArchiveComparesNames) {
  const EntryNameSet set({"Docs\\Read.ME", "数据\\a.txt", "ä.txt"});
  struct Case {
    const char* name;
    bool contained;
  };
  for (const Case& c :
       {Case{"docs\\read.me", true}, Case{"DOCS\\READ.ME", true}, Case{"数据\\A.TXT", true},
        Case{"Ä.txt", false}, Case{"docs/read.me", false}, Case{"docs\\read.m", false},
        Case{"", false}}) {
    EXPECT_EQ(set.Contains(c.name), c.contained) << c.name;
  }
  EXPECT_TRUE(EntryNameSet().empty());
  EXPECT_FALSE(EntryNameSet().Contains(""));
}

}  // namespace
}  // namespace tovask
