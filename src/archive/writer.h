// WriteArchive: writes the whole ArchiveIndex as a new archive and puts it in place of the file
// at path.
//
// The new file is written to a hidden temporary file in the folder of the archive (of the
// file a symbolic link at path finally names), synced, given the old archive's permission bits
// (a new archive: 0666 & ~umask) and renamed over the archive in one step, so there is never
// a moment without an archive, and on any failure the old archive is byte-identical and no
// temporary file is left.
//
// Layout: carriesDataArea -> every record keeps its dataOffsets item and the data area is
// dataArea (or the dataAreaPlace bytes) byte for byte; otherwise offsets are rebuilt and the
// data area is the blocks in index order: storedBlocks items written with one write each,
// blocks with a place copied from their file (neighbours in one file in one copy). Only the
// index is built in memory, so memory does not grow with blocks kept in files. An entry with an
// empty path is written like any other (record and block), so the offsets of the entries after
// it stay right.
//
// Failures (ErrorText): 99 with 1011 / 1012 / 1013 for columns of unequal length, 1012 also
// for a stored size that differs from its block's length, or a placed block whose memory item is
// not empty (nothing written); 105 when a stored size
// or offset + stored size would pass 2^31 - 1 (checked before the temporary file exists); 18 then
// 20 when the temporary file cannot be created; 20 when writing fails; 19 (path in upper case) when
// the final rename fails, or followed by 112 when another program holds the archive or created
// one at a path that had none when the hold began; 100 for a relative path; 107 when the sink reported an interrupt, also at
// the closing report (no 20 then). The result is also left in stepOk. Of the index only
// dataAreaStart changes (the new file's data-area start); the dataOffsets column keeps its items
// even where the file got new ones.
#pragma once

#include <string>

#include "archive/archive_index.h"
#include "archive/archive_lock.h"
#include "core/app_context.h"
#include "core/progress.h"

namespace tovask {

struct WriteOptions {
  // When set: title 14 per record while the index is built (base .. base + span/2), title 15
  // per stored block (rebuilt layout only, up to base + span), then title 16 at base + span.
  ProgressSink* sink = nullptr;
  int progressBase = 60;
  int progressSpan = 40;
  // The change's exclusive hold on the archive (Purpose::Change, same path), taken before the
  // archive was read. When null, the writer takes one itself for the length of the write.
  ArchiveLock* lock = nullptr;
};

[[nodiscard]] bool WriteArchive(AppContext& context, ArchiveIndex& index, const std::string& path,
                                const WriteOptions& options = {});

}  // namespace tovask
