// Changes of an existing archive that add no files: delete, rename, set password. Each loads
// the index, changes it in memory, writes a complete new archive and releases the index.
// Names are compared in upper case (except the exact-equality test of a rename).
// Each change holds its archive exclusively from the load to the replacement (archive_lock.h);
// a busy archive is refused with 2 and 112. Requests, seams, threads and lifetimes as
// operation.h says.
#pragma once

#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/operation.h"

namespace tovask {

struct DeleteRequest {
  std::string archivePath;
  std::vector<std::string> names;
};

// Removes every entry whose name equals one of names (load band 0..40, write band 40..100).
// Names that match nothing are ignored; an empty list rewrites the archive unchanged.
// Deleting every entry is refused with 108 (an archive without entries could not be read
// again); nothing is written then. Seams: progress only.
[[nodiscard]] Outcome DeleteEntries(AppContext& context, DeleteRequest request,
                                    const OperationSeams& seams = {});

struct RenameRequest {
  std::string archivePath;
  std::string oldName;
  std::string newName;
};

// Gives one entry a new name, keeping the data area and every data offset byte for byte. It
// reports no progress and asks nothing, so it takes no seams. Checks in this order: newName
// equal to oldName (same letter case): Done, nothing loaded or written. 73: the new name has
// one of / : * ? < > | " or would be refused by extraction (IsSafeEntryName: "", "..",
// control characters, ...). 71: an entry already has the new name (case ignored, so a
// case-only rename is refused). 72: oldName not found.
[[nodiscard]] Outcome RenameEntry(AppContext& context, const RenameRequest& request);

struct EncryptRequest {
  std::string archivePath;
  std::string password;  // "": asked through the password seam (titles 34 and 35)
  std::vector<std::string> names;
};

// Encrypts the named, not yet encrypted entries. A cancelled (or absent) password prompt
// writes nothing and reports nothing: outcome Cancelled, stepOk false. MD5 text and original
// size stay; each entry gets a cipher method drawn at random. An encryption that fails is 111
// and nothing is written. The main window runs it without progress. With a progress seam
// (tvk), the load reports in 0..20, each entry to encrypt at 20 + k * 40 / M with its name,
// the write in 60..100.
[[nodiscard]] Outcome EncryptEntries(AppContext& context, EncryptRequest request,
                                     const OperationSeams& seams = {});

}  // namespace tovask
