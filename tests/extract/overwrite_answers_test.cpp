// The overwrite question inside a run: each of the seven answers (and no answer), alone and as
// the first of several existing files; remembered answers; automatic numbering; typed names.
#include <gtest/gtest.h>

#include <map>

#include "extract/extract_fixture.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using Contents = std::map<std::string, std::string>;

Contents ContentsOf(const std::string& root) {
  Contents contents;
  for (const std::string& name : TreeOf(root)) {
    if (!name.empty() && name.back() != '/') contents[name] = ReadFile(root + "/" + name);
  }
  return contents;
}

// The first answer as plain values: a table of std::string members trips GCC 12's
// -Wmaybe-uninitialized in the table's static initialisation.
struct FirstAnswer {
  OverwriteAnswer answer;
  const char* newName;
  ScriptedQuestion::Step Step() const { return {answer, newName}; }
};

struct AnswerCase {
  const char* label;
  FirstAnswer first;
  bool result;
  std::vector<int> codes;
  // One existing file a.txt.
  Contents alone;
  // Existing a.txt, b.txt, c.txt and a new d.txt; later questions answered "no".
  int questionsOfSeveral;
  Contents several;
};

const Contents kOldSeveral = {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}};

Contents With(Contents base, const Contents& more) {
  for (const auto& [name, content] : more) base[name] = content;
  return base;
}

const AnswerCase kAnswerCases[] = {
    {"Yes",
     {AnswerYes, ""},
     true,
     {},
     {{"a.txt", "new a"}},
     3,
     With(kOldSeveral, {{"a.txt", "new a"}, {"d.txt", "new d"}})},
    {"YesToAll",
     {AnswerYesToAll, ""},
     true,
     {},
     {{"a.txt", "new a"}},
     1,
     {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"d.txt", "new d"}}},
    {"Rename",
     {AnswerRename, "z.txt"},
     true,
     {},
     {{"a.txt", "old a"}, {"z.txt", "new a"}},
     3,
     With(kOldSeveral, {{"z.txt", "new a"}, {"d.txt", "new d"}})},
    {"No",
     {AnswerNo, ""},
     true,
     {},
     {{"a.txt", "old a"}},
     3,
     With(kOldSeveral, {{"d.txt", "new d"}})},
    {"NoToAll",
     {AnswerNoToAll, ""},
     true,
     {},
     {{"a.txt", "old a"}},
     1,
     With(kOldSeveral, {{"d.txt", "new d"}})},
    {"Cancel", {AnswerCancel, ""}, true, {36}, {{"a.txt", "old a"}}, 1, kOldSeveral},
    {"RenameAll",
     {AnswerRenameAll, ""},
     true,
     {},
     {{"a.txt", "old a"}, {"a(1).txt", "new a"}},
     1,
     With(kOldSeveral, {{"a(1).txt", "new a"},
                        {"b(1).txt", "new b"},
                        {"c(1).txt", "new c"},
                        {"d.txt", "new d"}})},
    // A question closed without an answer keeps the file, never overwrites, never cancels.
    {"Unanswered",
     {AnswerNone, ""},
     true,
     {},
     {{"a.txt", "old a"}},
     3,
     With(kOldSeveral, {{"d.txt", "new d"}})},
};

class OverwriteAnswerTest : public ExtractFixture,
                            public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(OverwriteAnswerTest, Alone) {
  const AnswerCase& c = GetParam();
  WriteArchive({Stored("a.txt", "new a")});
  WriteFile(target / "a.txt", "old a");
  ScriptedQuestion question({c.first.Step()});
  seams.overwrite = &question;
  EXPECT_EQ(Extract(), c.result) << context.errorLog;
  EXPECT_EQ(Codes(), c.codes);
  EXPECT_EQ(ContentsOf(target.path()), c.alone);
  ASSERT_THAT(question.asked, ElementsAre(target / "a.txt"));
  EXPECT_EQ(question.lastPrompt.archivedSize, 5);
  EXPECT_EQ(question.lastPrompt.archivedTime, kExampleTime);
}

TEST_P(OverwriteAnswerTest, FirstOfSeveral) {
  const AnswerCase& c = GetParam();
  WriteArchive({Stored("a.txt", "new a"), Stored("b.txt", "new b"), Stored("c.txt", "new c"),
                Stored("d.txt", "new d")});
  for (const auto& [name, content] : kOldSeveral) WriteFile(target / name, content);
  ScriptedQuestion question({c.first.Step()}, {AnswerNo, ""});
  seams.overwrite = &question;
  EXPECT_EQ(Extract(), c.result) << context.errorLog;
  EXPECT_EQ(Codes(), c.codes);
  EXPECT_EQ(static_cast<int>(question.asked.size()), c.questionsOfSeveral);
  EXPECT_EQ(ContentsOf(target.path()), c.several);
}

INSTANTIATE_TEST_SUITE_P(All, OverwriteAnswerTest, ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ExtractFixture, RememberedAnswerLastsOneRunOnly) {
  WriteArchive({Stored("a.txt", "new a"), Stored("b.txt", "new b")});
  WriteFile(target / "a.txt", "old a");
  WriteFile(target / "b.txt", "old b");
  ScriptedQuestion first({{AnswerYesToAll, ""}});
  seams.overwrite = &first;
  ASSERT_TRUE(Extract());
  EXPECT_EQ(first.asked.size(), 1u);
  EXPECT_EQ(first.lastPrompt.answer, AnswerYesToAll);

  ScriptedQuestion second({{AnswerNoToAll, ""}});
  seams.overwrite = &second;
  ASSERT_TRUE(Extract());
  EXPECT_EQ(second.asked.size(), 1u);  // asked again in the next run
}

TEST_F(ExtractFixture, CancelEndsAtOnceWithoutCompletionReport) {
  WriteArchive({Stored("a.txt", "new a"), Stored("b.txt", "new b")});
  WriteFile(target / "a.txt", "old a");
  ScriptedQuestion question({{AnswerCancel, ""}});
  seams.overwrite = &question;
  ReportLog sink;
  seams.progress = &sink;
  EXPECT_TRUE(Extract());
  EXPECT_EQ(outcome.kind, OutcomeKind::Cancelled);
  EXPECT_THAT(Codes(), ElementsAre(36));
  EXPECT_EQ(sink.reports.back().second, TitleText(context, TitleCode::Decompressing, {"a.txt"}));
  EXPECT_FALSE(std::filesystem::exists(target / "b.txt"));
}

// Rename all against files that already carry numbers, and the "." that sits in a folder.
struct NumberingCase {
  const char* label;
  std::string entry;
  std::vector<std::string> existing;
  std::string expectedWritten;
};

class NumberingTest : public ExtractFixture, public ::testing::WithParamInterface<NumberingCase> {};

TEST_P(NumberingTest, WritesUnderTheNumberedName) {
  const NumberingCase& c = GetParam();
  WriteArchive({Stored(c.entry, "new")});
  for (const std::string& name : c.existing) WriteFile(target / name, "old");
  ScriptedQuestion question({{AnswerRenameAll, ""}});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(ReadFile(target / c.expectedWritten), "new");
  for (const std::string& name : c.existing) EXPECT_EQ(ReadFile(target / name), "old") << name;
}

INSTANTIATE_TEST_SUITE_P(
    All, NumberingTest,
    ::testing::Values(
        NumberingCase{"simple", "a.txt", {"a.txt"}, "a(1).txt"},
        NumberingCase{"accumulates", "a.txt", {"a.txt", "a(1).txt"}, "a(1)(2).txt"},
        NumberingCase{"dotInFolder", "docs.old\\readme", {"docs.old/readme"}, "docs(1).old/readme"},
        NumberingCase{"noDot", "readme", {"readme"}, "(1)readme"},
        NumberingCase{"nested", "x\\y\\a.tar.gz", {"x/y/a.tar.gz"}, "x/y/a.tar(1).gz"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ExtractFixture, RenameAllAppliesToEveryLaterExistingFile) {
  WriteArchive({Stored("a.txt", "new a"), Stored("b.txt", "new b")});
  WriteFile(target / "a.txt", "old");
  WriteFile(target / "a(1).txt", "old");
  WriteFile(target / "b.txt", "old");
  ScriptedQuestion question({{AnswerRenameAll, ""}});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(question.asked.size(), 1u);
  EXPECT_EQ(ReadFile(target / "a(1)(2).txt"), "new a");
  EXPECT_EQ(ReadFile(target / "b(1).txt"), "new b");
}

TEST_F(ExtractFixture, RenameKeepsTheEntrysFolder) {
  WriteArchive({Stored("sub\\a.txt", "new")});
  WriteFile(target / "sub/a.txt", "old");
  ScriptedQuestion question({{AnswerRename, "b.txt"}});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(question.asked, std::vector<std::string>{target / "sub/a.txt"});
  EXPECT_EQ(ReadFile(target / "sub/b.txt"), "new");
  EXPECT_EQ(ReadFile(target / "sub/a.txt"), "old");
}

// A typed name that is not a plain file name would leave the entry's folder: refused.
class TypedRenameRefusedTest : public ExtractFixture,
                               public ::testing::WithParamInterface<std::string> {};

TEST_P(TypedRenameRefusedTest, Reports110AndWritesNothing) {
  TempDir outer;
  const std::string inner = outer / "target";
  WriteArchive({Stored("sub\\a.txt", "new"), Stored("next.txt", "n")});
  WriteFile(inner + "/sub/a.txt", "old");
  ScriptedQuestion question({{AnswerRename, GetParam()}});
  seams.overwrite = &question;
  ExtractRequest request = Request();
  request.targetFolder = inner;
  EXPECT_FALSE(Extract(request));
  EXPECT_THAT(Codes(), ElementsAre(110));
  EXPECT_NE(context.errorLog.find(GetParam()), std::string::npos);
  EXPECT_THAT(TreeOf(outer.path()),
              ElementsAre("target/", "target/next.txt", "target/sub/", "target/sub/a.txt"));
  EXPECT_EQ(ReadFile(inner + "/sub/a.txt"), "old");
}

INSTANTIATE_TEST_SUITE_P(All, TypedRenameRefusedTest,
                         ::testing::Values("../x", "../../x", "a/b", "..\\..\\x", "..", "",
                                           "/abs"));

}  // namespace
}  // namespace tovask::testing
