#include "platform/paths.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tovask::platform {
namespace {

TEST(PathsTest, ParentFolderAndLastLevel) {
  const struct {
    std::string_view path;
    std::string_view parent;
    std::string_view last;
  } cases[] = {
      {"/a/b/c.tvk", "/a/b", "c.tvk"},
      {"/x", "/", "x"},
      {"/", "/", ""},
      {"//", "/", ""},
      {"", ".", ""},
      {"name", ".", "name"},
      {"./x", ".", "x"},  // a relative folder level "." stays a level
      {"a/b/x", "a/b", "x"},
      {"/a/b/", "/a", "b"},  // closing separators do not count as a level
      {"/a/b//", "/a", "b"},
      {"/a/.hidden", "/a", ".hidden"},
      {"/a/报告.doc", "/a", "报告.doc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path));
    EXPECT_EQ(ParentFolder(c.path), c.parent);
    EXPECT_EQ(LastLevel(c.path), c.last);
  }
}

TEST(PathsTest, FileNameIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileName("/a/b/c.tvk"), "c.tvk");
  EXPECT_EQ(FileName("c.tvk"), "c.tvk");
  EXPECT_EQ(FileName("/a/b/"), "");  // unlike LastLevel, which gives "b"
  EXPECT_EQ(FileName("/"), "");
  EXPECT_EQ(FileName(""), "");
}

TEST(PathsTest, JoinAndSibling) {
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  EXPECT_EQ(JoinPath("", "b"), "/b");
  EXPECT_EQ(JoinPath("/a", "/b"), "/a//b");  // never replaces the folder, unlike operator/
  EXPECT_EQ(JoinPath("/a", ".config/tovask"), "/a/.config/tovask");

  EXPECT_EQ(SiblingPath("/t/sub/a.txt", "b.txt"), "/t/sub/b.txt");
  EXPECT_EQ(SiblingPath("/a.txt", "b.txt"), "/b.txt");
  EXPECT_EQ(SiblingPath("a.txt", "b.txt"), "b.txt");
  EXPECT_EQ(SiblingPath("/t/", "b.txt"), "/t/b.txt");
}

}  // namespace
}  // namespace tovask::platform
