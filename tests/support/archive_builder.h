// ArchiveBuilder: archive bytes with full control over every field, for tests that need sound
// archives without the writer, or damaged and hostile ones the writer would never produce.
//
//   ArchiveBuilder b(dataOps);
//   b.Entry(StoredEntry(dataOps, "a.txt", "abc"));           // record + block, offset rebuilt
//   b.Count(0x7FFFFFFF);                                     // lie about the count
//   Bytes bytes = b.Build();
//
// By default the header is "RID 1.05", 0x00, the number of index blocks added, then the index
// blocks, then the blocks of the entries added with Entry, back to back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format.h"
#include "core/data_ops.h"
#include "platform/bytes.h"

namespace tovask::testing {

// 5 March 2004 07:08:09 as a date-time value (bytes 90 A1 B2 83 69 94 E2 40).
inline constexpr double kExampleTime = 38051.29732638889;

// One entry and its stored block, as compression would make them.
struct StoredEntry {
  ArchiveEntry entry;
  Bytes block;
};

// content digested, compressed when shorter, encrypted with a non-empty password; flags get
// the attributes plus the transformation bits; dataOffset 0 (the builder assigns offsets).
[[nodiscard]] StoredEntry MakeStoredEntry(DataOps& dataOps, std::string path,
                                          std::string_view content,
                                          const std::string& password = "",
                                          double time = kExampleTime,
                                          std::uint8_t attributes = EntryFlags::Archive);

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(DataOps& dataOps) : dataOps_(dataOps) {}

  // The bytes before the header's 0x00 (default "RID 1.05").
  ArchiveBuilder& Header(std::string text);
  // Leaves out the 0x00 after the header text.
  ArchiveBuilder& OmitTerminator();
  // The count written instead of the number of index blocks.
  ArchiveBuilder& Count(std::int32_t count);
  // Leaves out the count field (and everything after it).
  ArchiveBuilder& OmitCount();

  // A record for the entry with its stored size set to the block's length and the next
  // rebuilt offset, and the block appended to the data area.
  ArchiveBuilder& Entry(const StoredEntry& stored);
  // A record taken as given (storedSize and dataOffset included); nothing goes into the data.
  ArchiveBuilder& Record(const ArchiveEntry& entry);
  // Record bytes of any form, compressed by the builder.
  ArchiveBuilder& RawRecord(ByteView record);
  // An index block of any form; length overrides the length field written before it.
  ArchiveBuilder& RawIndexBlock(ByteView block, std::optional<std::int32_t> length = {});

  // The data area written instead of the entries' blocks.
  ArchiveBuilder& DataArea(ByteView bytes);
  // Bytes appended after everything else.
  ArchiveBuilder& Trailer(ByteView bytes);

  [[nodiscard]] Bytes Build() const;
  // Build() written to path (throws std::runtime_error when that fails).
  void WriteTo(const std::string& path) const;

 private:
  DataOps& dataOps_;
  std::string header_ = "RID 1.05";
  bool terminator_ = true;
  bool countField_ = true;
  std::optional<std::int32_t> count_;
  int blockCount_ = 0;
  Bytes index_;
  Bytes blocks_;
  std::optional<Bytes> dataArea_;
  Bytes trailer_;
};

// Little-endian int32 bytes, for tests that patch archives by hand.
[[nodiscard]] Bytes Int32Bytes(std::int32_t value);

}  // namespace tovask::testing
