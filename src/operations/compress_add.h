// CompressAndAdd: the one operation that puts files into an archive, creating a new archive or
// adding to an existing one (stored entries with an incoming name are replaced; kept entries
// first, incoming after, in collection order).
//
// Progress (with a sink): 1 (title 11), one report per file at i * 50 / count + 5 (title 12),
// in add mode the load's band 55..75, then the writer's band 75..100.
// Failures: 21 no file collected; the collection's messages (100..103); 104 a source file of
// 2 GiB or more (before it is read); 11 a file whose size changed while it was read; 99/1003;
// 12 the archive's folder cannot be created; 109 an empty archive path; the reader's and
// writer's messages; 107 an interrupt. Before the writer runs, nothing on disk is touched
// except the creation of the archive's folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/bytes.h"
#include "core/progress.h"

namespace tovask {

// The batch of new entries, parallel to SourceSet::relativeNames.
struct IncomingEntries {
  std::vector<std::int32_t> originalSizes;
  std::vector<double> times;
  std::vector<std::uint8_t> flags;
  std::vector<std::string> md5Texts;
  std::vector<std::int32_t> storedSizes;
  std::vector<Bytes> storedBlocks;
};

// Works on its own copies of every argument.
[[nodiscard]] bool CompressAndAdd(AppContext& context, std::vector<std::string> sources,
                                  std::string archivePath, std::string password = "",
                                  bool newArchive = true, ProgressSink* sink = nullptr);

}  // namespace tovask
