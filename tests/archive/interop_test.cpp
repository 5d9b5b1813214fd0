// Archives exchanged with the independent checker in the shared tools folder: what the writer
// produces must verify there, and what the checker builds must load here with the same
// columns and decode to the same content.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "archive/writer.h"
#include "support/archive_builder.h"
#include "support/archive_fixture.h"
#include "support/run_process.h"

namespace tovask {
namespace {

using testing::MakeStoredEntry;
using testing::RunProcess;
using testing::StoredEntry;

constexpr const char* kPython = "/usr/bin/python3";
const std::string kToolsDir = TOVASK_SHARED_TOOLS_DIR;
const std::string kChecker = kToolsDir + "/tvkcheck.py";

class InteropTest : public testing::ArchiveFixture {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kPython) || !std::filesystem::exists(kChecker)) {
      GTEST_SKIP() << "the checker needs " << kPython << " and " << kChecker;
    }
    const auto probe = RunProcess(kPython, {"-c", "import zstandard, cryptography"});
    if (probe.exitCode != 0) {
      GTEST_SKIP() << "the checker needs python3-zstandard and python3-cryptography";
    }
  }

  testing::ProcessResult Verify(const std::string& path, const std::string& password = "") {
    std::vector<std::string> args = {kChecker, "verify", path};
    if (!password.empty()) {
      args.push_back("--password");
      args.push_back(password);
    }
    return RunProcess(kPython, args);
  }

  void FillIndex(const std::vector<StoredEntry>& entries) {
    LoadArchiveIndex(context, index);
    for (const StoredEntry& stored : entries) {
      index.Append(stored.entry);
      index.storedBlocks.push_back(stored.block);
    }
    index.count = static_cast<std::int32_t>(entries.size());
  }
};

TEST_F(InteropTest, ArchivesWrittenHereVerifyWithTheChecker) {
  const std::string password = "geheim";
  const std::vector<StoredEntry> entries = {
      MakeStoredEntry(context.dataOps, "docs\\report.txt", std::string(5000, 'r')),
      MakeStoredEntry(context.dataOps, "empty", ""),
      MakeStoredEntry(context.dataOps, "中文\\名字.txt", "short", "", testing::kExampleTime,
                      EntryFlags::Archive | EntryFlags::ReadOnly | EntryFlags::Hidden),
      MakeStoredEntry(context.dataOps, "secret\\one.txt", std::string(3000, 's'), password),
      MakeStoredEntry(context.dataOps, "secret\\two.bin", "incompressible?", password),
  };
  FillIndex(entries);
  const std::string path = ArchivePath();
  ASSERT_TRUE(WriteArchive(context, index, path)) << context.errorLog;
  const auto rebuilt = Verify(path, password);
  EXPECT_EQ(rebuilt.exitCode, 0) << rebuilt.out << rebuilt.err;

  // Carried over, as a rename writes it.
  LoadOptions options;
  options.mode = LoadMode::WithDataArea;
  ASSERT_TRUE(LoadArchiveIndex(context, index, path, options));
  index.paths[0] = "docs\\renamed.txt";
  ASSERT_TRUE(WriteArchive(context, index, path)) << context.errorLog;
  const auto carried = Verify(path, password);
  EXPECT_EQ(carried.exitCode, 0) << carried.out << carried.err;
  EXPECT_THAT(carried.out, ::testing::HasSubstr("docs\\renamed.txt"));
}

// The checker builds an archive and prints each record as
// path-hex, original, time-hex, flags, md5, stored, offset (tab-separated).
constexpr const char* kBuildScript = R"PY(
import struct, sys
sys.path.insert(0, sys.argv[1])
import tvkcheck
entries = [
    dict(path=b"a.txt", content=b"abc"),
    dict(path=b"dir\\big.txt", content=b"0123456789" * 400, attrs=0x08 | 0x01),
    dict(path=b"empty", content=b""),
    dict(path="d\u00e9j\u00e0\\vu.txt".encode(), content=b"x" * 100, password="pw", method=1),
    dict(path=b"two", content=b"method two " * 20, password="pw", method=2, attrs=0x02),
]
open(sys.argv[2], "wb").write(tvkcheck.build_archive(entries))
for r in tvkcheck.read_archive(sys.argv[2])["records"]:
    print("\t".join([r["path"].hex(), str(r["original"]), struct.pack("<d", r["time"]).hex(),
                     str(r["flags"]), r["md5"].decode(), str(r["stored"]), str(r["offset"])]))
)PY";

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

TEST_F(InteropTest, ArchivesBuiltByTheCheckerLoadWithTheSameColumns) {
  const std::string path = ArchivePath("built.tvk");
  const auto built = RunProcess(kPython, {"-c", kBuildScript, kToolsDir, path});
  ASSERT_EQ(built.exitCode, 0) << built.err;

  std::vector<ArchiveEntry> expected;
  std::istringstream lines(built.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    ASSERT_EQ(fields.size(), 7u) << line;
    ArchiveEntry entry;
    entry.path = ToText(FromHex(fields[0]));
    entry.originalSize = std::stoi(fields[1]);
    const Bytes time = FromHex(fields[2]);
    std::memcpy(&entry.time, time.data(), sizeof(double));  // little-endian test machines
    entry.flags = static_cast<std::uint8_t>(std::stoi(fields[3]));
    entry.md5Text = fields[4];
    entry.storedSize = std::stoi(fields[5]);
    entry.dataOffset = std::stoi(fields[6]);
    expected.push_back(entry);
  }
  ASSERT_EQ(expected.size(), 5u);

  LoadOptions options;
  options.mode = LoadMode::WithBlocks;
  ASSERT_TRUE(LoadArchiveIndex(context, index, path, options)) << context.errorLog;
  ASSERT_EQ(index.count, 5);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(index.Entry(i), expected[i]) << i;
    const Bytes content = DecodeDataBlock(context.dataOps, index.storedBlocks[i], index.flags[i],
                                          "pw", index.originalSizes[i]);
    EXPECT_EQ(context.dataOps.Digest(content), index.md5Texts[i]) << i;
    EXPECT_EQ(content.size(), static_cast<std::size_t>(index.originalSizes[i])) << i;
  }
  EXPECT_EQ(index.paths[3], "d\xC3\xA9j\xC3\xA0\\vu.txt");
  EXPECT_NE(index.flags[4] & EntryFlags::SecondCipher, 0);
  EXPECT_NE(index.flags[1] & EntryFlags::Compressed, 0);
}

}  // namespace
}  // namespace tovask
