// A tree compressed by CompressAndAdd comes back byte for byte, with its times and read-only
// state; with and without a password.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "extract/extract_fixture.h"
#include "operations/compress_add.h"

namespace tovask::testing {
namespace {

using ::testing::ElementsAreArray;

struct SourceFile {
  std::string relative;
  std::string content;
  std::int64_t mtime;
  bool readOnly;
};

std::string BinaryContent(std::size_t size) {
  std::mt19937 engine(12345);
  std::string content(size, '\0');
  for (char& c : content) c = static_cast<char>(engine() & 0xFF);
  return content;
}

std::vector<SourceFile> SourceTree() {
  std::string compressible;
  for (int i = 0; i < 4000; ++i) compressible += "line " + std::to_string(i % 17) + "\n";
  return {
      {"tree/top.txt", "top", 1100000000, false},
      {"tree/empty.txt", "", 1100000001, false},
      {"tree/.dotfile", "hidden", 1100000002, false},
      {"tree/a/b/c/deep.bin", BinaryContent(70000), 1100000003, false},
      {"tree/a/compressible.txt", compressible, 1100000004, false},
      {"tree/中文/文件.txt", "汉字内容", 1100000005, false},
      {"tree/a/readonly.txt", "do not touch", 1100000006, true},
      {"tree/empty-ro", "", 1100000007, true},
  };
}

class RoundTripTest : public ExtractFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(RoundTripTest, TreeComesBackIdentical) {
  ScopedTimeZone zone("CST-8");
  const std::string password = GetParam();
  TempDir source;
  const std::vector<SourceFile> files = SourceTree();
  for (const SourceFile& file : files) {
    const std::string path = source / file.relative;
    WriteFile(path, file.content);
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(file.mtime), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    if (file.readOnly) {
      ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    }
  }
  ASSERT_TRUE(CompressAndAdd(context, {{source / "tree"}, ArchivePath(), password}).done())
      << context.errorLog;

  ScriptedPassword prompt(password);
  seams.password = &prompt;
  ASSERT_TRUE(Extract()) << context.errorLog;
  EXPECT_EQ(prompt.calls, password.empty() ? 0 : 1);

  EXPECT_THAT(TreeOf(target / "tree"), ElementsAreArray(TreeOf(source / "tree")));
  for (const SourceFile& file : files) {
    SCOPED_TRACE(file.relative);
    const std::string path = target / file.relative;
    EXPECT_EQ(ReadFile(path), file.content);
    EXPECT_EQ(ModifiedUnix(path), file.mtime);
    EXPECT_EQ(OwnerWritable(path), !file.readOnly);
  }
}

INSTANTIATE_TEST_SUITE_P(All, RoundTripTest, ::testing::Values("", "pw"), [](const auto& info) {
  return std::string(info.param).empty() ? "plain" : "encrypted";
});

}  // namespace
}  // namespace tovask::testing
