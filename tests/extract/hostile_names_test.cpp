// Entry names and links that try to lead a write out of the target folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/display_text.h"
#include "extract/extract_fixture.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAre;

// The target lies in its own outer folder beside a sentinel folder; after a run the outer
// folder must hold nothing but the target and the (still empty) sentinel.
class HostileFixture : public ExtractFixture {
 protected:
  HostileFixture() {
    std::filesystem::create_directory(inner);
    std::filesystem::create_directory(sentinel);
  }
  ExtractRequest InnerRequest() const {
    ExtractRequest request = Request();
    request.targetFolder = inner;
    return request;
  }
  std::vector<std::string> OutsideTarget() const {
    std::vector<std::string> names;
    for (const std::string& name : TreeOf(outer.path())) {
      if (name.rfind("target/", 0) != 0 || name == "target/") names.push_back(name);
    }
    return names;
  }

  TempDir outer;
  const std::string inner = outer / "target";
  const std::string sentinel = outer / "sentinel";
};

class HostileNameTest : public HostileFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileNameTest, IsRefusedWith106AndTheRunGoesOn) {
  const std::string& name = GetParam();
  WriteArchive({Stored(name, "evil"), Stored("good.txt", "good")});
  EXPECT_FALSE(Extract(InnerRequest()));
  EXPECT_THAT(Codes(), ElementsAre(106));
  EXPECT_NE(context.errorLog.find(EscapeControlCharacters(name)), std::string::npos);
  EXPECT_THAT(TreeOf(inner), ElementsAre("good.txt"));
  EXPECT_THAT(OutsideTarget(), ElementsAre("sentinel/", "target/"));
  // Nothing was written beside the outer folder either (the archive folder is elsewhere).
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(outer.path()).parent_path() / "x"));
}

INSTANTIATE_TEST_SUITE_P(All, HostileNameTest,
                         ::testing::Values("..\\x", "a\\..\\..\\x", "\\abs", "/abs", "C:x",
                                           "..\\sentinel\\x", "a\\\\b", "a\\.\\b", "a\\",
                                           "tab\there", "..", "."));

TEST_F(HostileFixture, LinkedFolderInsideTheTargetIsNotFollowed) {
  ASSERT_EQ(::symlink(sentinel.c_str(), (inner + "/link").c_str()), 0);
  WriteArchive({Stored("link\\x.txt", "evil"), Stored("link\\deeper\\y.txt", "evil"),
                Stored("good.txt", "good")});
  ScriptedQuestion question({}, {AnswerYesToAll, ""});
  seams.overwrite = &question;
  EXPECT_FALSE(Extract(InnerRequest()));
  EXPECT_THAT(Codes(), ElementsAre(106, 106));
  EXPECT_TRUE(TreeOf(sentinel).empty());
  EXPECT_THAT(TreeOf(inner), ElementsAre("good.txt", "link@"));
}

TEST_F(HostileFixture, ExistingLinkAsTheFileIsReplacedNotWrittenThrough) {
  WriteFile(sentinel + "/victim.txt", "precious");
  ASSERT_EQ(::symlink((sentinel + "/victim.txt").c_str(), (inner + "/evil.txt").c_str()), 0);
  // A dangling link counts as existing too.
  ASSERT_EQ(::symlink((sentinel + "/nothing").c_str(), (inner + "/dangling.txt").c_str()), 0);
  WriteArchive({Stored("evil.txt", "replaced"), Stored("dangling.txt", "also")});
  ScriptedQuestion question({}, {AnswerYes, ""});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract(InnerRequest())) << context.errorLog;
  EXPECT_EQ(question.asked.size(), 2u);
  EXPECT_EQ(ReadFile(sentinel + "/victim.txt"), "precious");
  EXPECT_THAT(TreeOf(sentinel), ElementsAre("victim.txt"));
  EXPECT_THAT(TreeOf(inner), ElementsAre("dangling.txt", "evil.txt"));  // now regular files
  EXPECT_EQ(ReadFile(inner + "/evil.txt"), "replaced");
}

TEST_F(HostileFixture, NumberingPassesOverANameThroughALink) {
  // "docs.old\readme" exists; its numbered name "docs(1).old\readme" would go through a link,
  // so it counts as taken and the next number is used.
  WriteFile(inner + "/docs.old/readme", "old");
  ASSERT_EQ(::symlink(sentinel.c_str(), (inner + "/docs(1).old").c_str()), 0);
  WriteArchive({Stored("docs.old\\readme", "new")});
  ScriptedQuestion question({{AnswerRenameAll, ""}});
  seams.overwrite = &question;
  ASSERT_TRUE(Extract(InnerRequest())) << context.errorLog;
  EXPECT_TRUE(TreeOf(sentinel).empty());
  EXPECT_EQ(ReadFile(inner + "/docs.old/readme"), "old");
  EXPECT_EQ(ReadFile(inner + "/docs(1)(2).old/readme"), "new");
}

TEST_F(HostileFixture, FolderSwappedForALinkWhileAskingIsNotFollowed) {
  // The name was checked before the question; while the question is open the folder on the
  // way is replaced by a link out of the target. The write must notice, not follow it.
  WriteFile(inner + "/d/x.txt", "old");
  WriteArchive({Stored("d\\x.txt", "evil")});
  class SwappingQuestion : public OverwriteQuestion {
   public:
    SwappingQuestion(std::string folder, std::string outside)
        : folder_(std::move(folder)), outside_(std::move(outside)) {}
    void Ask(OverwritePrompt& prompt) override {
      std::filesystem::rename(folder_, folder_ + ".moved");
      std::filesystem::create_directory_symlink(outside_, folder_);
      prompt.answer = AnswerYes;
    }

   private:
    std::string folder_;
    std::string outside_;
  } question(inner + "/d", sentinel);
  seams.overwrite = &question;
  EXPECT_FALSE(Extract(InnerRequest()));
  EXPECT_THAT(Codes(), ElementsAre(106));
  EXPECT_TRUE(TreeOf(sentinel).empty());
  EXPECT_EQ(ReadFile(inner + "/d.moved/x.txt"), "old");
}

TEST_F(HostileFixture, TargetFolderGivenAsALinkIsFollowed) {
  // The user's own choice of target may be a link; only links below it are refused.
  const std::string linkToInner = outer / "chosen";
  ASSERT_EQ(::symlink(inner.c_str(), linkToInner.c_str()), 0);
  WriteArchive({Stored("a\\b.txt", "b")});
  ExtractRequest request = Request();
  request.targetFolder = linkToInner;
  ASSERT_TRUE(Extract(request)) << context.errorLog;
  EXPECT_EQ(ReadFile(inner + "/a/b.txt"), "b");
}

}  // namespace
}  // namespace tovask::testing
