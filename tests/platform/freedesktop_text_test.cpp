#include "platform/posix/freedesktop_text.h"

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tovask::platform::freedesktop {
namespace {

TEST(FreedesktopTextTest, ExecProgramWordQuotesAndEscapes) {
  // Expected texts as they stand in the file: quoting first, then the string escapes.
  const struct {
    std::string_view path;
    std::optional<std::string_view> word;
  } cases[] = {
      {"/usr/bin/tovask", "/usr/bin/tovask"},
      {"/opt/中文/tovask", "/opt/中文/tovask"},
      {"/opt/my apps/tovask", R"("/opt/my apps/tovask")"},
      {"/o/it's", R"("/o/it's")"},
      {"/o/a;b", R"("/o/a;b")"},
      {"/o/a\"b", R"("/o/a\\"b")"},
      {"/o/$HOME", R"("/o/\\$HOME")"},
      {"/o/`x`", R"("/o/\\`x\\`")"},
      {"/o/a\\b", R"("/o/a\\\\b")"},
      {"/o/100%", "/o/100%%"},
      {"/o/50% off", R"("/o/50%% off")"},
      {"/o/a\nb\tc", R"("/o/a\nb\tc")"},
      {"/o/a\rb", R"("/o/a\rb")"},
      {"/o/\x01", std::nullopt},
      {"/o/\x7f", std::nullopt},
      {"/o/\xff\xfe", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExecProgramWord(c.path), c.word);
  }
}

TEST(FreedesktopTextTest, WithExecProgramReplacesOnlyTheEntryGroupsProgram) {
  const std::string entry =
      "[Desktop Entry]\nName=Tovask\nExec=tovask %f\r\nIcon=tovask\n"
      "[Desktop Action New]\nExec=tovask --new\n";
  EXPECT_EQ(WithExecProgram(entry, "/opt/my apps/tovask"),
            "[Desktop Entry]\nName=Tovask\nExec=\"/opt/my apps/tovask\" %f\r\nIcon=tovask\n"
            "[Desktop Action New]\nExec=tovask --new\n");
  EXPECT_EQ(WithExecProgram("[Desktop Entry]\nExec=tovask", "/b/tovask"),
            "[Desktop Entry]\nExec=/b/tovask");
  // A path no entry can hold leaves the entry as it was: the program is found on PATH.
  EXPECT_EQ(WithExecProgram(entry, "/o/\x01/tovask"), entry);
}

TEST(FreedesktopTextTest, WithDefaultApplicationKeepsEveryOtherLine) {
  const struct {
    std::string_view name;
    std::string_view before;
    std::string_view after;
  } cases[] = {
      {"no file", "", "[Default Applications]\napplication/x-tovask=tovask.desktop\n"},
      {"other group only", "[Added Associations]\ntext/plain=a.desktop;\n",
       "[Added Associations]\ntext/plain=a.desktop;\n\n"
       "[Default Applications]\napplication/x-tovask=tovask.desktop\n"},
      {"no line end at the end", "# mine",
       "# mine\n\n[Default Applications]\napplication/x-tovask=tovask.desktop\n"},
      {"header alone", "[Default Applications]",
       "[Default Applications]\napplication/x-tovask=tovask.desktop\n"},
      {"added after the group's last line",
       "[Default Applications]\ntext/plain=b.desktop\n\n[Added Associations]\nx/y=z;\n",
       "[Default Applications]\ntext/plain=b.desktop\napplication/x-tovask=tovask.desktop\n\n"
       "[Added Associations]\nx/y=z;\n"},
      {"other default replaced, CR LF kept",
       "[Default Applications]\r\napplication/x-tovask=other.desktop\r\n# note\r\n",
       "[Default Applications]\r\napplication/x-tovask=tovask.desktop\r\n# note\r\n"},
      {"ours first already", "[Default Applications]\napplication/x-tovask = tovask.desktop;b;\n",
       "[Default Applications]\napplication/x-tovask = tovask.desktop;b;\n"},
      {"duplicates and case",
       "[Default Applications]\nApplication/X-Tovask=a.desktop\napplication/x-tovask=b.desktop\n",
       "[Default Applications]\napplication/x-tovask=tovask.desktop\n"},
      {"comment and other group untouched",
       "[Added Associations]\napplication/x-tovask=a.desktop;\n"
       "[Default Applications]\n#application/x-tovask=x.desktop\n",
       "[Added Associations]\napplication/x-tovask=a.desktop;\n"
       "[Default Applications]\n#application/x-tovask=x.desktop\n"
       "application/x-tovask=tovask.desktop\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string once =
        WithDefaultApplication(c.before, "application/x-tovask", "tovask.desktop");
    EXPECT_EQ(once, c.after);
    EXPECT_EQ(WithDefaultApplication(once, "application/x-tovask", "tovask.desktop"), once);
  }
}

}  // namespace
}  // namespace tovask::platform::freedesktop
