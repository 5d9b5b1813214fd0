// TestEntries: every entry decoded and verified, every failing one reported, nothing written.
#include <gtest/gtest.h>

#include "extract/extract_fixture.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;

class TestEntriesTest : public ExtractFixture {
 protected:
  bool Test(const std::string& password = "") {
    return TestEntries(context, {ArchivePath(), password}, seams).done();
  }
};

TEST_F(TestEntriesTest, SoundArchivePasses) {
  WriteArchive({Stored("a.txt", "alpha"), Stored("b\\c.txt", std::string(5000, 'c')),
                Stored("q?.txt", "verified too"), Stored("e", "")});
  ReportLog sink;
  seams.progress = &sink;
  EXPECT_TRUE(Test()) << context.errorLog;
  EXPECT_EQ(sink.reports.back(), std::pair(100, TitleText(context, TitleCode::DecompressionDone)));
  EXPECT_EQ(sink.reports[sink.reports.size() - 2].first, 100);
  EXPECT_THAT(WorkFolderNames(), ElementsAre("test.tvk"));
}

TEST_F(TestEntriesTest, ReportsEveryFailingEntry) {
  StoredEntry damaged = Stored("damaged.txt", "some content");
  damaged.block[0] ^= 0x20;
  StoredEntry longer = Stored("length.txt", "abc");
  longer.entry.originalSize = 4;
  StoredEntry questioned = Stored("q?.txt", "x");
  questioned.block[0] ^= 0x01;
  ArchiveBuilder builder(context.dataOps);
  builder.Entry(damaged).Entry(Stored("good.txt", "good")).Entry(longer).Entry(questioned);
  ArchiveEntry outside = Stored("outside.txt", "o").entry;
  outside.storedSize = 10;
  outside.dataOffset = 1 << 20;
  builder.Record(outside);
  builder.WriteTo(ArchivePath());
  EXPECT_FALSE(Test());
  EXPECT_THAT(Codes(), ElementsAre(39, 40, 39, 37));
  EXPECT_THAT(WorkFolderNames(), ElementsAre("test.tvk"));
}

TEST_F(TestEntriesTest, WrongPasswordFailsEveryEncryptedEntryAndAsksOnce) {
  WriteArchive({Stored("a", "alpha", "pw"), Stored("b", "plain"), Stored("c", "gamma", "pw")});
  ScriptedPassword password(std::string("nope"));
  seams.password = &password;
  EXPECT_FALSE(Test());
  EXPECT_THAT(Codes(), ElementsAre(38, 38));
  EXPECT_EQ(password.calls, 1);
}

TEST_F(TestEntriesTest, RightPasswordPasses) {
  WriteArchive({Stored("a", "alpha", "pw"), Stored("c", "gamma", "pw")});
  EXPECT_TRUE(Test("pw")) << context.errorLog;
}

TEST_F(TestEntriesTest, CancelledPasswordStops) {
  WriteArchive({Stored("a", "alpha", "pw"), Stored("b", "plain")});
  ScriptedPassword password(std::nullopt);
  seams.password = &password;
  EXPECT_FALSE(Test());
  EXPECT_THAT(Codes(), ElementsAre(36));
}

TEST_F(TestEntriesTest, UnreadableArchive) {
  EXPECT_FALSE(Test());  // no file at all
  EXPECT_THAT(Codes(), ElementsAre(2));
  EXPECT_FALSE(TestEntries(context, {"relative.tvk"}, seams).done());
  EXPECT_THAT(Codes(), ElementsAre(100));
}

}  // namespace
}  // namespace tovask::testing
