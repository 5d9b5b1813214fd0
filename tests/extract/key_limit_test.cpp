// The bound on key derivations per run: an archive whose encrypted entries ask for more
// distinct keys than a run may derive is refused before any is derived.
#include <gtest/gtest.h>

#include "extract/extract_fixture.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class KeyLimitTest : public ExtractFixture {
 protected:
  // An entry whose block is a copy of sealed's with its salt changed: it needs a key of its
  // own (and fails to decrypt under any).
  static StoredEntry OtherSalt(StoredEntry sealed, std::string name, std::uint8_t salt) {
    sealed.entry.path = std::move(name);
    sealed.block[1] ^= salt;
    return sealed;
  }
};

// One real encrypted entry and two with salts of their own: three keys.
TEST_F(KeyLimitTest, RefusedBeforeAnyEntryWhenTheChosenEntriesNeedTooManyKeys) {
  const StoredEntry real = Stored("real.txt", "secret", "pw");
  WriteArchive({Stored("plain.txt", "p"), real, OtherSalt(real, "x1", 1), OtherSalt(real, "x2", 2),
                OtherSalt(real, "x1-again", 1)});
  context.keyDerivationLimit = 2;
  for (const unsigned workers : {1U, 4U}) {
    context.workerThreads = workers;
    ExtractRequest request = Request();
    request.password = "pw";
    EXPECT_FALSE(Extract(request));
    EXPECT_THAT(Codes(), ElementsAre(115));
    EXPECT_THAT(TreeOf(target.path()), IsEmpty());
    EXPECT_FALSE(TestEntries(context, {ArchivePath(), "pw"}, seams).done());
    EXPECT_THAT(Codes(), ElementsAre(115));

    // A choice that needs fewer keys runs: only the chosen entries count.
    request.selection = std::vector<std::string>{"plain.txt", "real.txt", "x1"};
    EXPECT_FALSE(Extract(request));
    EXPECT_THAT(Codes(), ElementsAre(38));
    EXPECT_THAT(TreeOf(target.path()), ElementsAre("plain.txt", "real.txt"));
    std::filesystem::remove_all(target.path() + "/plain.txt");
    std::filesystem::remove_all(target.path() + "/real.txt");
  }
  context.keyDerivationLimit = 3;
  EXPECT_FALSE(TestEntries(context, {ArchivePath(), "pw"}, seams).done());
  EXPECT_THAT(Codes(), ElementsAre(38, 38, 38));
}

// A small hostile archive: a thousand entries whose blocks overlap in a 1 KiB data area, each
// starting at another byte and so under another salt. Refused at the default limit at once.
TEST_F(KeyLimitTest, ThousandSaltsInASmallArchiveAreRefusedAtOnce) {
  const StoredEntry real = Stored("real.txt", "secret", "pw");
  ArchiveBuilder builder(context.dataOps);
  Bytes area(1024);
  for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
  for (int i = 0; i < 1000; ++i) {
    ArchiveEntry entry = real.entry;
    entry.path = "e" + std::to_string(i);
    entry.dataOffset = i;
    entry.storedSize = 24;
    builder.Record(entry);
  }
  builder.DataArea(area).WriteTo(ArchivePath());
  EXPECT_FALSE(TestEntries(context, {ArchivePath(), "pw"}, seams).done());
  EXPECT_THAT(Codes(), ElementsAre(115));
  EXPECT_NE(context.errorLog.find("64"), std::string::npos) << context.errorLog;
}

}  // namespace
}  // namespace tovask::testing
