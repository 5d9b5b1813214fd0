// Fault sweep: each operation that touches the disk runs once with its file calls counted, then
// once for every call N with the N-th call failing (once, or from then on). Whatever fails, the
// run either reports a numbered error and leaves the disk as it was (the old archive byte for
// byte, no temporary file beside it, no half-written extracted file), or finishes with the
// complete, correct result; and the next run without faults succeeds.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "extract/extraction.h"
#include "operations/compress_add.h"
#include "operations/entry_edits.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "support/fault_plan.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

namespace fs = std::filesystem;
using platform::FileOp;
using testing::FaultPlan;
using testing::FileOpName;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr char kPassword[] = "pw";

// What a case leaves to be checked: a new archive, the archive changed in place, the files
// extracted, or nothing (a test only reads).
enum class Kind { Create, Change, Extract, Test };

struct Case {
  const char* name;
  Kind kind;
  std::function<Outcome(AppContext&)> run;
};

// How the N-th call fails.
struct Fault {
  const char* name;
  FaultPlan::Options options;
};

class FaultSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartUp(context_, program_.path());
    StartUp(reader_, program_.path());
    // Every new block goes through the scratch file, so its calls are swept too.
    context_.blockMemoryBudget = 1;
    WriteFile(src_ + "/a.txt", Repeat("alpha ", 500));
    WriteFile(src_ + "/ro.txt", "read only\n");
    fs::permissions(src_ + "/ro.txt", fs::perms::owner_read | fs::perms::group_read);
    std::string noise(6000, '\0');
    unsigned state = 7;
    for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
    WriteFile(src_ + "/dir1/b.bin", noise);
    WriteFile(src_ + "/dir1/dir2/c.txt", "c");
    WriteFile(src_ + "/dir1/empty", "");
    WriteFile(src_ + "/new.txt", "new file");
    // Large enough to be extracted piece by piece rather than whole.
    WriteFile(src_ + "/big.txt", Repeat("0123456789abcdef", (4 << 16) + 256) + noise);
    fs::create_directories(arc_);
    ASSERT_TRUE(CompressAndAdd(context_, {{src_ + "/a.txt", src_ + "/ro.txt", src_ + "/dir1",
                                           src_ + "/big.txt"},
                                          archive_})
                    .done());
    ASSERT_TRUE(EncryptEntries(context_, {archive_, kPassword, {"dir1\\b.bin"}}).done());
    base_ = ReadFile(archive_);
  }

  static std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
  }

  // Back to the state every run starts from: the base archive alone in its folder, and two
  // existing files in the extraction target (which a run without a question keeps).
  void Restore() {
    fs::remove_all(arc_);
    fs::remove_all(out_);
    WriteFile(archive_, base_);
    WriteFile(out_ + "/a.txt", "old");
    WriteFile(out_ + "/dir1/dir2/c.txt", "old");
  }

  // Every entry: name, flags, digest, and whether its block decodes to that digest and size.
  std::string Summary(const std::string& path) {
    ArchiveIndex index;
    LoadOptions options;
    options.mode = LoadMode::WithBlocks;
    if (!LoadArchiveIndex(reader_, index, path, options)) return "<unreadable> " + reader_.errorLog;
    std::ostringstream text;
    for (std::size_t i = 0; i < index.paths.size(); ++i) {
      // A block met before (the same bytes under the same record) is known to decode.
      const Bytes& block = index.storedBlocks[i];
      const std::string seen = std::string(block.begin(), block.end()) + index.md5Texts[i] +
                               std::to_string(index.flags[i]) + ' ' +
                               std::to_string(index.originalSizes[i]);
      bool sound = decoded_.contains(seen);
      if (!sound) {
        const Bytes plain = DecodeDataBlock(reader_.dataOps, block, index.flags[i], kPassword,
                                            index.originalSizes[i]);
        sound = reader_.dataOps.Digest(plain) == index.md5Texts[i] &&
                plain.size() == static_cast<std::size_t>(index.originalSizes[i]);
        if (sound) decoded_.insert(seen);
      }
      // The cipher is drawn at random per entry.
      const int flags = index.flags[i] & ~EntryFlags::SecondCipher;
      text << index.paths[i] << ' ' << flags << ' ' << index.md5Texts[i]
           << (sound ? "" : " <damaged>") << '\n';
    }
    return text.str();
  }

  // Every name below folder with its content's length and hash and whether it is read-only.
  static std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
      const std::string name = fs::relative(item.path(), folder).string();
      if (item.is_directory()) {
        tree[name] = "<folder>";
        continue;
      }
      const bool readOnly =
          (item.status().permissions() & fs::perms::owner_write) == fs::perms::none;
      std::ifstream in(item.path(), std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      const std::string bytes = content.str();
      tree[name] = std::to_string(bytes.size()) + ' ' +
                   std::to_string(std::hash<std::string>{}(bytes)) + (readOnly ? " <ro>" : "");
    }
    return tree;
  }

  // What a finished run of the case has made.
  std::string Result(Kind kind) {
    switch (kind) {
      case Kind::Create:
        return Summary(created_);
      case Kind::Change:
        return Summary(archive_);
      case Kind::Extract: {
        std::string text;
        for (const auto& [name, content] : Tree(out_)) text += name + '=' + content + '\n';
        return text;
      }
      case Kind::Test:
        return "";
    }
    return "";
  }

  std::vector<std::string> ArchiveFolder() const {
    return platform::ListFolder(arc_).value_or(std::vector<std::string>{"<unreadable>"});
  }

  // The sweep of one case under one kind of fault; returns the number of calls swept.
  int Sweep(const Case& c, const Fault& fault) {
    Restore();
    int count = 0;
    std::string expected;
    std::vector<std::string> expectedFolder;
    {
      FaultPlan counter = FaultPlan::AnyCall(0, {.filter = testing::PathsUnder(work_.path())});
      EXPECT_TRUE(c.run(context_).done()) << c.name << ": " << context_.errorLog;
      count = counter.calls();
    }
    expected = Result(c.kind);
    expectedFolder = ArchiveFolder();
    const auto expectedTree = Tree(out_);
    EXPECT_GT(count, 0);

    for (int n = 1; n <= count; ++n) {
      Restore();
      FaultPlan::Options options = fault.options;
      options.filter = testing::PathsUnder(work_.path());
      Outcome outcome;
      std::vector<FaultPlan::Call> failed;
      {
        FaultPlan plan = FaultPlan::AnyCall(n, options);
        outcome = c.run(context_);
        failed = plan.failedCalls();
      }
      std::string what = std::string(c.name) + ", " + fault.name + ", call " + std::to_string(n);
      if (!failed.empty()) {
        what += std::string(" (") + std::string(FileOpName(failed[0].op)) + " " +
                failed[0].path.substr(work_.path().size()) + ")";
      }
      SCOPED_TRACE(what);
      if (failed.empty()) {
        // Several workers may read ahead more or less; one makes the same calls every time.
        if (context_.workerThreads == 1) ADD_FAILURE() << "fewer calls than counted";
        continue;
      }
      if (outcome.done()) {
        for (const FaultPlan::Call& call : failed) {
          EXPECT_TRUE(MayFailUnnoticed(c.kind, call))
              << "done despite a failing " << FileOpName(call.op) << " " << call.path;
        }
        ++harmless_[std::string(c.name) + ": " + std::string(FileOpName(failed[0].op)) + " " +
                    failed[0].path.substr(work_.path().size())];
        EXPECT_EQ(Result(c.kind), expected);
        EXPECT_EQ(ArchiveFolder(), expectedFolder);
        continue;
      }
      EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
      EXPECT_FALSE(outcome.messages.empty());
      for (const LoggedMessage& message : outcome.messages)
        EXPECT_NE(message.code, ErrorCode::Unrecorded) << message.text;
      EXPECT_EQ(ReadFile(archive_), base_) << "the old archive changed";
      EXPECT_EQ(ArchiveFolder(), std::vector<std::string>{"a.tvk"}) << "a leftover";
      if (c.kind == Kind::Extract) ExpectOnlyCompleteFiles(expectedTree);
      // The next run, without faults, from what the failed one left.
      const Outcome next = c.run(context_);
      EXPECT_TRUE(next.done()) << "the next run failed: " << next.LogText();
      EXPECT_EQ(Result(c.kind), expected);
      EXPECT_EQ(ArchiveFolder(), expectedFolder);
    }
    return count;
  }

  // The calls whose failure cannot harm the result, so a run may finish without a word (its
  // result is still checked in full): the folder sync once the new archive is in place, the
  // look for a killed writer's leftovers before a change, the reading of a source file that is
  // empty anyway, the mode of an extracted file that is not read-only (it keeps the private
  // bits of its temporary file), and, with several workers, a block read ahead for an entry
  // that is then skipped.
  bool MayFailUnnoticed(Kind kind, const FaultPlan::Call& call) const {
    switch (call.op) {
      case FileOp::Sync:
      case FileOp::ReadFolder:
        return call.path == arc_;
      case FileOp::OpenRead:
      case FileOp::Read:
        return call.path == src_ + "/dir1/empty" ||
               (kind == Kind::Extract && context_.workerThreads > 1 && call.path == archive_);
      case FileOp::SetMode:
        return kind == Kind::Extract && call.path != out_ + "/ro.txt";
      default:
        return false;
    }
  }

  // Every file in the target is the existing one or complete and correct, nothing else there
  // (read-only or not: the attribute is told apart by the result as a whole).
  void ExpectOnlyCompleteFiles(const std::map<std::string, std::string>& expected) {
    const auto content = [](std::string text) {
      if (text.ends_with(" <ro>")) text.resize(text.size() - 5);
      return text;
    };
    for (const auto& [name, text] : Tree(out_)) {
      const auto found = expected.find(name);
      EXPECT_TRUE(found != expected.end() && content(found->second) == content(text))
          << "half-written or stray: " << name;
    }
  }

  TempDir program_;
  TempDir work_;
  AppContext context_;
  AppContext reader_;
  std::string src_ = work_ / "src";
  std::string arc_ = work_ / "arc";
  std::string out_ = work_ / "out";
  std::string archive_ = work_ / "arc/a.tvk";
  std::string created_ = work_ / "arc/new.tvk";
  std::string base_;
  std::map<std::string, int> harmless_;
  std::set<std::string> decoded_;  // blocks that decoded soundly, with their records
};

TEST_F(FaultSweepTest, EveryFileCallFailing) {
  const std::vector<Case> cases = {
      {"create", Kind::Create,
       [&](AppContext& context) {
         return CompressAndAdd(context, {{src_ + "/a.txt", src_ + "/dir1"}, created_});
       }},
      {"add", Kind::Change,
       [&](AppContext& context) {
         return CompressAndAdd(context, {{src_ + "/new.txt", src_ + "/dir1"}, archive_, "", false});
       }},
      {"delete", Kind::Change,
       [&](AppContext& context) {
         return DeleteEntries(context, {archive_, {"a.txt"}});
       }},
      {"rename", Kind::Change,
       [&](AppContext& context) {
         return RenameEntry(context, {archive_, "a.txt", "z.txt"});
       }},
      {"set password", Kind::Change,
       [&](AppContext& context) {
         return EncryptEntries(context, {archive_, kPassword, {"a.txt", "ro.txt"}});
       }},
      {"extract", Kind::Extract,
       [&](AppContext& context) {
         ExtractRequest request;
         request.archivePath = archive_;
         request.password = kPassword;
         request.passwordIsFinal = true;
         request.targetFolder = out_;
         return ExtractEntries(context, request, {});
       }},
      {"test", Kind::Test,
       [&](AppContext& context) {
         return TestEntries(context, {archive_, kPassword, true}, {});
       }},
  };
  const std::vector<Fault> faults = {
      {"EIO once", {.errorNumber = EIO}},
      // A disk that stays full: everything fails from the N-th call on, but files can still
      // be removed.
      {"ENOSPC from then on",
       {.errorNumber = ENOSPC, .persistent = true, .spared = {FileOp::Remove}}},
  };
  for (const unsigned workers : {1u, 4u}) {
    context_.workerThreads = workers;
    for (const Case& c : cases) {
      for (const Fault& fault : faults) {
        // With several workers the order of calls varies: N names another call each time,
        // but every promise holds all the same.
        if (workers > 1 && fault.options.persistent) continue;
        const int count = Sweep(c, fault);
        const std::string key = std::string(c.name) + " / " + fault.name + " / " +
                                std::to_string(workers) + " worker(s)";
        RecordProperty(key, count);
        std::printf("fault sweep: %s: %d calls\n", key.c_str(), count);
      }
    }
  }
  for (const auto& [what, times] : harmless_)
    std::printf("fault sweep: done despite a failing %s (%d times)\n", what.c_str(), times);
}

}  // namespace
}  // namespace tovask
