#include "operations/entry_edits.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "operations/edits_fixture.h"
#include "support/recording_sink.h"
#include "support/scripted_password.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

const std::vector<StoredFile> kFourFiles = {
    {"a.txt", "alpha alpha alpha alpha alpha", ""},
    {"b.txt", "bravo", ""},
    {"sub\\c.txt", std::string(300, 'c'), ""},
    {"d.txt", "delta", ""},
};

// ---- DeleteEntries ---------------------------------------------------------------------------

struct DeleteCase {
  const char* label;
  std::vector<StoredFile> files;
  Names names;
  Names remaining;
};

class DeleteEntriesTest : public EditsTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteEntriesTest, RewritesWithoutTheNamedEntries) {
  const DeleteCase& c = GetParam();
  MakeArchive(c.files);
  ASSERT_TRUE(DeleteEntries(context_, {archive_, c.names}).done()) << context_.errorLog;
  EXPECT_EQ(context_.errorLog, "");
  EXPECT_EQ(Paths(), c.remaining);

  // Every kept entry still decodes to its own content.
  const ArchiveIndex index = Load(LoadMode::WithBlocks);
  for (std::size_t i = 0; i < index.paths.size(); ++i) {
    std::string expected;
    for (const StoredFile& file : c.files) {
      if (file.name == index.paths[i]) expected = file.content;
    }
    EXPECT_EQ(DecodedContent(index, i, ""), expected) << index.paths[i];
  }
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteEntriesTest,
    ::testing::Values(
        DeleteCase{
            "two_names_in_other_case", kFourFiles, {"B.TXT", "SUB\\C.txt"}, {"a.txt", "d.txt"}},
        DeleteCase{"unknown_name_ignored",
                   kFourFiles,
                   {"nope.txt", "d.txt"},
                   {"a.txt", "b.txt", "sub\\c.txt"}},
        DeleteCase{"only_unknown_names",
                   kFourFiles,
                   {"nope.txt"},
                   {"a.txt", "b.txt", "sub\\c.txt", "d.txt"}},
        DeleteCase{"empty_list", kFourFiles, {}, {"a.txt", "b.txt", "sub\\c.txt", "d.txt"}},
        DeleteCase{"every_entry_of_one_name",
                   {{"x.txt", "one", ""}, {"X.TXT", "two", ""}, {"y.txt", "three", ""}},
                   {"x.Txt"},
                   {"y.txt"}},
        DeleteCase{"folder_level_is_part_of_the_name",
                   kFourFiles,
                   {"c.txt"},
                   {"a.txt", "b.txt", "sub\\c.txt", "d.txt"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EditsTest, DeleteWithNothingRemovedRewritesTheSameBytes) {
  MakeArchive(kFourFiles);
  const std::string before = FileText(archive_);
  const FileIdentity identity = IdentityOf(archive_);
  ASSERT_TRUE(DeleteEntries(context_, {archive_, {"nope"}}).done());
  EXPECT_EQ(FileText(archive_), before);
  EXPECT_NE(IdentityOf(archive_).inode, identity.inode) << "the archive is rewritten";
}

TEST_F(EditsTest, DeletingEveryEntryIsRefusedAndWritesNothing) {
  MakeArchive(kFourFiles);
  const std::string before = FileText(archive_);
  const FileIdentity identity = IdentityOf(archive_);
  EXPECT_FALSE(
      DeleteEntries(context_, {archive_, {"a.txt", "B.TXT", "sub\\c.txt", "d.txt", "x"}}).done());
  EXPECT_EQ(context_.errorLog, "108:不能删除压缩包中的全部文件。");
  EXPECT_FALSE(context_.stepOk);
  EXPECT_EQ(FileText(archive_), before);
  EXPECT_EQ(IdentityOf(archive_), identity);
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
}

TEST_F(EditsTest, DeleteClearsAnEarlierErrorLog) {
  MakeArchive(kFourFiles);
  ErrorText(context_, ErrorCode::InternalLogic, {"old"});
  ASSERT_TRUE(DeleteEntries(context_, {archive_, {"a.txt"}}).done());
  EXPECT_EQ(context_.errorLog, "");
}

TEST_F(EditsTest, DeleteReportsInTheLoadAndWriteBands) {
  MakeArchive(kFourFiles);
  RecordingSink sink;
  ASSERT_TRUE(DeleteEntries(context_, {archive_, {"a.txt"}}, {&sink}).done());
  const std::vector<int> percents = sink.Percents();
  ASSERT_FALSE(percents.empty());
  // The load reports once per entry in the file at i * 40 / 4, i = 1..4.
  ASSERT_GE(percents.size(), 4u);
  EXPECT_EQ((std::vector<int>{percents[0], percents[1], percents[2], percents[3]}),
            (std::vector<int>{10, 20, 30, 40}));
  for (std::size_t i = 4; i < percents.size(); ++i) {
    EXPECT_GE(percents[i], 40) << "report " << i;
    EXPECT_GE(percents[i], percents[i - 1]) << "report " << i;
  }
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(EditsTest, DeleteInterruptedAtAnyReportLeavesTheArchiveAsItWas) {
  MakeArchive(kFourFiles);
  const std::string before = FileText(archive_);
  const std::string copy = dir_ / "copy.tvk";
  ASSERT_TRUE(platform::WriteWholeFile(copy, AsBytes(before)));

  RecordingSink counting;
  ASSERT_TRUE(DeleteEntries(context_, {copy, {"b.txt"}}, {&counting}).done());
  const int reports = static_cast<int>(counting.records().size());
  ASSERT_GT(reports, 4);

  for (int n = 1; n <= reports; ++n) {
    SCOPED_TRACE("interrupt at report " + std::to_string(n));
    RecordingSink sink;
    sink.InterruptAtReport(n);
    EXPECT_FALSE(DeleteEntries(context_, {archive_, {"b.txt"}}, {&sink}).done());
    EXPECT_NE(context_.errorLog.find("107:"), std::string::npos) << context_.errorLog;
    EXPECT_EQ(static_cast<int>(sink.records().size()), n) << "the run goes on after the interrupt";
    EXPECT_EQ(FileText(archive_), before);
    EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
  }
}

TEST_F(EditsTest, DeleteWhoseWriteFailsLeavesTheArchiveAsItWas) {
  MakeArchive(kFourFiles);
  const std::string before = FileText(archive_);
  {
    ScopedFaultHook hook([](platform::FileOp op, const std::string&) {
      return op == platform::FileOp::Rename ? EIO : 0;
    });
    EXPECT_FALSE(DeleteEntries(context_, {archive_, {"a.txt"}}).done());
  }
  EXPECT_NE(context_.errorLog.find("19:"), std::string::npos) << context_.errorLog;
  EXPECT_EQ(FileText(archive_), before);
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
}

// ---- RenameEntry -----------------------------------------------------------------------------

const std::vector<StoredFile> kRenameFiles = {
    {"a.txt", "alpha alpha alpha alpha alpha alpha", ""},
    {"x.txt", "x-ray", ""},
    {"sub\\b.txt", std::string(200, 'b'), ""},
};

struct RenameCase {
  const char* label;
  std::string oldName;
  std::string newName;
  bool ok;
  std::string log;   // the whole error log expected
  Names pathsAfter;  // checked when ok
};

class RenameEntryTest : public EditsTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RenameEntryTest, FollowsTheChecksInOrder) {
  const RenameCase& c = GetParam();
  MakeArchive(kRenameFiles);
  const std::string before = FileText(archive_);
  const ArchiveIndex old = Load();

  EXPECT_EQ(RenameEntry(context_, {archive_, c.oldName, c.newName}).done(), c.ok);
  EXPECT_EQ(context_.errorLog, c.log);
  EXPECT_EQ(context_.stepOk, c.ok);
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
  if (!c.ok) {
    EXPECT_EQ(FileText(archive_), before);
    return;
  }
  const std::string after = FileText(archive_);
  EXPECT_EQ(DataAreaOf(after), DataAreaOf(before)) << "the data area is carried over";
  const ArchiveIndex now = Load();
  EXPECT_EQ(now.paths, c.pathsAfter);
  EXPECT_EQ(now.dataOffsets, old.dataOffsets);
  EXPECT_EQ(now.storedSizes, old.storedSizes);
  EXPECT_EQ(now.md5Texts, old.md5Texts);
  EXPECT_EQ(now.flags, old.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenameEntryTest,
    ::testing::Values(
        RenameCase{"down_one_level",
                   "x.txt",
                   "sub\\x.txt",
                   true,
                   "",
                   {"a.txt", "sub\\x.txt", "sub\\b.txt"}},
        RenameCase{
            "old_name_in_other_case", "X.TXT", "y.txt", true, "", {"a.txt", "y.txt", "sub\\b.txt"}},
        RenameCase{"up_to_the_top", "sub\\b.txt", "b.txt", true, "", {"a.txt", "x.txt", "b.txt"}},
        RenameCase{
            "chinese_name", "a.txt", "文件.txt", true, "", {"文件.txt", "x.txt", "sub\\b.txt"}},
        RenameCase{"colon", "x.txt", "a:b", false, "73:文件名 a:b 中包含非法字符。", {}},
        RenameCase{"slash", "x.txt", "sub/x", false, "73:文件名 sub/x 中包含非法字符。", {}},
        RenameCase{"star", "x.txt", "x*", false, "73:文件名 x* 中包含非法字符。", {}},
        RenameCase{"question", "x.txt", "x?", false, "73:文件名 x? 中包含非法字符。", {}},
        RenameCase{"less", "x.txt", "<x", false, "73:文件名 <x 中包含非法字符。", {}},
        RenameCase{"greater", "x.txt", "x>", false, "73:文件名 x> 中包含非法字符。", {}},
        RenameCase{"bar", "x.txt", "x|y", false, "73:文件名 x|y 中包含非法字符。", {}},
        RenameCase{"quote", "x.txt", "x\"y", false, "73:文件名 x\"y 中包含非法字符。", {}},
        RenameCase{"empty", "x.txt", "", false, "73:文件名  中包含非法字符。", {}},
        RenameCase{"parent_level", "x.txt", "..\\x", false, "73:文件名 ..\\x 中包含非法字符。", {}},
        RenameCase{"inner_parent_level",
                   "x.txt",
                   "sub\\..\\..\\x",
                   false,
                   "73:文件名 sub\\..\\..\\x 中包含非法字符。",
                   {}},
        RenameCase{
            "leading_backslash", "x.txt", "\\x", false, "73:文件名 \\x 中包含非法字符。", {}},
        RenameCase{
            "empty_level", "x.txt", "sub\\\\x", false, "73:文件名 sub\\\\x 中包含非法字符。", {}},
        RenameCase{
            "control_character", "x.txt", "x\ty", false, "73:文件名 x\\ty 中包含非法字符。", {}},
        RenameCase{"illegal_before_existing",
                   "x.txt",
                   "a.txt?",
                   false,
                   "73:文件名 a.txt? 中包含非法字符。",
                   {}},
        RenameCase{"case_only",
                   "a.txt",
                   "A.TXT",
                   false,
                   "71:文件名 A.TXT 在压缩包中已经存在，不能重命名。",
                   {}},
        RenameCase{"other_entry_other_case",
                   "a.txt",
                   "SUB\\B.TXT",
                   false,
                   "71:文件名 SUB\\B.TXT 在压缩包中已经存在，不能重命名。",
                   {}},
        RenameCase{"existing_before_missing",
                   "missing.txt",
                   "x.txt",
                   false,
                   "71:文件名 x.txt 在压缩包中已经存在，不能重命名。",
                   {}},
        RenameCase{"missing",
                   "missing.txt",
                   "new.txt",
                   false,
                   "72:文件 missing.txt 没有在压缩包中找到。",
                   {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EditsTest, RenameToTheSameNameTouchesNothing) {
  MakeArchive(kRenameFiles);
  const FileIdentity identity = IdentityOf(archive_);
  ErrorText(context_, ErrorCode::InternalLogic, {"old"});
  {
    ScopedFaultHook hook(FailInWorkFolder());  // any load or write would fail
    EXPECT_TRUE(RenameEntry(context_, {archive_, "x.txt", "x.txt"}).done());
  }
  EXPECT_EQ(context_.errorLog, "");
  EXPECT_EQ(IdentityOf(archive_), identity);
  // Also for a name that is not in the archive: nothing is looked at.
  EXPECT_TRUE(RenameEntry(context_, {archive_, "nope", "nope"}).done());
}

TEST_F(EditsTest, RenameWithAnIllegalNameLoadsNothing) {
  MakeArchive(kRenameFiles);
  ScopedFaultHook hook(FailInWorkFolder());
  EXPECT_FALSE(RenameEntry(context_, {archive_, "x.txt", "a:b"}).done());
  EXPECT_EQ(context_.errorLog, "73:文件名 a:b 中包含非法字符。") << "no reader message";
}

TEST_F(EditsTest, RenameOfSeveralEntriesWithOneNameRenamesTheLast) {
  MakeArchive({{"d.txt", "first", ""}, {"D.TXT", "second", ""}, {"e\\f", "third", ""}});
  ASSERT_TRUE(RenameEntry(context_, {archive_, "d.txt", "g.txt"}).done()) << context_.errorLog;
  const ArchiveIndex index = Load(LoadMode::WithBlocks);
  EXPECT_EQ(index.paths, (Names{"d.txt", "g.txt", "e\\f"}));
  EXPECT_EQ(DecodedContent(index, 1, ""), "second");
}

TEST_F(EditsTest, RenameKeepsEncryptedEntriesReadable) {
  MakeArchive({{"a.txt", "plain", ""}, {"s.txt", "secret content", "pw"}});
  ASSERT_TRUE(RenameEntry(context_, {archive_, "s.txt", "t\\s.txt"}).done()) << context_.errorLog;
  const ArchiveIndex index = Load(LoadMode::WithBlocks);
  EXPECT_EQ(DecodedContent(index, 1, "pw"), "secret content");
}

TEST_F(EditsTest, RenameOfADamagedArchiveReportsTheReaderAndWritesNothing) {
  ASSERT_TRUE(platform::WriteWholeFile(archive_, AsBytes(std::string("RID 1.05\0garbage", 16))));
  const std::string before = FileText(archive_);
  EXPECT_FALSE(RenameEntry(context_, {archive_, "a", "b"}).done());
  EXPECT_FALSE(context_.errorLog.empty());
  EXPECT_EQ(context_.errorLog.substr(0, 3), "53:") << context_.errorLog;
  EXPECT_EQ(FileText(archive_), before);
}

// ---- EncryptEntries --------------------------------------------------------------------------

using ScriptedPrompt = tovask::testing::ScriptedPassword;

const std::vector<StoredFile> kMixedFiles = {
    {"a.txt", std::string(500, 'a'), ""},  // compressed
    {"b.txt", "bravo", ""},                // stored as it is
    {"c.txt", "charlie, already encrypted", "old"},
    {"d.txt", "delta", ""},
};

TEST_F(EditsTest, EncryptOnlyTheSelectedUnencryptedEntries) {
  // Budget 0: every sealed block waits in the scratch file until the write.
  for (const std::uint64_t budget : {context_.blockMemoryBudget, std::uint64_t{0}}) {
    SCOPED_TRACE(budget);
    context_.blockMemoryBudget = budget;
    MakeArchive(kMixedFiles);
    const ArchiveIndex before = Load(LoadMode::WithBlocks);
    ScriptedPrompt prompt("unused");
    ASSERT_TRUE(EncryptEntries(context_, {archive_, "new", {"A.TXT", "c.txt", "d.txt", "zz"}},
                               {nullptr, &prompt})
                    .done())
        << context_.errorLog;
    EXPECT_TRUE(context_.stepOk);
    EXPECT_EQ(prompt.calls, 0) << "a given password is not asked for";
    EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});

    const ArchiveIndex after = Load(LoadMode::WithBlocks);
    ASSERT_EQ(after.paths, before.paths);
    EXPECT_EQ(after.md5Texts, before.md5Texts);
    EXPECT_EQ(after.originalSizes, before.originalSizes);
    EXPECT_EQ(after.times, before.times);
    for (std::size_t i : {0u, 3u}) {
      SCOPED_TRACE(after.paths[i]);
      EXPECT_NE(after.flags[i] & EntryFlags::Encrypted, 0);
      EXPECT_EQ(after.flags[i] & ~EntryFlags::SecondCipher & 0xFF,
                (before.flags[i] | EntryFlags::Encrypted) & ~EntryFlags::SecondCipher & 0xFF);
      EXPECT_EQ(after.storedSizes[i], before.storedSizes[i] + 45);
      EXPECT_EQ(static_cast<std::size_t>(after.storedSizes[i]), after.storedBlocks[i].size());
      EXPECT_EQ(DecodedContent(after, i, "new"), kMixedFiles[i].content);
      EXPECT_EQ(DecodedContent(after, i, "old"), "<bad>");
    }
    // b.txt was not selected; c.txt was encrypted already, under another password.
    for (std::size_t i : {1u, 2u}) {
      SCOPED_TRACE(after.paths[i]);
      EXPECT_EQ(after.flags[i], before.flags[i]);
      EXPECT_EQ(after.storedBlocks[i], before.storedBlocks[i]);
    }
    EXPECT_EQ(DecodedContent(after, 1, ""), "bravo");
    EXPECT_EQ(DecodedContent(after, 2, "old"), kMixedFiles[2].content);
  }
}

TEST_F(EditsTest, EncryptAsksWithTitles34And35WhenNoPasswordIsGiven) {
  MakeArchive(kMixedFiles);
  ScriptedPrompt prompt("typed");
  ASSERT_TRUE(EncryptEntries(context_, {archive_, "", {"b.txt"}}, {nullptr, &prompt}).done())
      << context_.errorLog;
  EXPECT_EQ(prompt.calls, 1);
  EXPECT_EQ(prompt.lastPrompt, "请输入压缩文件的密码：");
  EXPECT_EQ(prompt.lastCaption, "输入密码");
  const ArchiveIndex after = Load(LoadMode::WithBlocks);
  EXPECT_EQ(DecodedContent(after, 1, "typed"), "bravo");
}

TEST_F(EditsTest, EncryptUsesAConfirmedEmptyPasswordUnchanged) {
  MakeArchive(kMixedFiles);
  ScriptedPrompt prompt(std::string{});
  ASSERT_TRUE(EncryptEntries(context_, {archive_, "", {"d.txt"}}, {nullptr, &prompt}).done())
      << context_.errorLog;
  const ArchiveIndex after = Load(LoadMode::WithBlocks);
  EXPECT_NE(after.flags[3] & EntryFlags::Encrypted, 0);
  EXPECT_EQ(DecodedContent(after, 3, ""), "delta");
}

TEST_F(EditsTest, EncryptWithACancelledOrMissingPromptDoesNothing) {
  MakeArchive(kMixedFiles);
  const FileIdentity identity = IdentityOf(archive_);
  ScriptedPrompt cancelled(std::nullopt);
  for (PasswordPrompt* prompt :
       {static_cast<PasswordPrompt*>(&cancelled), static_cast<PasswordPrompt*>(nullptr)}) {
    ErrorText(context_, ErrorCode::InternalLogic, {"old"});
    context_.stepOk = true;
    ScopedFaultHook hook(FailInWorkFolder());  // nothing may be loaded or written
    const Outcome outcome = EncryptEntries(context_, {archive_, "", {"a.txt"}}, {nullptr, prompt});
    EXPECT_EQ(outcome.kind, OutcomeKind::Cancelled);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_FALSE(context_.stepOk);
    EXPECT_EQ(context_.errorLog, "");
  }
  EXPECT_EQ(cancelled.calls, 1);
  EXPECT_EQ(IdentityOf(archive_), identity);
}

TEST_F(EditsTest, EncryptWithNoSelectionStillAsksAndRewritesUnchanged) {
  MakeArchive(kMixedFiles);
  const std::string before = FileText(archive_);
  const FileIdentity identity = IdentityOf(archive_);
  ScriptedPrompt prompt("pw");
  ASSERT_TRUE(EncryptEntries(context_, {archive_, "", {}}, {nullptr, &prompt}).done())
      << context_.errorLog;
  EXPECT_EQ(prompt.calls, 1);
  EXPECT_EQ(FileText(archive_), before);
  EXPECT_NE(IdentityOf(archive_).inode, identity.inode) << "the archive is rewritten";
}

TEST_F(EditsTest, EncryptDrawsTheCipherMethodPerEntry) {
  std::vector<StoredFile> files;
  for (int i = 0; i < 24; ++i) {
    const std::string number = std::to_string(i);
    files.push_back({"f" + number, "content " + number, ""});
  }
  MakeArchive(files);
  Names all;
  for (const auto& file : files) all.push_back(file.name);
  ASSERT_TRUE(EncryptEntries(context_, {archive_, "pw", all}).done()) << context_.errorLog;
  const ArchiveIndex after = Load(LoadMode::WithBlocks);
  int second = 0;
  for (std::size_t i = 0; i < after.paths.size(); ++i) {
    if ((after.flags[i] & EntryFlags::SecondCipher) != 0) ++second;
    // The flag names the cipher actually used: decoding by it gives the content back.
    EXPECT_EQ(DecodedContent(after, i, "pw"), files[i].content) << after.paths[i];
  }
  // Both methods occur (all 24 alike has a chance of 2^-23).
  EXPECT_GT(second, 0);
  EXPECT_LT(second, 24);
}

TEST_F(EditsTest, EncryptInterruptedAtAnyReportLeavesTheArchiveAsItWas) {
  MakeArchive(kMixedFiles);
  const std::string before = FileText(archive_);
  const std::string copy = dir_ / "copy.tvk";
  ASSERT_TRUE(platform::WriteWholeFile(copy, AsBytes(before)));
  RecordingSink counting;
  ASSERT_TRUE(
      EncryptEntries(context_, {copy, "pw", {"a.txt", "b.txt"}}, {&counting, nullptr}).done());
  const std::vector<int> percents = counting.Percents();
  ASSERT_GT(percents.size(), 6u);
  // Load 0..20 (four entries in the file), then one report per entry to encrypt.
  EXPECT_EQ((std::vector<int>(percents.begin(), percents.begin() + 6)),
            (std::vector<int>{5, 10, 15, 20, 20, 40}));
  EXPECT_EQ(counting.records()[4].text, "a.txt");
  EXPECT_EQ(counting.records()[5].text, "b.txt");
  EXPECT_EQ(percents.back(), 100);

  for (int n = 1; n <= static_cast<int>(percents.size()); ++n) {
    SCOPED_TRACE("interrupt at report " + std::to_string(n));
    RecordingSink sink;
    sink.InterruptAtReport(n);
    EXPECT_FALSE(
        EncryptEntries(context_, {archive_, "pw", {"a.txt", "b.txt"}}, {&sink, nullptr}).done());
    EXPECT_NE(context_.errorLog.find("107:"), std::string::npos) << context_.errorLog;
    EXPECT_EQ(FileText(archive_), before);
    EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
  }
}

// Also when the sealed blocks wait in the scratch file (budget 0) and that file cannot be
// made or written.
TEST_F(EditsTest, EncryptWhoseWriteFailsLeavesTheArchiveAsItWas) {
  MakeArchive(kMixedFiles);
  const std::string before = FileText(archive_);
  for (const std::uint64_t budget : {context_.blockMemoryBudget, std::uint64_t{0}}) {
    for (const platform::FileOp failing : {platform::FileOp::Write, platform::FileOp::CreateTemp}) {
      SCOPED_TRACE(std::to_string(budget) + " " + std::to_string(static_cast<int>(failing)));
      context_.blockMemoryBudget = budget;
      {
        ScopedFaultHook hook([failing](platform::FileOp op, const std::string&) {
          return op == failing ? ENOSPC : 0;
        });
        EXPECT_FALSE(EncryptEntries(context_, {archive_, "pw", {"a.txt"}}).done());
      }
      EXPECT_NE(context_.errorLog.find("20:"), std::string::npos) << context_.errorLog;
      EXPECT_FALSE(context_.stepOk);
      EXPECT_EQ(FileText(archive_), before);
      EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
    }
  }
}

}  // namespace
}  // namespace tovask::testing
