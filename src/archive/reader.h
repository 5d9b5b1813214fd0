// LoadArchiveIndex: reads and checks an archive file into an ArchiveIndex.
//
// The file is opened read-only with an exclusive lock while it is read. Every size in the file
// (entry count, index block lengths, stored sizes, data offsets) is checked against the real
// file size before anything is allocated or read. Failures are recorded through ErrorText with
// the archive path in upper case:
//   2  the file cannot be opened or locked
//   53 no terminated header text and count; count <= 0; index blocks beyond the file; a
//      record that does not decompress or whose fields run past its end
//   51 the header text does not start with the magic (second argument: the magic)
//   52 the version field, trimmed, is not the format version (arguments: the header text as
//      read, magic + version)
//   54 WithBlocks: a stored block that runs past the end of the file
//   99 with 1001 / 1002: columns of unequal length after the load
//   100 the path is not absolute; 107 the progress sink reported an interrupt
#pragma once

#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "core/app_context.h"
#include "core/progress.h"

namespace tovask {

struct LoadOptions {
  // Relative paths of entries to leave out, compared in upper case.
  std::vector<std::string> exclusions;
  LoadMode mode = LoadMode::IndexOnly;
  // When set, one report per entry in the file: percent = i * span / N + base, text title 10.
  ProgressSink* sink = nullptr;
  int progressBase = 0;
  int progressSpan = 0;
};

// Empties the index, then loads the archive at path. The result is also left in stepOk; on
// false the error log holds the reasons and the index must not be used.
[[nodiscard]] bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index,
                                    const std::string& path, const LoadOptions& options = {});

// Only empties the index (blocks and data area included); returns stepOk unchanged.
bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index);

}  // namespace tovask
