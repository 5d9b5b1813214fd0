// ArchiveIndex: the in-memory table of one archive's entries, as parallel columns. Item i of
// every column belongs to entry i, in file order. Filled by LoadArchiveIndex (reader.h),
// edited in memory by the operations, written by WriteArchive (writer.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"
#include "platform/bytes.h"
#include "platform/file_handle.h"

namespace tovask {

enum class LoadMode {
  IndexOnly = 0,     // the seven entry columns only
  WithBlocks = 1,    // also each kept entry's stored block (storedBlocks)
  WithDataArea = 2,  // also the whole data area (dataArea): the writer then carries it over
  // As WithBlocks and WithDataArea, checked alike, but the bytes stay in the archive file and
  // only their places are kept (blockPlaces, dataAreaPlace): memory no longer grows with the
  // archive. The file is the caller's hold (LoadOptions::lock), which must outlive the index.
  WithBlockPlaces = 3,
  WithDataAreaPlace = 4,
};

// Where a stored block lies when it is kept in an open file rather than in memory: the
// entry's stored size in bytes from offset of file. The file belongs to whoever filled the
// index (a change's ArchiveLock, a BlockSpill) and must stay open while the index is used.
struct BlockPlace {
  const platform::File* file = nullptr;  // null: the block is the entry's storedBlocks item
  std::int64_t offset = 0;
};

struct ArchiveIndex {
  std::vector<std::string> paths;
  std::vector<std::int32_t> originalSizes;
  std::vector<double> times;
  std::vector<std::uint8_t> flags;
  std::vector<std::string> md5Texts;
  std::vector<std::int32_t> storedSizes;
  std::vector<std::int32_t> dataOffsets;
  // Modes WithBlocks and WithBlockPlaces (and the operations' new entries); otherwise empty.
  // The item of a block kept in a file (see blockPlaces) is empty.
  std::vector<Bytes> storedBlocks;
  // Empty, or one item per entry: the blocks kept in files instead of storedBlocks.
  std::vector<BlockPlace> blockPlaces;
  // Mode WithDataArea only; otherwise empty.
  Bytes dataArea;
  // Mode WithDataAreaPlace: the data area lies in a file (dataAreaLength bytes at
  // dataAreaPlace) instead of dataArea.
  BlockPlace dataAreaPlace;
  std::int64_t dataAreaLength = 0;
  std::int32_t count = 0;
  // File position of the data area of the archive last loaded or written.
  std::int64_t dataAreaStart = 0;
  // True after a WithDataArea load: the writer keeps dataArea and every dataOffsets item
  // (carried-over layout); false: it rebuilds the data area from storedBlocks.
  bool carriesDataArea = false;

  // Empties every column, the blocks, their places and the data area (memory released),
  // count 0, dataAreaStart 0, carriesDataArea false.
  void Clear();
  // Makes room for entries more entries in the seven columns.
  void Reserve(std::size_t entries);
  // Appends one entry's seven fields; count and storedBlocks are left to the caller.
  void Append(const ArchiveEntry& entry);
  // The same, with the texts moved into the columns.
  void Append(ArchiveEntry&& entry);
  // The seven fields of entry i (0-based; i < count and every column that long).
  [[nodiscard]] ArchiveEntry Entry(std::size_t i) const;
  // The same, with the texts moved out of the columns (they are left empty): for a caller
  // that releases the index afterwards.
  [[nodiscard]] ArchiveEntry TakeEntry(std::size_t i);
};

}  // namespace tovask
