#include "platform/file_type_registration.h"

#include <errno.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/scoped_env.h"
#include "support/temp_dir.h"

namespace tovask::platform {
namespace {

using tovask::testing::ReadFile;
using tovask::testing::TempDir;
using tovask::testing::WriteFile;

constexpr std::string_view kEntry = "[Desktop Entry]\nName=Tovask\nExec=tovask %f\n";

FileTypeRegistration Registration(std::string programPath = "/opt/my apps/tovask") {
  return {"application/x-tovask", ".tvk", "tovask",  std::move(programPath),
          "<mime-info/>\n",       kEntry, "<svg/>\n"};
}

class FileTypeRegistrationTest : public ::testing::Test {
 protected:
  // Stands in for the cache tools: records the call and writes the cache it would write.
  RegistrationReport Register(const FileTypeRegistration& registration = Registration()) {
    return RegisterFileType(registration, [this](const std::vector<std::string>& argv) {
      runs_.push_back(argv);
      WriteFile(
          argv.at(1) + (argv[0] == "update-mime-database" ? "/mime.cache" : "/mimeinfo.cache"),
          "cache");
    });
  }

  std::string Data(const std::string& relative) const { return temp_ / ("data/" + relative); }
  std::string Config(const std::string& relative) const { return temp_ / ("config/" + relative); }

  // Stamps (content, times, identity) of every file below the temporary folder.
  std::map<std::string, std::optional<FileStamp>> Stamps() const {
    std::map<std::string, std::optional<FileStamp>> stamps;
    for (const std::string& path :
         {Data("mime/packages/tovask.xml"), Data("applications/tovask.desktop"),
          Data("icons/hicolor/scalable/apps/tovask.svg"), Data("mime/mime.cache"),
          Data("applications/mimeinfo.cache"), Config("mimeapps.list")}) {
      stamps[path] = StampFile(path);
    }
    return stamps;
  }

  TempDir temp_;
  ScopedEnv data_{"XDG_DATA_HOME", temp_ / "data"};
  ScopedEnv config_{"XDG_CONFIG_HOME", temp_ / "config"};
  std::vector<std::vector<std::string>> runs_;
};

TEST_F(FileTypeRegistrationTest, WritesTheFilesAndBecomesTheDefault) {
  WriteFile(Config("mimeapps.list"),
            "# mine\n[Added Associations]\ntext/plain=a.desktop;\n\n"
            "[Default Applications]\napplication/x-tovask=old.desktop\ntext/plain=b.desktop\n");
  const RegistrationReport report = Register();
  EXPECT_EQ(report.written.size(), 4u);
  EXPECT_TRUE(report.failed.empty());
  EXPECT_EQ(ReadFile(Data("mime/packages/tovask.xml")), "<mime-info/>\n");
  EXPECT_EQ(ReadFile(Data("applications/tovask.desktop")),
            "[Desktop Entry]\nName=Tovask\nExec=\"/opt/my apps/tovask\" %f\n");
  EXPECT_EQ(ReadFile(Data("icons/hicolor/scalable/apps/tovask.svg")), "<svg/>\n");
  EXPECT_EQ(ReadFile(Config("mimeapps.list")),
            "# mine\n[Added Associations]\ntext/plain=a.desktop;\n\n"
            "[Default Applications]\napplication/x-tovask=tovask.desktop\ntext/plain=b.desktop\n");
  const std::vector<std::vector<std::string>> expected = {
      {"update-mime-database", Data("mime")}, {"update-desktop-database", Data("applications")}};
  EXPECT_EQ(runs_, expected);
}

TEST_F(FileTypeRegistrationTest, SecondStartChangesNothing) {
  Register();
  const auto before = Stamps();
  runs_.clear();
  const RegistrationReport report = Register();
  EXPECT_TRUE(report.written.empty());
  EXPECT_TRUE(report.failed.empty());
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(Stamps(), before);

  // Moved program: only its entry changes.
  EXPECT_EQ(Register(Registration("/usr/bin/tovask")).written,
            std::vector<std::string>{Data("applications/tovask.desktop")});
}

TEST_F(FileTypeRegistrationTest, StaleOrMissingCacheIsRebuilt) {
  Register();
  runs_.clear();
  ASSERT_TRUE(SetModifiedTime(Data("applications/mimeinfo.cache"), 1000));
  ASSERT_TRUE(RemoveFile(Data("mime/mime.cache")));
  Register();
  const std::vector<std::vector<std::string>> expected = {
      {"update-mime-database", Data("mime")}, {"update-desktop-database", Data("applications")}};
  EXPECT_EQ(runs_, expected);
}

TEST_F(FileTypeRegistrationTest, FailedLocationsAreSkippedAndTheRestDone) {
  const struct {
    std::string_view name;
    std::string blocker;      // a regular file where a folder should be ("" none)
    std::string renameFault;  // renaming onto this file fails ("" none)
    std::string failed;       // the one file not brought up to date
  } cases[] = {
      {"applications is a file", "data/applications", "", "data/applications/tovask.desktop"},
      {"package not renamed into place", "", "data/mime/packages/tovask.xml",
       "data/mime/packages/tovask.xml"},
      {"config home is a file", "config", "", "config/mimeapps.list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    ScopedEnv data("XDG_DATA_HOME", temp / "data");
    ScopedEnv config("XDG_CONFIG_HOME", temp / "config");
    if (!c.blocker.empty()) WriteFile(temp / c.blocker, "not a folder");
    ScopedFaultHook hook([&](FileOp op, const std::string& path) {
      return op == FileOp::Rename && !c.renameFault.empty() && path == temp / c.renameFault ? EIO
                                                                                            : 0;
    });
    runs_.clear();
    const RegistrationReport report = Register();
    EXPECT_EQ(report.failed, std::vector<std::string>{temp / c.failed});
    EXPECT_EQ(report.written.size(), 3u);
    // No cache is built from a file that is not there.
    for (const auto& run : runs_) EXPECT_FALSE((temp / c.failed).starts_with(run[1])) << run[0];
  }
}

TEST_F(FileTypeRegistrationTest, UnreadableMimeappsListIsLeftAlone) {
  WriteFile(Config("mimeapps.list"), "[Default Applications]\ntext/plain=b.desktop\n");
  ScopedFaultHook hook([&](FileOp op, const std::string& path) {
    return op == FileOp::OpenRead && path == Config("mimeapps.list") ? EACCES : 0;
  });
  const RegistrationReport report = Register();
  EXPECT_EQ(report.failed, std::vector<std::string>{Config("mimeapps.list")});
  EXPECT_EQ(ReadFile(Config("mimeapps.list")), "[Default Applications]\ntext/plain=b.desktop\n");
}

TEST_F(FileTypeRegistrationTest, EmptyOrRelativeXdgHomesMeanTheDefaults) {
  for (const char* value : {"", "relative/dir"}) {
    SCOPED_TRACE(value);
    TempDir home;
    ScopedEnv homeEnv("HOME", home.path());
    ScopedEnv data("XDG_DATA_HOME", value);
    ScopedEnv config("XDG_CONFIG_HOME", value);
    Register();
    EXPECT_TRUE(FileExists(home / ".local/share/applications/tovask.desktop"));
    EXPECT_TRUE(FileExists(home / ".config/mimeapps.list"));
  }
}

}  // namespace
}  // namespace tovask::platform
