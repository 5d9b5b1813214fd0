// The overwrite question's texts and decisions: FormatDateTime, file details, the rename
// button's logic and automatic numbering. Plus RestoreFileTime.
#include "extract/overwrite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <set>

#include "archive/format.h"
#include "extract/extract_fixture.h"
#include "extract/extraction.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;

double DateTime(int y, int mo, int d, int h, int mi, int s) {
  return DateTimeFromLocal(platform::LocalDateTime{y, mo, d, h, mi, s});
}

TEST(FormatDateTimeTest, NoLeadingZeros) {
  struct Case {
    double value;
    std::string expected;
  };
  const Case cases[] = {
      {DateTime(2005, 3, 7, 9, 5, 2), "2005-3-7 9:5:2"},
      {DateTime(2004, 3, 5, 7, 8, 9), "2004-3-5 7:8:9"},
      {kExampleTime, "2004-3-5 7:8:9"},
      {DateTime(1999, 12, 31, 23, 59, 59), "1999-12-31 23:59:59"},
      {0.0, "1899-12-30 0:0:0"},
      {std::nan(""), ""},
      {1e300, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.value), c.expected) << c.value;
}

TEST(FileDetailsTest, ArchivedDetailsComeFromThePrompt) {
  OverwritePrompt prompt;
  prompt.existingPath = "/some/folder/报告.doc";
  prompt.archivedSize = 1234567;
  prompt.archivedTime = DateTime(2005, 3, 7, 9, 5, 2);
  const FileDetails details = ArchivedFileDetails(prompt);
  EXPECT_EQ(details.fileName, "报告.doc");
  EXPECT_EQ(details.sizeText, "1,234,567 字节");
  EXPECT_EQ(details.timeText, "修改于 2005-3-7 9:5:2");
  prompt.archivedSize = 0;
  EXPECT_EQ(ArchivedFileDetails(prompt).sizeText, "0 字节");
  prompt.existingPath = "/some/folder/a\x1b[2J\nb.txt";
  EXPECT_EQ(ArchivedFileDetails(prompt).fileName, "a\\x1b[2J\\nb.txt");
  EXPECT_EQ(ExistingFileDetails(prompt.existingPath).fileName, "a\\x1b[2J\\nb.txt");
}

TEST(FileDetailsTest, ExistingDetailsComeFromTheDiskInLocalTime) {
  ScopedTimeZone zone("CST-8");
  TempDir dir;
  const std::string path = dir / "big.bin";
  WriteFile(path, std::string(1234567, 'x'));
  // 2005-03-07 01:05:02 UTC is 09:05:02 at UTC+8.
  struct timespec times[2] = {{0, UTIME_OMIT}, {1110157502, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const FileDetails details = ExistingFileDetails(path);
  EXPECT_EQ(details.fileName, "big.bin");
  EXPECT_EQ(details.sizeText, "1,234,567 字节");
  EXPECT_EQ(details.timeText, "修改于 2005-3-7 9:5:2");

  const FileDetails missing = ExistingFileDetails(dir / "missing");
  EXPECT_EQ(missing.fileName, "missing");
  EXPECT_EQ(missing.sizeText, "");
  EXPECT_EQ(missing.timeText, "");
}

TEST(DecideRenameTest, TheThreeOutcomes) {
  const std::set<std::string> onDisk = {"/t/sub/b.txt"};
  const auto exists = [&](const std::string& path) { return onDisk.count(path) > 0; };
  struct Case {
    std::string typed;
    RenameStep step;
    std::string candidate;
  };
  const Case cases[] = {
      {"", RenameStep::NoAnswer, ""},
      {"b.txt", RenameStep::ShowCandidate, "/t/sub/b.txt"},
      {"c.txt", RenameStep::Answered, "/t/sub/c.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    OverwritePrompt prompt;
    prompt.existingPath = "/t/sub/a.txt";
    prompt.answer = AnswerNone;
    std::string candidate;
    EXPECT_EQ(DecideRename(prompt, c.typed, &candidate, exists), c.step);
    EXPECT_EQ(candidate, c.candidate);
    EXPECT_EQ(prompt.existingPath, "/t/sub/a.txt");  // never changed
    if (c.step == RenameStep::Answered) {
      EXPECT_EQ(prompt.answer, AnswerRename);
      EXPECT_EQ(prompt.newName, c.typed);
    } else {
      EXPECT_EQ(prompt.answer, AnswerNone);
      EXPECT_EQ(prompt.newName, "");
    }
  }
}

TEST(NumberedNameTest, Table) {
  struct Case {
    std::string name;
    std::set<std::string> taken;
    std::string expected;
  };
  const Case cases[] = {
      {"a.txt", {}, "a(1).txt"},
      {"a.txt", {"a(1).txt"}, "a(1)(2).txt"},
      {"a.txt", {"a(1).txt", "a(1)(2).txt"}, "a(1)(2)(3).txt"},
      {"docs.old\\readme", {}, "docs(1).old\\readme"},
      {"readme", {}, "(1)readme"},
      {"readme", {"(1)readme"}, "(2)(1)readme"},
      {"sub\\a.tar.gz", {}, "sub\\a.tar(1).gz"},
      {".hidden", {}, "(1).hidden"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> asked;
    const std::string result = NumberedName(c.name, [&](const std::string& candidate) {
      asked.push_back(candidate);
      return c.taken.count(candidate) > 0;
    });
    EXPECT_EQ(result, c.expected) << c.name;
    EXPECT_EQ(asked.back(), c.expected);
  }
}

TEST(NumberedNameTest, GivesUpWhenEverythingIsTaken) {
  int calls = 0;
  EXPECT_EQ(NumberedName("a.txt",
                         [&](const std::string&) {
                           ++calls;
                           return true;
                         }),
            "");
  EXPECT_EQ(calls, 10000);
}

class RestoreFileTimeTest : public ArchiveFixture {};

TEST_F(RestoreFileTimeTest, SetsTheLocalTimeAndLeavesAccessTime) {
  ScopedTimeZone zone("CST-8");
  const std::string path = work / "f.txt";
  WriteFile(path, "x");
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  ASSERT_TRUE(RestoreFileTime(context, path, DateTime(2005, 3, 7, 9, 5, 2)));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1110157502);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  // A fraction of a second rounds to the nearest second.
  ASSERT_TRUE(RestoreFileTime(context, path, DateTime(2005, 3, 7, 9, 5, 2) + 0.7 / 86400));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1110157503);
}

TEST_F(RestoreFileTimeTest, Failures) {
  const std::string missing = work / "missing.txt";
  EXPECT_FALSE(RestoreFileTime(context, missing, kExampleTime));
  EXPECT_THAT(Codes(), ElementsAre(1));
  EXPECT_NE(context.errorLog.find(missing), std::string::npos);  // as given, not upper-cased

  ClearErrorLog(context);
  const std::string path = work / "f.txt";
  WriteFile(path, "x");
  EXPECT_FALSE(RestoreFileTime(context, path, std::nan("")));
  EXPECT_THAT(Codes(), ElementsAre(31));
}

}  // namespace
}  // namespace tovask::testing
