// ExtractEntries: decoding, verification, writing, progress and the failure table.
#include "extract/extraction.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "extract/extract_fixture.h"
#include "support/fault_plan.h"

namespace tovask::testing {
namespace {

using platform::FileOp;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ExtractionTest : public ExtractFixture {};

TEST_F(ExtractionTest, NestedEntryCreatesItsFoldersAndRestoresTime) {
  ScopedTimeZone zone("CST-8");
  WriteArchive({Stored("a\\b\\c.txt", "abc")});
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("a/", "a/b/", "a/b/c.txt"));
  EXPECT_EQ(ReadFile(target / "a/b/c.txt"), "abc");
  // 2004-03-05 07:08:09 at UTC+8.
  EXPECT_EQ(ModifiedUnix(target / "a/b/c.txt"), 1078441689);
  EXPECT_TRUE(context.errorLog.empty());
}

TEST_F(ExtractionTest, BlankTargetMeansTheArchiveFolder) {
  for (const std::string blank : {"", "   "}) {
    SCOPED_TRACE("target '" + blank + "'");
    WriteArchive({Stored("sub\\x.txt", "x")});
    ExtractRequest request = Request();
    request.targetFolder = blank;
    ASSERT_TRUE(Extract(request)) << context.errorLog;
    EXPECT_EQ(ReadFile(work / "sub/x.txt"), "x");
    std::filesystem::remove_all(work / "sub");
  }
}

TEST_F(ExtractionTest, MissingTargetFolderIsCreated) {
  WriteArchive({Stored("x.txt", "x")});
  ExtractRequest request = Request();
  request.targetFolder = target / "new/deeper";
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_EQ(ReadFile(target / "new/deeper/x.txt"), "x");
}

TEST_F(ExtractionTest, TargetFolderThatCannotBeCreatedWritesNothing) {
  WriteArchive({Stored("x.txt", "x")});
  ExtractRequest request = Request();
  request.targetFolder = target / "new";
  FaultPlan plan(FileOp::CreateFolder, 1);
  EXPECT_FALSE(Extract(request));
  EXPECT_THAT(Codes(), ElementsAre(35));
  EXPECT_NE(context.errorLog.find(platform::AsciiUpper(target / "new")), std::string::npos);
  EXPECT_THAT(TreeOf(target.path()), IsEmpty());
}

TEST_F(ExtractionTest, RelativePathsAreRefused) {
  WriteArchive({Stored("x.txt", "x")});
  ExtractRequest relativeArchive = Request();
  relativeArchive.archivePath = "test.tvk";
  EXPECT_FALSE(Extract(relativeArchive));
  EXPECT_THAT(Codes(), ElementsAre(100));

  ExtractRequest relativeTarget = Request();
  relativeTarget.targetFolder = "out";
  EXPECT_FALSE(Extract(relativeTarget));
  EXPECT_THAT(Codes(), ElementsAre(100));
  EXPECT_THAT(TreeOf(target.path()), IsEmpty());
}

TEST_F(ExtractionTest, LoadFailureWritesNothing) {
  WriteFile(ArchivePath(), "not an archive at all");
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(53));
  EXPECT_THAT(TreeOf(target.path()), IsEmpty());
}

TEST_F(ExtractionTest, ReadOnlyArchiveExtracts) {
  WriteArchive({Stored("x.txt", "content")});
  ASSERT_EQ(::chmod(ArchivePath().c_str(), 0444), 0);
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(ReadFile(target / "x.txt"), "content");
}

TEST_F(ExtractionTest, SelectionComparesInUpperCaseAndSkipsTheRest) {
  WriteArchive({Stored("readme.txt", "r"), Stored("other.txt", "o"), Stored("Sub\\Deep.txt", "d")});
  ExtractRequest request = Request();
  request.selection = std::vector<std::string>{"README.TXT", "sub\\deep.TXT", "nomatch"};
  ReportLog sink;
  seams.progress = &sink;
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("Sub/", "Sub/Deep.txt", "readme.txt"));
  // Skipped entries still advance the bar: 50 + i * 50 / 3 for each of the three.
  std::vector<int> entryPercents;
  for (const auto& [percent, text] : sink.reports) {
    if (text.rfind(TitleText(context, TitleCode::Decompressing, {""}), 0) == 0)
      entryPercents.push_back(percent);
  }
  EXPECT_THAT(entryPercents, ElementsAre(66, 83, 100));
}

TEST_F(ExtractionTest, ExclusionsApplyOnlyWithoutSelection) {
  WriteArchive({Stored("keep.txt", "k"), Stored("drop.txt", "d")});
  ExtractRequest request = Request();
  request.exclusions = std::vector<std::string>{"DROP.TXT"};
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("keep.txt"));

  std::filesystem::remove(target / "keep.txt");
  request.selection = std::vector<std::string>{"drop.txt"};
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("drop.txt"));
}

TEST_F(ExtractionTest, NameWithQuestionMarkIsSkippedSilently) {
  WriteArchive({Stored("a?b.txt", "q"), Stored("fine.txt", "f")});
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("fine.txt"));
  EXPECT_TRUE(context.errorLog.empty());
}

TEST_F(ExtractionTest, ProgressOfFourEntries) {
  WriteArchive({Stored("1", "1"), Stored("2", "2"), Stored("3", "3"), Stored("4", "4")});
  ReportLog sink;
  seams.progress = &sink;
  ASSERT_TRUE(Extract()) << context.errorLog;
  std::vector<std::pair<int, std::string>> tail(sink.reports.end() - 5, sink.reports.end());
  EXPECT_THAT(tail, ElementsAre(std::pair(62, TitleText(context, TitleCode::Decompressing, {"1"})),
                                std::pair(75, TitleText(context, TitleCode::Decompressing, {"2"})),
                                std::pair(87, TitleText(context, TitleCode::Decompressing, {"3"})),
                                std::pair(100, TitleText(context, TitleCode::Decompressing, {"4"})),
                                std::pair(100, TitleText(context, TitleCode::DecompressionDone))));
  // The load reported inside 0..50 first.
  for (std::size_t i = 0; i + 5 < sink.reports.size(); ++i) EXPECT_LE(sink.reports[i].first, 50);
}

TEST_F(ExtractionTest, FailedRunDoesNotReportCompletion) {
  StoredEntry damaged = Stored("x.txt", "abc");
  damaged.block[0] ^= 0xFF;
  WriteArchive({damaged});
  ReportLog sink;
  seams.progress = &sink;
  EXPECT_FALSE(Extract());
  ASSERT_FALSE(sink.reports.empty());
  EXPECT_NE(sink.reports.back().second, TitleText(context, TitleCode::DecompressionDone));
}

TEST_F(ExtractionTest, InterruptStopsAndKeepsWrittenFiles) {
  WriteArchive({Stored("1", "1"), Stored("2", "2"), Stored("3", "3")});
  // One load report per entry, then the entry reports: stop at the second entry's report.
  ReportLog sink(3 + 2);
  seams.progress = &sink;
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(107));
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("1"));
}

// Failures while decoding end the run; entries before stay on disk, nothing of the failing
// entry or after it is written.
struct DecodeFailureCase {
  const char* label;
  int expectedCode;
};

class DecodeFailureTest : public ExtractFixture,
                          public ::testing::WithParamInterface<DecodeFailureCase> {};

TEST_P(DecodeFailureTest, EndsTheRunAfterTheEntriesBefore) {
  const DecodeFailureCase& c = GetParam();
  StoredEntry bad = Stored("bad.txt", "some content here");
  ArchiveBuilder builder(context.dataOps);
  builder.Entry(Stored("first.txt", "1"));
  if (c.expectedCode == 39) {
    bad.block[1] ^= 0x01;
    builder.Entry(bad);
  } else if (c.expectedCode == 40) {
    bad.entry.originalSize += 1;  // digest still matches, length does not
    builder.Entry(bad);
  } else {  // 37: the block lies past the end of the file
    bad.entry.storedSize = 100;
    bad.entry.dataOffset = 1000;
    builder.Record(bad.entry);
  }
  builder.Entry(Stored("after.txt", "2"));
  builder.WriteTo(ArchivePath());
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(c.expectedCode));
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("first.txt"));
  if (c.expectedCode == 37) {
    EXPECT_NE(context.errorLog.find(platform::AsciiUpper(ArchivePath())), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(All, DecodeFailureTest,
                         ::testing::Values(DecodeFailureCase{"damaged block", 39},
                                           DecodeFailureCase{"wrong length", 40},
                                           DecodeFailureCase{"past the end", 37}),
                         [](const auto& info) { return std::to_string(info.param.expectedCode); });

TEST_F(ExtractionTest, ArchiveTruncatedAfterLoadEndsWith37) {
  WriteArchive({Stored("1", "first"), Stored("2", "second")});
  class TruncatingSink : public ReportLog {
   public:
    explicit TruncatingSink(std::string path) : path_(std::move(path)) {}
    bool Report(int percent, const std::string& text) override {
      // Cut the data area while the first entry is being reported.
      if (percent > 50 && !done_) {
        done_ = true;
        std::filesystem::resize_file(path_, std::filesystem::file_size(path_) - 3);
      }
      return ReportLog::Report(percent, text);
    }

   private:
    std::string path_;
    bool done_ = false;
  } sink(ArchivePath());
  seams.progress = &sink;
  // A worker may have read the second entry before the cut, and then rightly extracts it: the
  // cut is seen for sure only when each entry is read after its own report.
  context.workerThreads = 1;
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(37));
}

TEST_F(ExtractionTest, WrongPasswordStopsAtFirstEncryptedEntry) {
  WriteArchive({Stored("plain.txt", "p"), Stored("secret.txt", "s3cret", "right"),
                Stored("later.txt", "l")});
  ScriptedPassword password(std::string("wrong"));
  seams.password = &password;
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(38));
  EXPECT_EQ(password.calls, 1);
  EXPECT_EQ(password.lastPrompt, TitleText(context, TitleCode::PasswordPrompt));
  EXPECT_EQ(password.lastCaption, TitleText(context, TitleCode::PasswordCaption));
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("plain.txt"));
}

TEST_F(ExtractionTest, EmptyTypedPasswordGives38) {
  WriteArchive({Stored("secret.txt", "s3cret", "right")});
  ScriptedPassword password(std::string(""));
  seams.password = &password;
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(38));
}

TEST_F(ExtractionTest, PasswordIsAskedOnceAndUsedForEveryEncryptedEntry) {
  WriteArchive(
      {Stored("a.txt", "alpha", "pw"), Stored("b.txt", "beta", "pw"), Stored("c.txt", "gamma")});
  ScriptedPassword password(std::string("pw"));
  seams.password = &password;
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(password.calls, 1);
  EXPECT_EQ(ReadFile(target / "a.txt"), "alpha");
  EXPECT_EQ(ReadFile(target / "b.txt"), "beta");
  EXPECT_EQ(ReadFile(target / "c.txt"), "gamma");
}

TEST_F(ExtractionTest, GivenPasswordIsNotAskedFor) {
  WriteArchive({Stored("a.txt", "alpha", "pw")});
  ScriptedPassword password(std::string("other"));
  seams.password = &password;
  ExtractRequest request = Request();
  request.password = "pw";
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_EQ(password.calls, 0);
  EXPECT_EQ(ReadFile(target / "a.txt"), "alpha");
}

TEST_F(ExtractionTest, CancelledOrMissingPasswordPromptRecordsOnly36) {
  for (bool withPrompt : {true, false}) {
    SCOPED_TRACE(withPrompt ? "cancelled" : "no prompt");
    WriteArchive(
        {Stored("plain.txt", "p"), Stored("secret.txt", "s", "pw"), Stored("later.txt", "l")});
    ScriptedPassword password(std::nullopt);
    seams.password = withPrompt ? &password : nullptr;
    EXPECT_FALSE(Extract());
    EXPECT_THAT(Codes(), ElementsAre(36));
    EXPECT_THAT(TreeOf(target.path()), ElementsAre("plain.txt"));
    std::filesystem::remove(target / "plain.txt");
  }
}

TEST_F(ExtractionTest, ReadOnlyExistingFileIsRefusedAndTheRunGoesOn) {
  WriteArchive({Stored("locked.txt", "new"), Stored("next.txt", "n")});
  WriteFile(target / "locked.txt", "old");
  ASSERT_EQ(::chmod((target / "locked.txt").c_str(), 0444), 0);
  ScriptedQuestion question({{AnswerYesToAll, ""}});
  seams.overwrite = &question;
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(41));
  EXPECT_NE(context.errorLog.find(platform::AsciiUpper(target / "locked.txt")), std::string::npos);
  EXPECT_EQ(ReadFile(target / "locked.txt"), "old");
  EXPECT_EQ(ReadFile(target / "next.txt"), "n");
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("locked.txt", "next.txt"));
}

TEST_F(ExtractionTest, WriteFaultLeavesNoPartialFile) {
  const std::string big(100000, 'z');
  WriteArchive({Stored("full.txt", big), Stored("next.txt", "n")});
  FaultPlan::Options options;
  options.errorNumber = ENOSPC;
  FaultPlan plan(FileOp::Write, 1, options);
  EXPECT_FALSE(Extract());
  EXPECT_TRUE(plan.fired());
  EXPECT_THAT(Codes(), ElementsAre(41));
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("next.txt"));
}

TEST_F(ExtractionTest, FailedReplacementKeepsTheOldFile) {
  WriteArchive({Stored("x.txt", "new content")});
  WriteFile(target / "x.txt", "old content");
  ScriptedQuestion question({{AnswerYes, ""}});
  seams.overwrite = &question;
  for (FileOp op : {FileOp::Write, FileOp::Rename, FileOp::CreateTemp}) {
    FaultPlan plan(op, 1);
    question = ScriptedQuestion({{AnswerYes, ""}});
    EXPECT_FALSE(Extract());
    EXPECT_TRUE(plan.fired());
    EXPECT_THAT(Codes(), ElementsAre(41));
    EXPECT_EQ(ReadFile(target / "x.txt"), "old content");
    EXPECT_THAT(TreeOf(target.path()), ElementsAre("x.txt"));
  }
}

TEST_F(ExtractionTest, SubFolderFailureReports35ThenTheWriteFails) {
  WriteArchive({Stored("d\\x.txt", "x"), Stored("y.txt", "y")});
  FaultPlan plan(FileOp::CreateFolder, 1);
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(35, 41));
  EXPECT_NE(context.errorLog.find(platform::AsciiUpper(target / "d")), std::string::npos);
  EXPECT_NE(context.errorLog.find(platform::AsciiUpper(target / "d/x.txt")), std::string::npos);
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("y.txt"));
}

TEST_F(ExtractionTest, TimeThatCannotBeSetGives31AndKeepsTheFile) {
  WriteArchive({Stored("x.txt", "x"), Stored("y.txt", "y")});
  FaultPlan plan(FileOp::SetTime, 1);
  EXPECT_FALSE(Extract());
  EXPECT_THAT(Codes(), ElementsAre(31));
  EXPECT_EQ(ReadFile(target / "x.txt"), "x");
  EXPECT_EQ(ReadFile(target / "y.txt"), "y");
}

TEST_F(ExtractionTest, ReadOnlyFlagRemovesWriteBitsAndKeepsTheTime) {
  ScopedTimeZone zone("UTC0");
  WriteArchive({Stored("ro.txt", "r", "", EntryFlags::ReadOnly | EntryFlags::Archive),
                Stored("rw.txt", "w", "", EntryFlags::Hidden | EntryFlags::System)});
  ASSERT_TRUE(Extract()) << context.errorLog;
  struct stat st {};
  ASSERT_EQ(::stat((target / "ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1078470489);  // 2004-03-05 07:08:09 UTC
  EXPECT_TRUE(OwnerWritable(target / "rw.txt"));
}

TEST_F(ExtractionTest, OverwrittenFileKeepsItsPermissionBits) {
  WriteArchive({Stored("x.sh", "new")});
  WriteFile(target / "x.sh", "old");
  ASSERT_EQ(::chmod((target / "x.sh").c_str(), 0754), 0);
  ScriptedQuestion question({{AnswerYes, ""}});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract()) << context.errorLog;
  struct stat st {};
  ASSERT_EQ(::stat((target / "x.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0754u);
  EXPECT_EQ(ReadFile(target / "x.sh"), "new");
}

TEST_F(ExtractionTest, NoAskOverwritesWithoutAQuestion) {
  WriteArchive({Stored("x.txt", "new")});
  WriteFile(target / "x.txt", "old");
  ScriptedQuestion question({});
  seams.overwrite = &question;
  ExtractRequest request = Request();
  request.askBeforeOverwrite = false;
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_TRUE(question.asked.empty());
  EXPECT_EQ(ReadFile(target / "x.txt"), "new");
}

TEST_F(ExtractionTest, NoQuestionSeamKeepsExistingFiles) {
  WriteArchive({Stored("x.txt", "new"), Stored("y.txt", "y")});
  WriteFile(target / "x.txt", "old");
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(ReadFile(target / "x.txt"), "old");
  EXPECT_EQ(ReadFile(target / "y.txt"), "y");
}

TEST_F(ExtractionTest, RequestIsCopied) {
  // The caller's record may be emptied while the run reports progress; the run goes on with
  // its own copy.
  WriteArchive({Stored("1", "1"), Stored("2", "2")});
  ExtractRequest request = Request();
  class ClearingSink : public ReportLog {
   public:
    explicit ClearingSink(ExtractRequest* r) : request_(r) {}
    bool Report(int percent, const std::string& text) override {
      *request_ = ExtractRequest();
      return ReportLog::Report(percent, text);
    }

   private:
    ExtractRequest* request_;
  } sink(&request);
  seams.progress = &sink;
  ASSERT_TRUE(ExtractEntries(context, request, seams).done()) << context.errorLog;
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("1", "2"));
}

TEST_F(ExtractionTest, ErrorLogIsClearedAtTheStart) {
  WriteArchive({Stored("x.txt", "x")});
  ErrorText(context, ErrorCode::InternalLogic);
  ASSERT_TRUE(Extract());
  EXPECT_TRUE(context.errorLog.empty());
}

}  // namespace
}  // namespace tovask::testing
