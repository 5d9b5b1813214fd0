#include "platform/file_handle.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/scoped_env.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace tovask::platform {
namespace {

using tovask::testing::ReadFile;
using tovask::testing::TempDir;
using tovask::testing::WriteFile;

unsigned ModeOf(const std::string& path) { return tovask::testing::FileMode(path); }

std::string LinkText(const std::string& path) {
  char buffer[4096];
  const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
  return length < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
}

// Fails every call of one operation with an errno value.
FaultHook FailAll(FileOp failing, int error) {
  return [failing, error](FileOp op, const std::string&) { return op == failing ? error : 0; };
}

// Writes content into a fresh temporary file of folder and returns its path.
std::string MakeTemporary(const std::string& folder, const std::string& baseName,
                          const std::string& content) {
  std::string path;
  std::optional<File> file = File::CreateTemporary(folder, baseName, &path);
  EXPECT_TRUE(file.has_value());
  if (!file) return path;
  EXPECT_TRUE(file->Write(AsBytes(content)));
  EXPECT_TRUE(file->Sync());
  EXPECT_TRUE(file->Close());
  return path;
}

TEST(FileHandleTest, TemporaryFileIsHiddenInItsFolder) {
  TempDir dir;
  std::string path;
  std::optional<File> file = File::CreateTemporary(dir.path(), "a.tvk", &path);
  ASSERT_TRUE(file.has_value());
  EXPECT_TRUE(file->IsOpen());
  const std::vector<std::string> names = *ListFolder(dir.path());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(path, dir / names[0]);
  EXPECT_EQ(names[0].rfind(".a.tvk-", 0), 0u) << names[0];
  EXPECT_EQ(names[0].size(), std::string(".a.tvk-XXXXXX").size());
  EXPECT_EQ(ModeOf(path), 0600u);

  // A second one gets its own name; a folder given with a trailing separator is no problem.
  std::string second;
  ASSERT_TRUE(File::CreateTemporary(dir.path() + "/", "a.tvk", &second).has_value());
  EXPECT_NE(second, path);
  EXPECT_EQ(second.find("//"), std::string::npos);
  EXPECT_EQ(ListFolder(dir.path())->size(), 2u);

  EXPECT_FALSE(File::CreateTemporary(dir / "missing", "a.tvk", &path).has_value());
}

TEST(FileHandleTest, TemporaryFileForALongNameFitsTheNameLimit) {
  TempDir dir;
  std::string longName;
  for (int i = 0; i < 83; ++i) longName += "中";  // 249 bytes, a valid name by itself
  longName += ".tvk";
  WriteFile(dir / longName, "old");
  std::string path;
  std::optional<File> file = File::CreateTemporary(dir.path(), longName, &path);
  ASSERT_TRUE(file.has_value());
  const std::string name = path.substr(dir.path().size() + 1);
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.rfind(".中中", 0), 0u);
  EXPECT_TRUE(IsValidUtf8(name));  // not cut inside a character
  ASSERT_TRUE(file->Write(AsBytes("new")));
  ASSERT_TRUE(file->Close());
  EXPECT_TRUE(ReplaceWith(path, dir / longName));
  EXPECT_EQ(ReadFile(dir / longName), "new");
}

TEST(FileHandleTest, WriteSeekReadAndSize) {
  TempDir dir;
  std::string path;
  std::optional<File> file = File::CreateTemporary(dir.path(), "x", &path);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->Write(AsBytes("hello ")));
  ASSERT_TRUE(file->Write(AsBytes("world")));
  EXPECT_EQ(file->Size(), 11u);
  ASSERT_TRUE(file->Seek(6));
  EXPECT_EQ(file->Read(5), ToBytes("world"));
  EXPECT_EQ(file->Read(5), Bytes{});  // at the end
  ASSERT_TRUE(file->Seek(0));
  EXPECT_EQ(file->Read(100), ToBytes("hello world"));  // fewer at the end of the file
  // A count taken from a damaged record must not allocate that much before reading.
  ASSERT_TRUE(file->Seek(3));
  EXPECT_EQ(file->Read(std::numeric_limits<std::size_t>::max()), ToBytes("lo world"));
  ASSERT_TRUE(file->SetMode(0640));
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_TRUE(file->Close());
  EXPECT_FALSE(file->IsOpen());
  EXPECT_EQ(ReadFile(path), "hello world");
}

TEST(FileHandleTest, ReadsMoreThanOneStep) {
  TempDir dir;
  std::string content(2 * 1024 * 1024 + 3, 'a');
  content.back() = 'z';
  WriteFile(dir / "big", content);
  std::optional<File> file = File::OpenLocked(dir / "big", LockKind::Exclusive);
  ASSERT_TRUE(file.has_value());
  const std::optional<Bytes> read = file->Read(content.size());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(ToText(*read), content);
}

TEST(FileHandleTest, OpenLockedForReadIsExclusive) {
  TempDir dir;
  const std::string path = dir / "a.tvk";
  WriteFile(path, "data");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);  // reading needs no write permission
  {
    std::optional<File> first = File::OpenLocked(path, LockKind::Exclusive);
    ASSERT_TRUE(first.has_value());
    errno = 0;
    EXPECT_FALSE(File::OpenLocked(path, LockKind::Exclusive).has_value());  // the lock is taken
    EXPECT_EQ(errno, EWOULDBLOCK);
    // Moving the file keeps the lock; the moved-from object closes nothing.
    File moved = std::move(*first);
    first.reset();
    EXPECT_FALSE(File::OpenLocked(path, LockKind::Exclusive).has_value());
    EXPECT_EQ(moved.Read(4), ToBytes("data"));
  }
  EXPECT_TRUE(File::OpenLocked(path, LockKind::Exclusive).has_value());  // released by the destructor
}

TEST(FileHandleTest, OpenLockedForReadRefusesWhatIsNoFile) {
  TempDir dir;
  ASSERT_TRUE(CreateFolder(dir / "folder"));
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(File::OpenLocked(dir / "missing", LockKind::Exclusive).has_value());
  EXPECT_FALSE(File::OpenLocked(dir / "folder", LockKind::Exclusive).has_value());
  EXPECT_FALSE(File::OpenLocked(dir / "fifo", LockKind::Exclusive).has_value());  // and does not block
}

// Which second lock a first one lets through, and why a refused open failed.
TEST(FileHandleTest, SharedLocksShareAndExclusiveExcludes) {
  TempDir dir;
  const std::string path = dir / "a.tvk";
  WriteFile(path, "data");
  struct Case {
    LockKind first, second;
    bool secondGranted;
  };
  for (const Case& c : {Case{LockKind::Shared, LockKind::Shared, true},
                        Case{LockKind::Shared, LockKind::Exclusive, false},
                        Case{LockKind::Exclusive, LockKind::Shared, false},
                        Case{LockKind::Exclusive, LockKind::Exclusive, false}}) {
    std::optional<File> first = File::OpenLocked(path, c.first);
    ASSERT_TRUE(first.has_value());
    OpenFailure why{};
    EXPECT_EQ(File::OpenLocked(path, c.second, &why).has_value(), c.secondGranted);
    if (!c.secondGranted) {
      EXPECT_EQ(why, OpenFailure::Busy);
    }
  }
  OpenFailure why{};
  EXPECT_FALSE(File::OpenLocked(dir / "missing", LockKind::Shared, &why));
  EXPECT_EQ(why, OpenFailure::Missing);
  EXPECT_FALSE(File::OpenLocked(dir.path(), LockKind::Shared, &why));
  EXPECT_EQ(why, OpenFailure::Other);
}

// A writer that renames a new file over the path between our open and our lock: the lock ends
// up on the file the path names, never on the replaced one.
TEST(FileHandleTest, OpenLockedFollowsAFileReplacedBeforeTheLock) {
  TempDir dir;
  const std::string path = dir / "a.tvk";
  WriteFile(path, "old");
  WriteFile(dir / "new", "new");
  bool replaced = false;
  ScopedFaultHook hook([&](FileOp op, const std::string&) {
    if (op == FileOp::Lock && !replaced) {
      replaced = true;
      EXPECT_EQ(::rename((dir / "new").c_str(), path.c_str()), 0);
    }
    return 0;
  });
  std::optional<File> file = File::OpenLocked(path, LockKind::Exclusive);
  ASSERT_TRUE(file.has_value());
  EXPECT_TRUE(replaced);
  EXPECT_EQ(file->Read(10), ToBytes("new"));
}

TEST(FileHandleTest, PlaceNewNeverReplaces) {
  TempDir dir;
  const std::string target = dir / "a.tvk";
  const std::string first = MakeTemporary(dir.path(), "a.tvk", "first");
  EXPECT_EQ(PlaceNew(first, target), PlaceResult::Placed);
  EXPECT_FALSE(PathExists(first));
  const std::string second = MakeTemporary(dir.path(), "a.tvk", "second");
  EXPECT_EQ(PlaceNew(second, target), PlaceResult::TargetExists);
  EXPECT_EQ(ReadFile(target), "first");
  EXPECT_EQ(ReadFile(second), "second");  // left for the caller to remove
}

// Only unheld temporary files of the one archive go; a living writer's file and look-alikes stay.
TEST(FileHandleTest, RemoveStaleTemporariesTakesOnlyUnheldLeftovers) {
  TempDir dir;
  const std::string target = dir / "a.tvk";
  WriteFile(target, "archive");
  const std::string stale = MakeTemporary(dir.path(), "a.tvk", "killed writer");
  std::string living;
  std::optional<File> held = File::CreateTemporary(dir.path(), "a.tvk", &living);
  ASSERT_TRUE(held.has_value());
  const std::string other = MakeTemporary(dir.path(), "b.tvk", "another archive's");
  WriteFile(dir / ".a.tvk-notes.txt", "a user's file");
  WriteFile(dir / ".a.tvk-12345", "five characters only");

  EXPECT_EQ(RemoveStaleTemporaries(target), 1);
  EXPECT_FALSE(PathExists(stale));
  for (const std::string& kept : {target, living, other, dir / ".a.tvk-notes.txt",
                                  dir / ".a.tvk-12345"}) {
    EXPECT_TRUE(PathExists(kept)) << kept;
  }
  held->Close();
  EXPECT_EQ(RemoveStaleTemporaries(target), 1);  // its writer is gone now
}

TEST(FileHandleTest, ReplaceWithPutsTheNewContentInPlace) {
  TempDir dir;
  const std::string target = dir / "a.tvk";
  WriteFile(target, "old archive");
  const std::string temp = MakeTemporary(dir.path(), "a.tvk", "new archive");
  ASSERT_TRUE(ReplaceWith(temp, target));
  EXPECT_EQ(ReadFile(target), "new archive");
  EXPECT_FALSE(PathExists(temp));
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"a.tvk"});
}

TEST(FileHandleTest, ReplaceWithThroughLinksReplacesTheFinalTarget) {
  TempDir dir;
  WriteFile(dir / "store/real.tvk", "old");
  ASSERT_TRUE(CreateFolder(dir / "links"));
  // links/first -> (absolute) links/second -> (relative) ../store/real.tvk
  ASSERT_EQ(::symlink("../store/real.tvk", (dir / "links/second").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "links/second").c_str(), (dir / "links/first").c_str()), 0);

  const std::string final = ResolveFinalTarget(dir / "links/first");
  EXPECT_EQ(StatPath(final)->inode, StatPath(dir / "store/real.tvk")->inode);
  EXPECT_FALSE(StatPath(final)->isLink);

  std::vector<std::string> renamedTo;
  ScopedFaultHook hook([&renamedTo](FileOp op, const std::string& path) {
    if (op == FileOp::Rename) renamedTo.push_back(path);
    return 0;
  });
  const std::string temp = MakeTemporary(dir / "store", "real.tvk", "new");
  ASSERT_TRUE(ReplaceWith(temp, dir / "links/first"));
  EXPECT_EQ(ReadFile(dir / "store/real.tvk"), "new");
  EXPECT_TRUE(StatPath(dir / "links/first")->isLink);
  EXPECT_EQ(LinkText(dir / "links/first"), dir / "links/second");
  EXPECT_EQ(LinkText(dir / "links/second"), "../store/real.tvk");
  EXPECT_EQ(ReadFile(dir / "links/first"), "new");
  EXPECT_EQ(ListFolder(dir / "store"), std::vector<std::string>{"real.tvk"});
  EXPECT_EQ(renamedTo, std::vector<std::string>{final});
}

TEST(FileHandleTest, ResolveFinalTarget) {
  TempDir dir;
  WriteFile(dir / "plain", "x");
  ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop2", (dir / "loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", (dir / "loop2").c_str()), 0);
  EXPECT_EQ(ResolveFinalTarget(dir / "plain"), dir / "plain");
  EXPECT_EQ(ResolveFinalTarget(dir / "missing"), dir / "missing");
  // A dangling link names the file that replacing it creates.
  EXPECT_EQ(ResolveFinalTarget(dir / "dangling"), dir / "nowhere");
  // A loop has no final file: the path itself is what gets replaced.
  EXPECT_EQ(ResolveFinalTarget(dir / "loop1"), dir / "loop1");
}

TEST(FileHandleTest, ReplacementMode) {
  TempDir dir;
  WriteFile(dir / "a", "x");
  ASSERT_EQ(::chmod((dir / "a").c_str(), 04750), 0);
  EXPECT_EQ(ReplacementMode(dir / "a"), 04750u);
  ASSERT_EQ(::symlink("a", (dir / "link").c_str()), 0);
  EXPECT_EQ(ReplacementMode(dir / "link"), 04750u);  // the link's target counts
  for (const mode_t mask : {022, 027, 077}) {
    ScopedUmask scoped(mask);
    EXPECT_EQ(ReplacementMode(dir / "new"), 0666u & ~mask);
    EXPECT_EQ(umask(mask), mask);  // the umask is left as it was
  }
}

// A scratch file has no name in its folder; CopyFrom appends a range of another file at the
// current position and refuses a range past the source's end; an injected write fault copies
// half, as a filling disk does.
TEST(FileHandleTest, ScratchFileAndCopyFrom) {
  TempDir dir;
  std::optional<File> scratch = File::CreateScratch(dir.path());
  ASSERT_TRUE(scratch.has_value());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  std::string content(3 * 1024 * 1024, 'q');
  content.replace(1000, 10, "0123456789");
  ASSERT_TRUE(scratch->Write(AsBytes(content)));

  std::string path;
  std::optional<File> target = File::CreateTemporary(dir.path(), "t", &path);
  ASSERT_TRUE(target.has_value());
  ASSERT_TRUE(target->Write(AsBytes("<")));
  EXPECT_TRUE(target->CopyFrom(*scratch, 1000, 10));
  EXPECT_TRUE(target->CopyFrom(*scratch, 0, content.size()));
  EXPECT_FALSE(target->CopyFrom(*scratch, content.size() - 1, 2));
  ASSERT_TRUE(target->Close());
  EXPECT_EQ(ReadFile(path).substr(0, 11), "<0123456789");
  EXPECT_EQ(ReadFile(path).substr(11, content.size()), content);

  std::optional<File> faulty = File::CreateTemporary(dir.path(), "f", &path);
  ASSERT_TRUE(faulty.has_value());
  {
    ScopedFaultHook hook(FailAll(FileOp::Write, ENOSPC));
    errno = 0;
    EXPECT_FALSE(faulty->CopyFrom(*scratch, 1000, 10));
    EXPECT_EQ(errno, ENOSPC);
  }
  ASSERT_TRUE(faulty->Close());
  EXPECT_EQ(ReadFile(path), "01234");
}

TEST(FileHandleTest, InjectedWriteFailureLeavesHalfTheBytes) {
  TempDir dir;
  std::string path;
  std::optional<File> file = File::CreateTemporary(dir.path(), "x", &path);
  ASSERT_TRUE(file.has_value());
  {
    ScopedFaultHook hook(FailAll(FileOp::Write, ENOSPC));
    errno = 0;
    EXPECT_FALSE(file->Write(AsBytes("0123456789")));
    EXPECT_EQ(errno, ENOSPC);
  }
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(ReadFile(path), "01234");
}

// Another writer's clean-up removes the new temporary file in the moment before it is locked
// (played here by the hook, which runs in that moment): a new name is drawn.
TEST(FileHandleTest, TemporaryFileRemovedBeforeItsLockIsMadeAgain) {
  TempDir dir;
  std::string path;
  int removed = 0;
  {
    ScopedFaultHook hook([&removed](FileOp op, const std::string& name) {
      if (op == FileOp::Lock && removed == 0 && ::unlink(name.c_str()) == 0) ++removed;
      return 0;
    });
    std::optional<File> file = File::CreateTemporary(dir.path(), "a.tvk", &path);
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->Write(AsBytes("new archive")));
    EXPECT_TRUE(file->Close());
  }
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(ReadFile(path), "new archive");
}

TEST(FileHandleTest, HookCanFailTheNthCallOnly) {
  TempDir dir;
  std::string path;
  std::optional<File> file = File::CreateTemporary(dir.path(), "x", &path);
  ASSERT_TRUE(file.has_value());
  // The counter lives in the hook itself: it must be called in place, not as a fresh copy.
  ScopedFaultHook hook([calls = 0](FileOp op, const std::string&) mutable {
    return op == FileOp::Write && ++calls == 2 ? EIO : 0;
  });
  EXPECT_TRUE(file->Write(AsBytes("aa")));
  EXPECT_FALSE(file->Write(AsBytes("bbbb")));
  EXPECT_TRUE(file->Write(AsBytes("cc")));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(ReadFile(path), "aabbcc");
}

TEST(FileHandleTest, InjectedFaultsFailEachOperation) {
  TempDir dir;
  WriteFile(dir / "a.tvk", "data");
  const unsigned mode = ModeOf(dir / "a.tvk");
  const struct {
    FileOp op;
    const char* label;
  } cases[] = {
      {FileOp::OpenRead, "open"}, {FileOp::Lock, "lock"}, {FileOp::Read, "read"},
      {FileOp::Seek, "seek"},     {FileOp::Sync, "sync"}, {FileOp::SetMode, "mode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::optional<File> file;
    {
      ScopedFaultHook hook(FailAll(c.op, EIO));
      file = File::OpenLocked(dir / "a.tvk", LockKind::Exclusive);
      const bool openFailed = c.op == FileOp::OpenRead || c.op == FileOp::Lock;
      EXPECT_EQ(file.has_value(), !openFailed);
      if (!file) continue;
      bool ok = true;
      if (c.op == FileOp::Read) ok = file->Read(4).has_value();
      if (c.op == FileOp::Seek) ok = file->Seek(1);
      if (c.op == FileOp::Sync) ok = file->Sync();
      if (c.op == FileOp::SetMode) ok = file->SetMode(0600);
      EXPECT_FALSE(ok);
    }
    file.reset();  // a failed lock must not leave the file locked
  }
  EXPECT_TRUE(File::OpenLocked(dir / "a.tvk", LockKind::Exclusive).has_value());
  EXPECT_EQ(ModeOf(dir / "a.tvk"), mode);  // the failed SetMode changed nothing
}

TEST(FileHandleTest, InjectedCreateTempFails) {
  TempDir dir;
  std::string seenFolder;
  ScopedFaultHook hook([&seenFolder](FileOp op, const std::string& path) {
    if (op != FileOp::CreateTemp) return 0;
    seenFolder = path;
    return ENOSPC;
  });
  std::string path;
  EXPECT_FALSE(File::CreateTemporary(dir.path(), "a.tvk", &path).has_value());
  EXPECT_EQ(seenFolder, dir.path());
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{});
}

TEST(FileHandleTest, InjectedRenameFailureKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir / "a.tvk";
  WriteFile(target, "old");
  const std::string temp = MakeTemporary(dir.path(), "a.tvk", "new");
  {
    ScopedFaultHook hook(FailAll(FileOp::Rename, EXDEV));
    errno = 0;
    EXPECT_FALSE(ReplaceWith(temp, target));
    EXPECT_EQ(errno, EXDEV);
    EXPECT_FALSE(RenameFile(temp, dir / "b"));
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(ReadFile(temp), "new");  // left for the caller to remove
  EXPECT_FALSE(PathExists(dir / "b"));
}

TEST(FileHandleTest, FailingFolderSyncAfterTheRenameStillSucceeds) {
  TempDir dir;
  const std::string target = dir / "a.tvk";
  WriteFile(target, "old");
  const std::string temp = MakeTemporary(dir.path(), "a.tvk", "new");
  std::vector<std::string> synced;
  ScopedFaultHook hook([&synced](FileOp op, const std::string& path) {
    if (op != FileOp::Sync) return 0;
    synced.push_back(path);
    return EIO;
  });
  EXPECT_TRUE(ReplaceWith(temp, target));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(synced, std::vector<std::string>{dir.path()});  // the folder was synced
}

TEST(FileHandleTest, RenameFileReplacesTheDestination) {
  TempDir dir;
  WriteFile(dir / "from", "1");
  WriteFile(dir / "to", "2");
  ASSERT_TRUE(RenameFile(dir / "from", dir / "to"));
  EXPECT_EQ(ReadFile(dir / "to"), "1");
  EXPECT_FALSE(PathExists(dir / "from"));
  EXPECT_FALSE(RenameFile(dir / "from", dir / "other"));
}

}  // namespace
}  // namespace tovask::platform
