#include "app/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "operations/edits_fixture.h"
#include "support/recording_sink.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

// What the progress window would have shown: captions set, closes, error boxes.
struct WindowRecorder : ErrorDisplay {
  void ShowError(const std::string& text, const std::string& title) override {
    errors.emplace_back(text, title);
  }
  DispatchSeams Seams(ProgressSink* sink = nullptr) {
    DispatchSeams seams;
    seams.operation.progress = sink;
    seams.errors = this;
    seams.setButtonCaption = [this](const std::string& caption) { captions.push_back(caption); };
    seams.closeWindow = [this] { ++closes; };
    return seams;
  }
  std::vector<std::string> captions;
  std::vector<std::pair<std::string, std::string>> errors;
  int closes = 0;
};

class DispatcherTest : public EditsTest {
 protected:
  DispatcherTest() {
    WriteFile(dir_ / "src/one.txt", "first file");
    WriteFile(dir_ / "src/two.txt", "second file");
  }
  std::string Source(const std::string& name) { return dir_ / ("src/" + name); }
  std::string Target() { return dir_ / "out"; }

  WindowRecorder window_;
};

// The five kinds, each checked by what it leaves on disk.
struct KindCase {
  const char* label;
  std::string kind;
  bool closeWhenDone;
};

class DispatchKindTest : public DispatcherTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(DispatchKindTest, RunsTheOperationOfTheKind) {
  const KindCase& c = GetParam();
  MakeArchive({{"a.txt", "alpha", ""}, {"b.txt", "bravo", ""}});
  const std::string created = dir_ / "work/new.tvk";

  PendingOperation request;
  request.kind = c.kind;
  request.closeWhenDone = c.closeWhenDone;
  request.archivePath = archive_;
  if (c.kind == kKindCompress) {
    request.archivePath = created;
    request.items = {Source("one.txt"), Source("two.txt")};
  } else if (c.kind == kKindAdd) {
    request.items = {Source("one.txt")};
  } else if (c.kind == kKindExtractAll) {
    request.targetFolder = Target();
  } else if (c.kind == kKindExtractSelected) {
    request.targetFolder = Target();
    request.items = {"B.TXT"};
  } else if (c.kind == kKindDelete) {
    request.items = {"a.txt"};
  }
  context_.currentArchivePath = "/elsewhere.tvk";

  (void)RunPendingOperation(context_, request, window_.Seams());
  ASSERT_TRUE(request.succeeded) << context_.errorLog;
  EXPECT_TRUE(window_.errors.empty());
  EXPECT_EQ(window_.captions, Names{"完成"});
  EXPECT_EQ(window_.closes, c.closeWhenDone ? 1 : 0);
  EXPECT_FALSE(request.closeWhenDone);
  EXPECT_EQ(context_.currentArchivePath, request.archivePath);

  if (c.kind == kKindCompress) {
    EXPECT_EQ(Paths(created), (Names{"one.txt", "two.txt"}));
  } else if (c.kind == kKindAdd) {
    EXPECT_EQ(Paths(), (Names{"a.txt", "b.txt", "one.txt"}));
  } else if (c.kind == kKindExtractAll) {
    EXPECT_EQ(ReadFile(Target() + "/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(Target() + "/b.txt"), "bravo");
  } else if (c.kind == kKindExtractSelected) {
    EXPECT_FALSE(platform::PathExists(Target() + "/a.txt"));
    EXPECT_EQ(ReadFile(Target() + "/b.txt"), "bravo");
  } else if (c.kind == kKindDelete) {
    EXPECT_EQ(Paths(), Names{"b.txt"});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DispatchKindTest,
    ::testing::Values(KindCase{"compress_stays_open", std::string(kKindCompress), false},
                      KindCase{"extract_all_stays_open", std::string(kKindExtractAll), false},
                      KindCase{"add_closes", std::string(kKindAdd), true},
                      KindCase{"extract_selected_closes", std::string(kKindExtractSelected), true},
                      KindCase{"delete_closes", std::string(kKindDelete), true}),
    [](const auto& info) { return std::string(info.param.label); });

// "中断" pressed at a report: the run stops there with the archive as it was, the window's sink
// is asked nothing more, and the dispatcher touches no other seam (no box, caption or close).
TEST_F(DispatcherTest, InterruptStopsTheRunAndCallsNoSeamAfterIt) {
  for (const std::string_view kindName : {kKindAdd, kKindDelete, kKindExtractAll, kKindCompress}) {
    const std::string kind(kindName);
    for (const int at : {1, 3}) {
      SCOPED_TRACE(kind + " interrupted at report " + std::to_string(at));
      MakeArchive({{"a.txt", "alpha", ""}, {"b.txt", "bravo", ""}});
      const std::string before = FileText(archive_);
      PendingOperation request;
      request.kind = kind;
      request.archivePath = archive_;
      request.closeWhenDone = true;
      request.items = kind == kKindDelete ? Names{"a.txt"} : Names{Source("one.txt")};
      request.targetFolder = Target();
      RecordingSink sink;
      sink.InterruptAtReport(at);
      window_ = WindowRecorder{};
      const std::optional<Outcome> outcome =
          RunPendingOperation(context_, request, window_.Seams(&sink));

      EXPECT_EQ(sink.records().size(), static_cast<std::size_t>(at));
      ASSERT_TRUE(outcome);
      EXPECT_EQ(outcome->kind, OutcomeKind::Interrupted);
      EXPECT_EQ(outcome->messages,
                (std::vector<LoggedMessage>{{ErrorCode::Interrupted, "操作被中断！"}}));
      EXPECT_EQ(context_.errorLog, "107:操作被中断！");
      EXPECT_FALSE(request.succeeded);
      EXPECT_TRUE(window_.errors.empty());
      EXPECT_TRUE(window_.captions.empty());
      EXPECT_EQ(window_.closes, 0);
      EXPECT_EQ(FileText(archive_), before);
      EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
      EXPECT_FALSE(platform::PathExists(Target() + "/a.txt"));
    }
  }
}

TEST_F(DispatcherTest, FailureShowsTheLogTitledErrorAndAlwaysCloses) {
  PendingOperation request;
  request.kind = std::string(kKindDelete);
  request.archivePath = dir_ / "work/missing.tvk";
  request.items = {"a.txt"};
  request.closeWhenDone = false;
  request.succeeded = true;  // from an earlier run
  context_.currentArchivePath = "/current.tvk";

  (void)RunPendingOperation(context_, request, window_.Seams());
  EXPECT_FALSE(request.succeeded);
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(window_.errors[0].second, "错误");
  EXPECT_EQ(window_.errors[0].first, CurrentErrorLog(context_));
  EXPECT_EQ(window_.errors[0].first.substr(0, 2), "2:") << window_.errors[0].first;
  EXPECT_TRUE(window_.captions.empty());
  EXPECT_EQ(window_.closes, 1);
  EXPECT_FALSE(request.closeWhenDone);
  EXPECT_EQ(context_.currentArchivePath, "/current.tvk");
}

TEST_F(DispatcherTest, FailedNewArchiveKeepsTheCurrentArchive) {
  PendingOperation request;
  request.kind = std::string(kKindCompress);
  request.archivePath = dir_ / "work/new.tvk";
  request.items = {Source("does-not-exist.txt")};
  context_.currentArchivePath = "/current.tvk";
  (void)RunPendingOperation(context_, request, window_.Seams());
  EXPECT_FALSE(request.succeeded);
  EXPECT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(context_.currentArchivePath, "/current.tvk");
  EXPECT_FALSE(platform::PathExists(request.archivePath));
}

TEST_F(DispatcherTest, UnknownKindDoesNothing) {
  PendingOperation request;
  request.kind = "压缩文件 ";  // compared exactly
  request.archivePath = dir_ / "work/new.tvk";
  request.items = {Source("one.txt")};
  request.closeWhenDone = true;
  (void)RunPendingOperation(context_, request, window_.Seams());
  EXPECT_FALSE(platform::PathExists(request.archivePath));
  EXPECT_TRUE(window_.captions.empty());
  EXPECT_TRUE(window_.errors.empty());
  EXPECT_EQ(window_.closes, 0);
}

TEST_F(DispatcherTest, TheOperationWorksOnCopiesWhenTheRequestIsResetDuringTheRun) {
  MakeArchive({{"a.txt", "alpha", ""}, {"b.txt", "bravo", ""}});
  PendingOperation request;
  request.kind = std::string(kKindDelete);
  request.archivePath = archive_;
  request.items = {"a.txt"};
  request.closeWhenDone = true;
  RecordingSink sink;
  // The user presses the button while the operation runs: the window is destroyed and the
  // request emptied.
  sink.onReport = [&](int number, const RecordingSink::Record&) {
    if (number == 1) ResetPendingOperation(request);
  };
  (void)RunPendingOperation(context_, request, window_.Seams(&sink));
  EXPECT_TRUE(request.succeeded) << context_.errorLog;
  EXPECT_EQ(Paths(), Names{"b.txt"});
  EXPECT_EQ(context_.currentArchivePath, archive_);
  EXPECT_EQ(request.kind, "");
}

TEST_F(DispatcherTest, ResetEmptiesEveryFieldButSucceeded) {
  PendingOperation request{
      std::string(kKindExtractSelected), "/a.tvk", "/out", {"x", "y"}, true, true, "pw"};
  ResetPendingOperation(request);
  EXPECT_EQ(request.kind, "");
  EXPECT_EQ(request.archivePath, "");
  EXPECT_EQ(request.targetFolder, "");
  EXPECT_TRUE(request.items.empty());
  EXPECT_FALSE(request.closeWhenDone);
  EXPECT_EQ(request.password, "");
  EXPECT_TRUE(request.succeeded);
  request.succeeded = false;
  ResetPendingOperation(request);
  EXPECT_FALSE(request.succeeded);
}

TEST_F(DispatcherTest, ASecondRequestAfterAResetRunsWithoutTheOldPassword) {
  PendingOperation request;
  request.kind = std::string(kKindCompress);
  request.archivePath = archive_;
  request.items = {Source("one.txt")};
  request.password = "secret";
  (void)RunPendingOperation(context_, request, window_.Seams());
  ASSERT_TRUE(request.succeeded) << context_.errorLog;
  ResetPendingOperation(request);

  request.kind = std::string(kKindAdd);
  request.archivePath = archive_;
  request.items = {Source("two.txt")};
  (void)RunPendingOperation(context_, request, window_.Seams());
  ASSERT_TRUE(request.succeeded) << context_.errorLog;
  const ArchiveIndex index = Load(LoadMode::WithBlocks);
  ASSERT_EQ(index.paths, (Names{"one.txt", "two.txt"}));
  EXPECT_NE(index.flags[0] & EntryFlags::Encrypted, 0);
  EXPECT_EQ(index.flags[1] & EntryFlags::Encrypted, 0);
  EXPECT_EQ(DecodedContent(index, 0, "secret"), "first file");
}

}  // namespace
}  // namespace tovask::testing
