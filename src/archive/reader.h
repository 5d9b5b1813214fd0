// LoadArchiveIndex: reads and checks an archive file into an ArchiveIndex.
//
// The file is read through the caller's ArchiveLock (a change that holds the archive from its
// load to its replacement), or else held shared for the length of the load (archive_lock.h). Every size in the file
// (entry count, index block lengths, stored sizes, data offsets) is checked against the real
// file size before anything is allocated or read, so memory stays a small multiple of the file
// size: decoded records may together take at most 64 times the file size plus 16 MiB, and the
// stored blocks of a WithBlocks or WithBlockPlaces load together at most the data area (sound
// archives never overlap blocks). Failures are recorded through ErrorText with the archive path in upper case:
//   2  the file cannot be opened, locked or read; followed by 112 when another program holds it
//   53 no terminated header text and count; count <= 0; index blocks beyond the file; a
//      record that does not decompress (1 MiB bound) or whose fields run past its end; decoded
//      records or stored blocks beyond the memory bounds above
//   51 the header text does not start with the magic (second argument: the magic)
//   52 the version field, trimmed, is not the format version (arguments: the header text as
//      read, magic + version)
//   54 WithBlocks, WithBlockPlaces: a stored block with a negative size or offset, or one that
//      runs past the end of the file (the other modes leave blocks to the extraction)
//   99 with 1001 / 1002: columns of unequal length after the load; with 1004: a mode that
//      keeps places without the caller's hold (LoadOptions::lock)
//   100 the path is not absolute; 107 the progress sink reported an interrupt
// A failed load leaves the index empty.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "archive/archive_lock.h"
#include "core/app_context.h"
#include "core/progress.h"

namespace tovask {

struct LoadOptions {
  // Relative paths of entries to leave out, compared in upper case.
  std::vector<std::string> exclusions;
  LoadMode mode = LoadMode::IndexOnly;
  // When set, one report per entry in the file (excluded ones too): percent = i * span / N +
  // base in integers, text title 10 with "i/N".
  ProgressSink* sink = nullptr;
  int progressBase = 0;
  int progressSpan = 0;
  // When set: the hold through which the archive is read (it must exist); it stays held
  // afterwards. Its path must be the path given to LoadArchiveIndex.
  ArchiveLock* lock = nullptr;
};

// Empties the index, then loads the archive at path. The result is also left in stepOk; on
// false the error log holds the reasons and the index must not be used.
[[nodiscard]] bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index,
                                    const std::string& path, const LoadOptions& options = {});

// Only empties the index (blocks and data area included); returns stepOk unchanged.
bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index);

}  // namespace tovask
