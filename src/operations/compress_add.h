// CompressAndAdd: the one operation that puts files into an archive, creating a new archive or
// adding to an existing one (stored entries with an incoming name, compared in upper case, are
// replaced; kept entries first, incoming after, in collection order).
//
// Each file is read whole and encoded in memory (digest, compression when strictly shorter,
// encryption with a cipher method drawn per file when a password is given); the archive is then
// written complete by the writer, which replaces the old file in one step. It uses the
// progress seam only (operation.h); no question is asked.
//
// Memory stays bounded whatever the number of files: encoded blocks beyond a fixed budget wait
// in an anonymous scratch file (block_spill.h), and the kept entries of an archive added to are
// copied from the old file by the writer, never read into memory.
//
// Files are read and encoded on worker threads (WorkerThreads, ordered_work.h) a bounded
// window ahead of the calling thread, which takes their results in collection order and alone
// reports progress and records messages: archives, progress and messages are those of a run
// on one thread (apart from the random cipher choices and nonces). A file may be read before
// its own report; a run that stops there has only read it.
//
// The archive is held exclusively from just before the load of the kept entries (after the
// files are compressed) until the new file has replaced it (archive_lock.h); a busy archive is
// refused (2, or 19 for a new archive, then 112).
//
// Progress (with a sink): 1 (title 11); one report per file at i * 50 / count + 5 (title 12,
// "i/count"), computed in integers; in add mode the load's band 55..75; the writer's band
// 75..100. An interrupt (any report answering false, or the folder walk's ProcessEvents) stops
// the run there with 107 (outcome Interrupted), and the archive on disk stays as it was.
//
// Failures, in the order they are checked: 109 an empty archive path, 100 a relative one, 1 one
// that ends with the separator (it names a folder, never the archive file); the
// collection's messages (100..103, 107); 21 no file collected; 104 a file of 2 GiB or more
// (before any file is read); 11 a file whose size differs from its length as read (also one
// that cannot be read, unless empty); 99/1003; 12 the archive's folder cannot be created
// (folder in upper case); the reader's and writer's messages; 111 for an exception from below.
// Before the writer runs, nothing on disk is touched except the creation of the archive's
// folder. stepOk ends true exactly when the outcome is Done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "core/app_context.h"
#include "core/data_ops.h"
#include "core/operation.h"
#include "platform/bytes.h"

namespace tovask {

// The batch of new entries, parallel to SourceSet::relativeNames.
struct IncomingEntries {
  std::vector<std::int32_t> originalSizes;
  std::vector<double> times;
  std::vector<std::uint8_t> flags;
  std::vector<std::string> md5Texts;
  std::vector<std::int32_t> storedSizes;
  std::vector<Bytes> storedBlocks;  // empty items for blocks kept in the spill's file
  std::vector<BlockPlace> blockPlaces;
};

struct CompressRequest {
  std::vector<std::string> sources;  // absolute paths of files and folders, in order
  std::string archivePath;
  std::string password = {};  // "" = no encryption
  bool newArchive = true;     // false: add to the existing archive, replacing same-named entries
  // Compression level of the files' blocks, 1..19 (values outside are taken as the nearest
  // end); the index records keep the default level.
  int level = DataOps::kDefaultLevel;
};

[[nodiscard]] Outcome CompressAndAdd(AppContext& context, CompressRequest request,
                                     const OperationSeams& seams = {});

}  // namespace tovask
