// Changes of an existing archive that add no files: delete, rename, set password. Each loads
// the index, changes it in memory, writes a complete new archive and releases the index.
// Names are compared in upper case (except the exact-equality test of a rename).
// Each change holds its archive exclusively from the load to the replacement (archive_lock.h);
// a busy archive is refused with 2 and 112. Called on one thread at a time per context; the
// sink and prompt given are used only during the call.
#pragma once

#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/progress.h"
#include "core/prompts.h"

namespace tovask {

// Removes every entry whose name equals one of names (load band 0..40, write band 40..100).
// Names that match nothing are ignored; an empty list rewrites the archive unchanged.
// Deleting every entry is refused with 108 (an archive without entries could not be read
// again); nothing is written then. An interrupt reported by the sink stops the run with 107
// and leaves the archive as it was.
[[nodiscard]] bool DeleteEntries(AppContext& context, std::string archive,
                                 std::vector<std::string> names, ProgressSink* sink = nullptr);

// Gives one entry a new name, keeping the data area and every data offset byte for byte.
// Checks in this order: newName equal to oldName (same letter case): true, nothing loaded or
// written. 73: the new name has one of / : * ? < > | " or would be refused by
// extraction (IsSafeEntryName: "", "..", control characters, ...). 71: an entry already has
// the new name (case ignored, so a case-only rename is refused). 72: oldName not found.
[[nodiscard]] bool RenameEntry(AppContext& context, std::string archive, std::string oldName,
                               std::string newName);

// Encrypts the named, not yet encrypted entries with password (asked through prompt with
// titles 34 and 35 when password is ""; a cancelled or absent prompt writes nothing, leaves
// stepOk false and returns true). MD5 text and original size stay; each entry gets a cipher
// method drawn at random. An encryption that fails is 111 and nothing is written.
// The main window runs it without a sink. With one (tvk), the load reports in 0..20, each
// entry to encrypt at 20 + k * 40 / M with its name, the write in 60..100, and an interrupt
// at any report stops the run with 107, the archive untouched.
[[nodiscard]] bool EncryptEntries(AppContext& context, std::string archive, std::string password,
                                  std::vector<std::string> names, PasswordPrompt* prompt,
                                  ProgressSink* sink = nullptr);

}  // namespace tovask
