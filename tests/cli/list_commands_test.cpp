// tvk list, list --json and info: exact output on a known archive, and failures told by code.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/display_text.h"
#include "platform/text.h"
#include "support/archive_builder.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace tovask {
namespace {

using testing::RunProcess;
using testing::RunTvk;
using testing::TempDir;
using testing::WriteFile;

testing::ProcessOptions UtcOptions() {
  testing::ProcessOptions options;
  options.env = {{"TZ", "UTC"}};
  return options;
}

// The text nlohmann::json writes for the object that text holds: tvk list --json writes the
// same bytes as the library would.
std::string CanonicalJson(const std::string& text) {
  return nlohmann::ordered_json::parse(text).dump(
             -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
         "\n";
}

class ListCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "src/a.txt", "abc");
    WriteFile(dir / "src/empty.dat", "");
    ASSERT_EQ(RunProcess("/usr/bin/touch", {"-d", "2004-03-05 07:08:09", dir / "src/a.txt",
                                            dir / "src/empty.dat"}, utc).exitCode, 0);
    ASSERT_EQ(RunTvk({"create", archive, dir / "src"}, utc).exitCode, 0);
  }

  TempDir dir;
  std::string archive = dir / "x.tvk";
  testing::ProcessOptions utc = UtcOptions();
};

TEST_F(ListCommandsTest, ListPrintsTitlesThenOneTabSeparatedLinePerEntry) {
  const auto result = RunTvk({"list", archive}, utc);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "相对路径及文件名\t原文件大小\t压缩后大小\t修改时间\t加密\t属性\tMD5效验码\n"
            "src\\a.txt\t3\t3\t2004-03-05 07:08:09\t\tA\t900150983CD24FB0D6963F7D28E17F72\n"
            "src\\empty.dat\t0\t0\t2004-03-05 07:08:09\t\tA\tD41D8CD98F00B204E9800998ECF8427E\n");
}

TEST_F(ListCommandsTest, JsonHasTheContractFields) {
  const auto result = RunTvk({"list", archive, "--json"}, utc);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto json = nlohmann::json::parse(result.out);
  EXPECT_EQ(json["archive"], archive);
  EXPECT_EQ(json["version"], "RID1.05");
  EXPECT_EQ(json["count"], 2);
  EXPECT_EQ(json["totalSize"], 3);
  EXPECT_EQ(json["totalStored"], 3);
  EXPECT_EQ(json["archiveSize"], testing::ReadFile(archive).size());
  ASSERT_EQ(json["entries"].size(), 2u);
  const auto& first = json["entries"][0];
  EXPECT_EQ(first["path"], "src\\a.txt");
  EXPECT_EQ(first["size"], 3);
  EXPECT_EQ(first["stored"], 3);
  EXPECT_EQ(first["time"], "2004-03-05 07:08:09");
  EXPECT_EQ(first["encrypted"], false);
  EXPECT_EQ(first["compressed"], false);
  EXPECT_EQ(first["attributes"], "A");
  EXPECT_EQ(first["md5"], "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(result.out, CanonicalJson(result.out));
}

TEST_F(ListCommandsTest, FailedWriteToStandardOutputFailsTheCommand) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const std::string command : {"list", "list --json", "info"}) {
    const auto result = RunProcess(
        "/bin/sh",
        {"-c", "exec \"$0\" " + command + " \"$1\" >/dev/full", testing::TvkPath(), archive});
    EXPECT_EQ(result.exitCode, 1) << command;
    EXPECT_NE(result.err.find("standard output"), std::string::npos) << result.err;
  }
}

TEST_F(ListCommandsTest, InfoPrintsTheSevenLinesWithZeroRatioForEmptyData) {
  const auto result = RunTvk({"info", archive});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string size = std::to_string(testing::ReadFile(archive).size());
  const int ratio = static_cast<int>(testing::ReadFile(archive).size() * 100 / 3);
  const auto field = [](const std::string& value) {
    return std::string(30 - value.size(), ' ') + value;
  };
  EXPECT_EQ(result.out, "    文件名：" + field("x.tvk") + "\n  压缩版本：" + field("RID1.05") +
                            "\n  文件总数：" + field("2") + "\n文件总大小：" + field("3") +
                            "\n压缩总大小：" + field("3") + "\n压缩包大小：" + field(size) +
                            "\n    压缩率：" + field(std::to_string(ratio) + "%") + "\n");
}

struct DamagedCase {
  const char* name;
  std::string bytes;
  const char* code;
};

TEST(ListCommandsDamaged, DamagedFilesFailWithTheirMessage) {
  const DamagedCase cases[] = {
      {"plain text", "no terminator here", "53:"},
      {"other magic", std::string("XYZ 1.05\0\1\0\0\0", 13), "51:"},
      {"other version", std::string("RID 1.04\0\1\0\0\0", 13), "52:"},
      {"zero entries", std::string("RID 1.05\0\0\0\0\0", 13), "53:"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteFile(dir / "bad.tvk", c.bytes);
    for (const char* command : {"list", "info"}) {
      const auto result = RunTvk({command, dir / "bad.tvk"});
      EXPECT_EQ(result.exitCode, 1) << c.name;
      EXPECT_EQ(result.out, "") << c.name;
      EXPECT_EQ(result.err.rfind(c.code, 0), 0u) << c.name << ": " << result.err;
    }
  }
}

// Whether text holds anything a terminal acts on besides the tabs and line ends tvk writes
// itself: a C0 control, DEL, a C1 control, or bytes that are not UTF-8 (a lone 0x9B is a CSI).
bool HasTerminalControls(const std::string& text) {
  if (!platform::IsValidUtf8(text)) return true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) return true;
    if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) return true;
  }
  return false;
}

TEST(ListCommandsHostileNames, NamesAreShownEscapedOneRowPerEntry) {
  TempDir dir;
  const std::string archive = dir / "x\x1b[31m.tvk";
  const std::vector<std::string> names = {
      "harmless.txt\t3\t3\t2004-03-05 07:08:09\t\tA\t900150983CD24FB0D6963F7D28E17F72\r\n"
      "FORGED-ENTRY.exe",
      "\x1b]0;owned\x07\x1b[2Jtitle.txt",
      "\xc2\x9b"
      "31m中文\x7f.txt",
      "bad\xff.txt",
  };
  AppContext context;
  testing::ArchiveBuilder builder(context.dataOps);
  for (const std::string& name : names) {
    builder.Entry(testing::MakeStoredEntry(context.dataOps, name, "abc"));
  }
  builder.WriteTo(archive);

  const auto list = RunTvk({"list", archive});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_FALSE(HasTerminalControls(list.out)) << list.out;
  std::vector<std::string> rows;
  for (std::size_t start = 0, end; (end = list.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    rows.push_back(list.out.substr(start, end - start));
  }
  ASSERT_EQ(rows.size(), 1 + names.size()) << list.out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& row = rows[i + 1];
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 6) << row;
    EXPECT_EQ(row.substr(0, row.find('\t')), EscapeControlCharacters(names[i]));
  }
  EXPECT_EQ(rows[1].substr(0, 18), "harmless.txt\\t3\\t3");

  // JSON carries the raw names (its own escaping keeps them on one line).
  const auto json = RunTvk({"list", archive, "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.find('\x1b'), std::string::npos);
  const auto parsed = nlohmann::json::parse(json.out);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(parsed["entries"][i]["path"], names[i]);
  EXPECT_EQ(parsed["entries"][3]["path"], "bad\ufffd.txt");
  EXPECT_EQ(json.out, CanonicalJson(json.out));

  const auto info = RunTvk({"info", archive});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_FALSE(HasTerminalControls(info.out)) << info.out;
  EXPECT_NE(info.out.find("x\\x1b[31m.tvk\n"), std::string::npos) << info.out;

  // Messages naming entries: extraction refuses every one of these names, one line each.
  const auto extract = RunTvk({"extract", archive, "-o", dir / "out"});
  EXPECT_EQ(extract.exitCode, 1);
  EXPECT_FALSE(HasTerminalControls(extract.err)) << extract.err;
  EXPECT_EQ(std::count(extract.err.begin(), extract.err.end(), '\n'), 4) << extract.err;
  EXPECT_NE(extract.err.find(EscapeControlCharacters(names[1])), std::string::npos);

  // Arguments echoed back: a name given on the command line, in a message and a usage error.
  const auto rename = RunTvk({"rename", archive, "no\x1b[2Jsuch", "new.txt"});
  EXPECT_EQ(rename.exitCode, 1);
  EXPECT_FALSE(HasTerminalControls(rename.err)) << rename.err;
  EXPECT_NE(rename.err.find("no\\x1b[2Jsuch"), std::string::npos) << rename.err;
  const auto usage = RunTvk({"list", archive, "extra\x1b[2J"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_FALSE(HasTerminalControls(usage.err)) << usage.err;
  EXPECT_NE(usage.err.find("extra\\x1b[2J"), std::string::npos) << usage.err;
}

TEST(ListCommandsUsage, MissingArgumentIsAUsageError) {
  EXPECT_EQ(RunTvk({"list"}).exitCode, 2);
  EXPECT_EQ(RunTvk({}).exitCode, 2);
  EXPECT_EQ(RunTvk({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(RunTvk({"--help"}).exitCode, 0);
}

}  // namespace
}  // namespace tovask
