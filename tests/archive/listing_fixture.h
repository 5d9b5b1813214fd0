// Shared set-up of the listing tests (archive/) and of the main window's reload (app/): entries
// with known fields, archive files built byte by byte, and a context with the default message
// file in the test's own folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/listing.h"
#include "core/app_context.h"
#include "core/messages.h"
#include "core/startup.h"
#include "support/temp_dir.h"

namespace tovask::testing {

// 5 March 2004 07:08:09 as stored: the bytes 90 A1 B2 83 69 94 E2 40 (a hair before 07:08:09).
inline double ExampleTime() {
  const unsigned char raw[8] = {0x90, 0xA1, 0xB2, 0x83, 0x69, 0x94, 0xE2, 0x40};
  double value;
  std::memcpy(&value, raw, sizeof value);  // tests run on little-endian machines only
  return value;
}

inline ArchiveEntry MakeEntry(std::string path, std::int32_t original, std::int32_t stored,
                              std::uint8_t flags = EntryFlags::Archive | EntryFlags::Compressed) {
  ArchiveEntry entry;
  entry.path = std::move(path);
  entry.originalSize = original;
  entry.storedSize = stored;
  entry.flags = flags;
  entry.time = ExampleTime();
  entry.md5Text = "0123456789abcdef0123456789abcdef";
  return entry;
}

inline void AppendInt32(Bytes& out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(u >> shift));
}

// An archive file built byte by byte: header, count, compressed records, then as many data
// bytes as the stored sizes claim (the listing never reads them).
inline Bytes BuildArchive(const DataOps& dataOps, const std::vector<ArchiveEntry>& entries) {
  Bytes out = ToBytes(ComposeHeaderText("RID", "1.05"));
  out.push_back(0x00);
  AppendInt32(out, static_cast<std::int32_t>(entries.size()));
  std::int64_t offset = 0;
  for (const ArchiveEntry& entry : entries) {
    const Bytes record =
        dataOps.Compress(EncodeEntryRecord(entry, static_cast<std::int32_t>(offset)));
    AppendInt32(out, static_cast<std::int32_t>(record.size()));
    out.insert(out.end(), record.begin(), record.end());
    offset += entry.storedSize;
  }
  out.insert(out.end(), static_cast<std::size_t>(offset), std::uint8_t{'x'});
  return out;
}

// A context whose message file is the default one in the test's own folder, with the user
// configuration folder pointed there too so no real account's file takes part.
class ListingTest : public ::testing::Test {
 protected:
  ListingTest() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    context_.runDirectory = dir_.path() + "/";
    context_.archiveMagic = "RID";
    context_.formatVersion = "1.05";
    WriteMessageFile(ToText(DefaultMessageFile()));
  }
  ~ListingTest() override {
    if (oldConfigHome_) {
      setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  void WriteMessageFile(const std::string& bytes) {
    WriteFile(dir_ / std::string(kMessageFileName), bytes);
  }

  std::string WriteArchiveFile(const std::string& name, const std::vector<ArchiveEntry>& entries) {
    const std::string path = dir_ / name;
    WriteFile(path, ToText(BuildArchive(context_.dataOps, entries)));
    return path;
  }

  static std::string FileSizeText(const std::string& path) {
    return FormatWithThousands(static_cast<std::int64_t>(std::filesystem::file_size(path)));
  }

  TempDir dir_;
  AppContext context_;

 private:
  std::optional<std::string> oldConfigHome_;
};

}  // namespace tovask::testing
