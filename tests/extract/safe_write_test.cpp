// SafeFolder: the link-safe creation of files below a target folder.
#include "platform/safe_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "extract/extract_fixture.h"
#include "support/fault_plan.h"

namespace tovask::testing {
namespace {

using platform::FolderStatus;
using platform::PathState;
using platform::SafeFolder;
using platform::WriteOptions;
using platform::WriteStatus;
using ::testing::ElementsAre;

class SafeFolderTest : public ::testing::Test {
 protected:
  SafeFolderTest() {
    std::filesystem::create_directory(root);
    std::filesystem::create_directory(outside);
    WriteFile(root + "/file", "f");
    WriteFile(root + "/dir/inner", "i");
    std::filesystem::create_directory_symlink(outside, root + "/link");
    std::filesystem::create_symlink(outside + "/nothing", root + "/dangling");
    folder = SafeFolder::Open(root);
  }
  ByteView Bytes(const std::string& text) { return AsBytes(text); }

  TempDir dir;
  const std::string root = dir / "root";
  const std::string outside = dir / "outside";
  std::optional<SafeFolder> folder;
};

TEST_F(SafeFolderTest, ProbeTellsWhatIsThereWithoutFollowingLinks) {
  ASSERT_TRUE(folder);
  const std::pair<std::string, PathState> cases[] = {
      {"file", PathState::Exists},         {"dir", PathState::Exists},
      {"dir/inner", PathState::Exists},    {"dir/missing", PathState::Missing},
      {"missing/x", PathState::Missing},   {"file/x", PathState::Missing},
      {"link", PathState::Exists},         {"dangling", PathState::Exists},
      {"link/x", PathState::LinkOnTheWay}, {"link/a/b", PathState::LinkOnTheWay},
      {"dir/../file", PathState::Missing}, {"", PathState::Missing},
  };
  for (const auto& [relative, state] : cases) {
    EXPECT_EQ(folder->Probe(relative), state) << relative;
  }
}

TEST_F(SafeFolderTest, EnsureFoldersCreatesLevelsAndRefusesLinks) {
  ASSERT_TRUE(folder);
  std::string failed;
  EXPECT_EQ(folder->EnsureFolders("a/b/c", &failed), FolderStatus::Ok);
  EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b/c"));
  EXPECT_EQ(folder->EnsureFolders("link/x", &failed), FolderStatus::LinkOnTheWay);
  EXPECT_EQ(failed, root + "/link");
  EXPECT_EQ(folder->EnsureFolders("file/x", &failed), FolderStatus::Failed);
  EXPECT_EQ(failed, root + "/file");
  EXPECT_EQ(folder->EnsureFolders("a/../../x", &failed), FolderStatus::Failed);
  {
    FaultPlan plan(platform::FileOp::CreateFolder, 2);
    EXPECT_EQ(folder->EnsureFolders("n1/n2/n3", &failed), FolderStatus::Failed);
    EXPECT_EQ(failed, root + "/n1/n2");
  }
  EXPECT_TRUE(TreeOf(outside).empty());
}

TEST_F(SafeFolderTest, WriteReplacesALinkItselfAndNeverWritesThroughIt) {
  ASSERT_TRUE(folder);
  WriteFile(outside + "/target.txt", "precious");
  std::filesystem::create_symlink(outside + "/target.txt", root + "/to-outside");
  const auto result = folder->WriteFile("to-outside", Bytes("new"), {});
  EXPECT_EQ(result.status, WriteStatus::Written);
  EXPECT_EQ(ReadFile(outside + "/target.txt"), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(root + "/to-outside"));
  EXPECT_EQ(ReadFile(root + "/to-outside"), "new");
  EXPECT_EQ(folder->WriteFile("link/x", Bytes("x"), {}).status, WriteStatus::LinkOnTheWay);
  EXPECT_EQ(folder->WriteFile("missing/x", Bytes("x"), {}).status, WriteStatus::Failed);
  EXPECT_EQ(folder->WriteFile("dir", Bytes("x"), {}).status, WriteStatus::Failed);
  EXPECT_THAT(TreeOf(outside), ElementsAre("target.txt"));
}

TEST_F(SafeFolderTest, WriteSetsModeAndTimeBeforeTheFileAppears) {
  ASSERT_TRUE(folder);
  WriteOptions options;
  options.modifiedUnix = 1000000000;
  options.readOnly = true;
  const auto result = folder->WriteFile("dir/ro", Bytes("content"), options);
  EXPECT_EQ(result.status, WriteStatus::Written);
  EXPECT_TRUE(result.timeSet);
  EXPECT_TRUE(result.modeSet);
  EXPECT_EQ(ModifiedUnix(root + "/dir/ro"), 1000000000);
  EXPECT_FALSE(OwnerWritable(root + "/dir/ro"));
  // Now read-only: refused by its bits, whoever runs this.
  EXPECT_EQ(folder->WriteFile("dir/ro", Bytes("other"), {}).status, WriteStatus::ReadOnlyExisting);
  EXPECT_EQ(ReadFile(root + "/dir/ro"), "content");
  EXPECT_THAT(TreeOf(root + "/dir"), ElementsAre("inner", "ro"));
}

TEST_F(SafeFolderTest, LongNameStillGetsATemporaryName) {
  ASSERT_TRUE(folder);
  const std::string name(250, 'n');
  EXPECT_EQ(folder->WriteFile(name, Bytes("x"), {}).status, WriteStatus::Written);
  EXPECT_EQ(ReadFile(root + "/" + name), "x");
}

TEST_F(SafeFolderTest, EveryFailingStepRemovesTheTemporaryFile) {
  ASSERT_TRUE(folder);
  WriteOptions readOnly;
  readOnly.readOnly = true;
  // A close error may hide lost data; a read-only file that would stand writable is refused.
  for (auto op : {platform::FileOp::CreateTemp, platform::FileOp::Write, platform::FileOp::Close,
                  platform::FileOp::Rename, platform::FileOp::SetMode}) {
    FaultPlan plan(op, 1);
    EXPECT_EQ(folder->WriteFile("dir/inner", Bytes("replacement"), readOnly).status,
              WriteStatus::Failed);
    EXPECT_TRUE(plan.fired());
    EXPECT_EQ(ReadFile(root + "/dir/inner"), "i");
    EXPECT_THAT(TreeOf(root + "/dir"), ElementsAre("inner"));
  }
  // Time and mode failures are told, the content is in place all the same.
  FaultPlan plan(platform::FileOp::SetTime, 1);
  WriteOptions options;
  options.modifiedUnix = 1;
  const auto result = folder->WriteFile("dir/inner", Bytes("replacement"), options);
  EXPECT_EQ(result.status, WriteStatus::Written);
  EXPECT_FALSE(result.timeSet);
  EXPECT_EQ(ReadFile(root + "/dir/inner"), "replacement");
}

TEST_F(SafeFolderTest, ProbeThatCannotLookSaysSo) {
  ASSERT_TRUE(folder);
  FaultPlan plan(platform::FileOp::OpenRead, 1);
  EXPECT_EQ(folder->Probe("dir/inner"), PathState::Unknown);
  EXPECT_EQ(folder->Probe("dir/inner"), PathState::Exists);
}

TEST_F(SafeFolderTest, KeptFolderThatChangedIsReachedAfresh) {
  ASSERT_TRUE(folder);
  ASSERT_EQ(folder->WriteFile("dir/a", Bytes("a"), {}).status, WriteStatus::Written);
  // "dir" is kept open now; it moves away and a link to the outside takes its place.
  std::filesystem::rename(root + "/dir", root + "/moved");
  std::filesystem::create_directory_symlink(outside, root + "/dir");
  folder->Recheck();
  EXPECT_EQ(folder->Probe("dir/a"), PathState::LinkOnTheWay);
  EXPECT_EQ(folder->WriteFile("dir/b", Bytes("b"), {}).status, WriteStatus::LinkOnTheWay);
  // Replaced by another real folder: that one is written to, not the one that moved.
  std::filesystem::remove(root + "/dir");
  std::filesystem::create_directory(root + "/dir");
  folder->Recheck();
  EXPECT_EQ(folder->WriteFile("dir/c", Bytes("c"), {}).status, WriteStatus::Written);
  EXPECT_THAT(TreeOf(root + "/dir"), ElementsAre("c"));
  EXPECT_THAT(TreeOf(root + "/moved"), ElementsAre("a", "inner"));
  EXPECT_TRUE(TreeOf(outside).empty());
}

TEST_F(SafeFolderTest, FileWrittenInPiecesAppearsOnlyWhenCommitted) {
  ASSERT_TRUE(folder);
  platform::PendingFile file;
  ASSERT_EQ(folder->BeginFile("dir/pieces", &file), WriteStatus::Written);
  for (const char* piece : {"one ", "two ", "three"}) ASSERT_TRUE(file.Write(Bytes(piece)));
  EXPECT_THAT(TreeOf(root + "/dir").size(), 2u);  // inner and the hidden temporary file
  EXPECT_FALSE(std::filesystem::exists(root + "/dir/pieces"));
  EXPECT_EQ(file.Commit({}).status, WriteStatus::Written);
  EXPECT_EQ(ReadFile(root + "/dir/pieces"), "one two three");

  platform::PendingFile dropped;
  ASSERT_EQ(folder->BeginFile("dir/dropped", &dropped), WriteStatus::Written);
  ASSERT_TRUE(dropped.Write(Bytes("partial")));
  dropped.Discard();
  EXPECT_THAT(TreeOf(root + "/dir"), ElementsAre("inner", "pieces"));
  EXPECT_EQ(folder->BeginFile("link/x", &dropped), WriteStatus::LinkOnTheWay);
}

TEST(SafeFolderOpenTest, MissingFolderDoesNotOpen) {
  TempDir dir;
  EXPECT_FALSE(SafeFolder::Open(dir / "missing"));
  WriteFile(dir / "file", "");
  EXPECT_FALSE(SafeFolder::Open(dir / "file"));
}

}  // namespace
}  // namespace tovask::testing
