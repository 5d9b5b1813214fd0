// Shared set-up of the entry-edit and dispatcher tests: a program folder with the default
// message file, a work folder for archives, archives built directly through the writer, and
// helpers that read them back.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace tovask::testing {

struct StoredFile {
  std::string name;
  std::string content;
  std::string password;  // "" = stored unencrypted
};

// Makes the platform layer's operations fail for as long as it lives.
class ScopedFaultHook {
 public:
  explicit ScopedFaultHook(platform::FaultHook hook) { platform::SetFaultHook(std::move(hook)); }
  ~ScopedFaultHook() { platform::SetFaultHook({}); }
  ScopedFaultHook(const ScopedFaultHook&) = delete;
  ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;
};

// Identity of a file on disk: a rewrite gives a new inode (the writer renames a new file into
// place) and a new modification time.
struct FileIdentity {
  std::uint64_t inode = 0;
  std::int64_t mtimeNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

inline FileIdentity IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

inline std::string FileText(const std::string& path) { return ReadFile(path); }

// The bytes after the index blocks, found by walking the header and the length fields
// independently of the reader.
inline std::string DataAreaOf(const std::string& fileBytes) {
  auto readInt = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = value * 256 + static_cast<unsigned char>(fileBytes[at + i]);
    return static_cast<std::size_t>(value);
  };
  std::size_t at = 9;
  const std::size_t count = readInt(at);
  at += 4;
  for (std::size_t i = 0; i < count; ++i) at += 4 + readInt(at);
  return fileBytes.substr(at);
}

class EditsTest : public ::testing::Test {
 protected:
  EditsTest() {
    std::filesystem::create_directories(dir_ / "prog");
    std::filesystem::create_directories(workFolder_);
    StartUp(context_, dir_ / "prog");
  }

  // 2004-03-05 07:08:09 as a date-time value.
  static constexpr double kSomeTime = 38051.297326388888;

  void MakeArchive(const std::vector<StoredFile>& files, const std::string& path) {
    ArchiveIndex index;
    for (const StoredFile& file : files) {
      auto encoded = EncodeDataBlock(context_.dataOps, AsBytes(file.content), file.password);
      ASSERT_TRUE(encoded.has_value());
      ArchiveEntry entry;
      entry.path = file.name;
      entry.originalSize = static_cast<std::int32_t>(file.content.size());
      entry.time = kSomeTime;
      entry.flags = EntryFlags::Archive | encoded->transformFlags;
      entry.md5Text = encoded->md5Text;
      entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
      index.Append(entry);
      index.storedBlocks.push_back(std::move(encoded->block));
    }
    index.count = static_cast<std::int32_t>(files.size());
    ClearErrorLog(context_);
    ASSERT_TRUE(WriteArchive(context_, index, path)) << context_.errorLog;
  }
  void MakeArchive(const std::vector<StoredFile>& files) { MakeArchive(files, archive_); }

  ArchiveIndex Load(LoadMode mode, const std::string& path) {
    ArchiveIndex index;
    AppContext reader;
    StartUp(reader, dir_ / "prog");
    LoadOptions options;
    options.mode = mode;
    EXPECT_TRUE(LoadArchiveIndex(reader, index, path, options)) << reader.errorLog;
    return index;
  }
  ArchiveIndex Load(LoadMode mode = LoadMode::IndexOnly) { return Load(mode, archive_); }

  std::vector<std::string> Paths(const std::string& path) {
    return Load(LoadMode::IndexOnly, path).paths;
  }
  std::vector<std::string> Paths() { return Paths(archive_); }

  // The content of entry i decoded with password, or "<bad>" when it does not verify.
  std::string DecodedContent(const ArchiveIndex& index, std::size_t i,
                             const std::string& password) {
    const Bytes plain = DecodeDataBlock(context_.dataOps, index.storedBlocks.at(i),
                                        index.flags.at(i), password, index.originalSizes.at(i));
    if (context_.dataOps.Digest(plain) != index.md5Texts.at(i)) return "<bad>";
    if (plain.size() != static_cast<std::size_t>(index.originalSizes.at(i))) return "<bad>";
    return ToText(plain);
  }

  // A fault hook that fails every file operation in the work folder (the message file stays
  // readable): a test that expects nothing to be read or written there proves it with this.
  platform::FaultHook FailInWorkFolder() const {
    return [folder = workFolder_ + "/"](platform::FileOp, const std::string& path) {
      return path.starts_with(folder) ? EIO : 0;
    };
  }

  // Names in the work folder, sorted: temporary files of the writer would show here.
  std::vector<std::string> WorkFolderNames() {
    auto names = platform::ListFolder(workFolder_);
    return names ? *names : std::vector<std::string>{"<unreadable>"};
  }

  TempDir dir_;
  std::string workFolder_ = dir_ / "work";
  std::string archive_ = dir_ / "work/a.tvk";
  AppContext context_;
};

}  // namespace tovask::testing
