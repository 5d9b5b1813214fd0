// ArchiveIndex: the in-memory table of one archive's entries, as parallel columns. Item i of
// every column belongs to entry i, in file order. Filled by LoadArchiveIndex (reader.h),
// edited in memory by the operations, written by WriteArchive (writer.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"
#include "platform/bytes.h"

namespace tovask {

enum class LoadMode {
  IndexOnly = 0,     // the seven entry columns only
  WithBlocks = 1,    // also each kept entry's stored block (storedBlocks)
  WithDataArea = 2,  // also the whole data area (dataArea): the writer then carries it over
};

struct ArchiveIndex {
  std::vector<std::string> paths;
  std::vector<std::int32_t> originalSizes;
  std::vector<double> times;
  std::vector<std::uint8_t> flags;
  std::vector<std::string> md5Texts;
  std::vector<std::int32_t> storedSizes;
  std::vector<std::int32_t> dataOffsets;
  // Mode WithBlocks only (and the operations' new entries); otherwise empty.
  std::vector<Bytes> storedBlocks;
  // Mode WithDataArea only; otherwise empty.
  Bytes dataArea;
  std::int32_t count = 0;
  // File position of the data area of the archive last loaded or written.
  std::int64_t dataAreaStart = 0;
  // True after a WithDataArea load: the writer keeps dataArea and every dataOffsets item
  // (carried-over layout); false: it rebuilds the data area from storedBlocks.
  bool carriesDataArea = false;

  // Empties every column, the blocks and the data area (memory released), count 0,
  // dataAreaStart 0, carriesDataArea false.
  void Clear();
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
