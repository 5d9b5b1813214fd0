// ExtractEntries: decodes, verifies and writes the entries of one archive below a target
// folder, with restored times and attributes, asking before it replaces an existing file.
//
// Safety: every name is checked by IsSafeEntryName before anything is written (entry names,
// typed rename names, numbered names); an unsafe name is refused with message 106 naming it
// and the run goes on with the next entry (result false). Symbolic links inside the target
// are never followed out of it. Each file is verified (digest, then length) before it is
// written, written under a temporary name in its folder and renamed into place, so a failing
// entry or a full disk leaves no partial file. The archive is opened read-only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/progress.h"
#include "core/prompts.h"
#include "extract/overwrite.h"

namespace tovask {

struct ExtractRequest {
  std::string archivePath;
  std::string password;       // "" = none given yet (asked once at the first encrypted entry)
  std::string targetFolder;   // "" or blanks: the archive's folder
  bool askBeforeOverwrite = true;
  std::optional<std::vector<std::string>> selection;   // absent: every entry
  std::optional<std::vector<std::string>> exclusions;  // used only without a selection
};

struct ExtractSeams {
  ProgressSink* sink = nullptr;
  PasswordPrompt* passwordPrompt = nullptr;   // null: a needed password counts as cancelled
  OverwriteQuestion* overwrite = nullptr;     // null: a needed question counts as "no"
};

// Result: true when the run recorded no error, and true after a cancel of the overwrite
// question (message 36 recorded). The request is copied at the start; nothing of the caller's
// record is used afterwards.
[[nodiscard]] bool ExtractEntries(AppContext& context, OverwritePrompt& prompt,
                                  ExtractRequest request, const ExtractSeams& seams);

// Sets the file's last-write time from a local date-time value (access time unchanged).
// Records 1 (path as given) or 31 and returns false on failure.
[[nodiscard]] bool RestoreFileTime(AppContext& context, const std::string& path,
                                   double dateTime);

// Decodes and verifies every entry without writing anything; records one message per failing
// entry (38, 39, 40, 37) and goes on with the next. Returns true when every entry verified.
[[nodiscard]] bool TestEntries(AppContext& context, const std::string& archivePath,
                               std::string password, const ExtractSeams& seams);

}  // namespace tovask
