// Decoding ahead on workers and decoding large entries piece by piece: the same files,
// messages, questions and progress as a run that decodes each entry itself on one thread.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "extract/extract_fixture.h"
#include "support/recording_sink.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;

// Larger than what is decoded whole in memory, so it goes piece by piece into its file.
std::string LargeContent() {
  std::string text;
  text.reserve(5u << 20);
  for (std::uint32_t i = 0; text.size() < (5u << 20); ++i) {
    text += "line " + std::to_string(i * 2654435761u) + "\n";
  }
  return text;
}

// Everything a run leaves that a user could see.
struct RunTrace {
  std::vector<std::string> tree;
  std::vector<std::string> contents;  // of each regular file in tree order
  std::vector<unsigned> modes;
  std::string log;
  OutcomeKind kind = OutcomeKind::Done;
  std::vector<RecordingSink::Record> reports;
  int passwordCalls = 0;
  friend bool operator==(const RunTrace&, const RunTrace&) = default;
};

class ParallelExtractionTest : public ExtractFixture {
 protected:
  // A mixed archive: folders, plain and compressed entries, a skipped name, encrypted entries
  // met after the first plain ones, a read-only entry, a large entry, and a damaged one.
  void WriteMixedArchive(bool damagedLast) {
    std::vector<StoredEntry> entries;
    for (int i = 0; i < 30; ++i) {
      const std::string folder = "d" + std::to_string(i % 4) + "\\s" + std::to_string(i % 3);
      entries.push_back(Stored(folder + "\\f" + std::to_string(i) + ".txt",
                               std::string(static_cast<std::size_t>(i * 97), 'a' + i % 26)));
      if (i == 10) entries.push_back(Stored("skip?.txt", "never"));
      if (i == 12) entries.push_back(Stored("locked.txt", "ro", "", EntryFlags::ReadOnly));
      if (i % 7 == 3)
        entries.push_back(
            Stored("enc\\e" + std::to_string(i), "secret " + std::to_string(i), "pw"));
      if (i == 20) entries.push_back(Stored("big\\large.txt", large_));
    }
    StoredEntry damaged = Stored("d9\\damaged.txt", "some content");
    damaged.block[damaged.block.size() / 2] ^= 0x10;
    if (damagedLast) {
      entries.push_back(damaged);
      entries.push_back(Stored("after.txt", "after"));
    } else {
      entries.insert(entries.begin() + 25, damaged);
    }
    WriteArchive(entries);
  }

  RunTrace Run(unsigned workers, const std::string& folder, bool test) {
    context.workerThreads = workers;
    RecordingSink sink;
    ScriptedPassword password(std::string("pw"));
    seams.progress = &sink;
    seams.password = &password;
    RunTrace trace;
    if (test) {
      trace.kind = TestEntries(context, {ArchivePath()}, seams).kind;
    } else {
      ExtractRequest request = Request();
      request.targetFolder = target / folder;
      trace.kind = ExtractEntries(context, request, seams).kind;
      trace.tree = TreeOf(target / folder);
      for (const std::string& name : trace.tree) {
        if (name.back() == '/') continue;
        const std::string path = target / (folder + "/" + name);
        trace.contents.push_back(ReadFile(path));
        struct stat st {};
        ::stat(path.c_str(), &st);
        trace.modes.push_back(static_cast<unsigned>(st.st_mode & 07777));
      }
    }
    trace.log = context.errorLog;
    trace.reports = sink.records();
    trace.passwordCalls = password.calls;
    seams = {};
    return trace;
  }

  const std::string large_ = LargeContent();
};

TEST_F(ParallelExtractionTest, WorkersChangeNothingAUserSees) {
  for (bool damagedLast : {true, false}) {
    SCOPED_TRACE(damagedLast ? "damaged entry last" : "damaged entry early");
    WriteMixedArchive(damagedLast);
    for (bool test : {false, true}) {
      SCOPED_TRACE(test ? "test" : "extract");
      const std::string prefix = std::string(damagedLast ? "late" : "early") + (test ? "t" : "x");
      const RunTrace single = Run(1, prefix + "1", test);
      const RunTrace parallel = Run(4, prefix + "4", test);
      EXPECT_EQ(single, parallel);
      EXPECT_EQ(single.kind, OutcomeKind::Failed);
      EXPECT_NE(single.log.find("39:"), std::string::npos) << single.log;
      EXPECT_EQ(single.passwordCalls, 1) << single.log << ::testing::PrintToString(single.tree);
      if (!test) {
        // Everything before the damaged entry is there, the large entry included when it
        // comes first; nothing of the damaged entry or after it.
        const auto& tree = single.tree;
        EXPECT_EQ(std::count(tree.begin(), tree.end(), "big/large.txt"), damagedLast ? 1 : 0);
        EXPECT_EQ(std::count(tree.begin(), tree.end(), "d9/damaged.txt"), 0);
        EXPECT_EQ(std::count(tree.begin(), tree.end(), "after.txt"), 0);
      }
    }
  }
}

TEST_F(ParallelExtractionTest, LargeEntryIsWrittenWholeOrNotAtAll) {
  StoredEntry damaged = Stored("broken.txt", large_);
  damaged.block[damaged.block.size() - 100] ^= 0x01;
  StoredEntry longer = Stored("longer.txt", large_);
  longer.entry.originalSize -= 1;  // the content passes the bound: refused while decoding
  for (const auto& [entry, code] : {std::pair(damaged, 39), std::pair(longer, 39)}) {
    WriteArchive({Stored("first.txt", "1"), Stored("whole.txt", large_), entry});
    EXPECT_FALSE(Extract());
    EXPECT_THAT(Codes(), ElementsAre(code));
    EXPECT_THAT(TreeOf(target.path()), ElementsAre("first.txt", "whole.txt"));  // no temporary file
    EXPECT_EQ(ReadFile(target / "whole.txt"), large_);
    std::filesystem::remove_all(target / "first.txt");
    std::filesystem::remove_all(target / "whole.txt");
  }
}

TEST_F(ParallelExtractionTest, InterruptIsHonouredInsideALargeEntry) {
  WriteArchive({Stored("first.txt", "1"), Stored("large.txt", large_), Stored("last.txt", "3")});
  RecordingSink whole;
  seams.progress = &whole;
  ASSERT_TRUE(Extract()) << context.errorLog;
  std::filesystem::remove_all(target / "first.txt");
  std::filesystem::remove_all(target / "large.txt");
  std::filesystem::remove_all(target / "last.txt");

  RecordingSink sink;
  sink.InterruptAtEvents(1);  // asked between the pieces of the large entry
  seams.progress = &sink;
  EXPECT_FALSE(Extract());
  EXPECT_EQ(outcome.kind, OutcomeKind::Interrupted);
  EXPECT_THAT(Codes(), ElementsAre(107));
  EXPECT_THAT(TreeOf(target.path()), ElementsAre("first.txt"));
  // No report was added: the reports are those of the whole run up to the large entry.
  const std::vector<RecordingSink::Record>& reports = sink.records();
  ASSERT_LE(reports.size(), whole.records().size());
  EXPECT_TRUE(std::equal(reports.begin(), reports.end(), whole.records().begin()));
  EXPECT_NE(reports.back().text.find("large.txt"), std::string::npos);
}

}  // namespace
}  // namespace tovask::testing
