// A change holds its archive from the load to the replacement: while it works, a reader and a
// second change are refused as busy (2, 112) rather than reading or building on the old
// contents, and the change that was reported done is the one in the archive.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/message_codes.h"
#include "operations/compress_add.h"
#include "operations/edits_fixture.h"
#include "operations/entry_edits.h"
#include "support/archive_fixture.h"
#include "support/recording_sink.h"

namespace tovask::testing {
namespace {

using Names = std::vector<std::string>;

class ArchiveHoldTest : public EditsTest {
 protected:
  // What another program sees of the archive right now: its entry names, or its error codes.
  std::string OtherReaderSees() {
    AppContext other;
    StartUp(other, dir_ / "prog");
    ArchiveIndex index;
    if (!LoadArchiveIndex(other, index, archive_)) return CodesText(other);
    std::string names;
    for (const auto& path : index.paths) names += path + ";";
    return names;
  }
  std::string OtherChangeGets() {
    AppContext other;
    StartUp(other, dir_ / "prog");
    if (RenameEntry(other, {archive_, "keep.txt", "renamed.txt"}).done()) return "done";
    return CodesText(other);
  }
  static std::string CodesText(const AppContext& context) {
    std::string text;
    for (int code : LoggedCodes(context)) text += std::to_string(code) + " ";
    return text;
  }
};

struct ChangeCase {
  const char* label;
  std::function<bool(AppContext&, const std::string& archive, const std::string& sources,
                     ProgressSink*)>
      run;
  Names after;
};

TEST_F(ArchiveHoldTest, OthersAreRefusedFromLoadToReplace) {
  const std::vector<ChangeCase> cases = {
      {"delete",
       [](AppContext& c, const std::string& a, const std::string&, ProgressSink* s) {
         return DeleteEntries(c, {a, {"gone.txt"}}, {s}).done();
       },
       {"keep.txt"}},
      {"add",
       [](AppContext& c, const std::string& a, const std::string& src, ProgressSink* s) {
         return CompressAndAdd(c, {{src + "/new.txt"}, a, "", false}, {s}).done();
       },
       {"keep.txt", "gone.txt", "new.txt"}},
      {"set password",
       [](AppContext& c, const std::string& a, const std::string&, ProgressSink* s) {
         return EncryptEntries(c, {a, "pw", {"keep.txt"}}, {s, nullptr}).done();
       },
       {"keep.txt", "gone.txt"}},
  };
  WriteFile(dir_ / "src/new.txt", "new");
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.label);
    MakeArchive({{"keep.txt", "keep", ""}, {"gone.txt", "gone", ""}});
    RecordingSink sink;
    std::vector<std::string> readerSaw, changeGot;
    // Every report from the first one of the load on: before the load nothing is held yet.
    bool loading = false;
    sink.onReport = [&](int, const RecordingSink::Record& record) {
      loading = loading || record.text.find("正在读取数据") != std::string::npos;
      if (!loading) return;
      readerSaw.push_back(OtherReaderSees());
      changeGot.push_back(OtherChangeGets());
    };
    ClearErrorLog(context_);
    ASSERT_TRUE(c.run(context_, archive_, dir_ / "src", &sink)) << context_.errorLog;
    ASSERT_FALSE(readerSaw.empty());
    for (const std::string& seen : readerSaw) EXPECT_EQ(seen, "2 112 ");
    for (const std::string& got : changeGot) EXPECT_EQ(got, "2 112 ");
    EXPECT_EQ(Paths(), c.after);
    EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
  }
}

// Adding to a path with no archive must not overwrite one that another program created there
// while the files were being compressed.
TEST_F(ArchiveHoldTest, NewArchiveNeverReplacesOneCreatedMeanwhile) {
  WriteFile(dir_ / "src/new.txt", "new");
  RecordingSink sink;
  sink.onReport = [&](int, const RecordingSink::Record& record) {
    if (record.text.find("正在写出数据") != std::string::npos && !platform::FileExists(archive_)) {
      WriteFile(archive_, "someone else's archive");
    }
  };
  EXPECT_FALSE(
      CompressAndAdd(context_, {{dir_ / "src/new.txt"}, archive_, "", false}, {&sink}).done());
  EXPECT_EQ(LoggedCodes(context_), (std::vector<int>{19, 112}));
  EXPECT_EQ(ReadFile(archive_), "someone else's archive");
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
}

// A writer killed mid-write leaves its temporary file; the next change removes it.
TEST_F(ArchiveHoldTest, NextChangeRemovesALeftoverTemporaryFile) {
  MakeArchive({{"keep.txt", "keep", ""}, {"gone.txt", "gone", ""}});
  std::string leftover;
  ASSERT_TRUE(platform::File::CreateTemporary(workFolder_, "a.tvk", &leftover).has_value());
  ASSERT_EQ(WorkFolderNames().size(), 2u);
  ASSERT_TRUE(DeleteEntries(context_, {archive_, {"gone.txt"}}).done()) << context_.errorLog;
  EXPECT_EQ(WorkFolderNames(), Names{"a.tvk"});
}

}  // namespace
}  // namespace tovask::testing
