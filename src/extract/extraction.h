// ExtractEntries: decodes, verifies and writes the entries of one archive below a target
// folder, with restored times and attributes, asking before it replaces an existing file.
//
// Safety: every name is checked once before anything is written: entry names by
// IsSafeEntryName (106 naming the entry), typed rename names (must be a plain file name) and
// numbered names by the same rule (110 naming the name); the run goes on with the next entry
// (result false). A folder level inside the target that is a symbolic link is never followed
// (106); an existing link at the file's own name is replaced, never written through. Each file
// is verified (digest, then length) before it is written, written under a hidden temporary
// name in its folder with its mode and time set, and renamed into place, so a failing entry or
// a full disk leaves no partial file. An existing file without owner write permission is
// refused with 41 (judged by its bits, so also as root). The archive is opened read-only with
// the exclusive lock, so read-only archives extract.
//
// Messages: 100 relative archive path or target; the reader's own; 2 archive cannot be
// opened; 35 target or sub-folder cannot be created (a sub-folder failure still tries the
// write, which then fails with 41); 36 password prompt cancelled (run ends) or overwrite
// question cancelled (run ends, result true); 37 a block outside the archive file or a read
// error (run ends); 38 / 39 digest mismatch of an encrypted / plain entry (run ends); 40
// length mismatch (run ends); 41 a file cannot be written (next entry); 31 its time cannot be
// set; 107 interrupted at a progress report (files already written stay); 113 an encrypted
// entry met without a password when the caller's password is final (run ends); with a busy
// archive, 2 followed by 112.
//
// Outcome: Done when nothing was recorded; Cancelled after "取消" in the overwrite question
// (36 recorded, the files written so far stay); Interrupted at a progress report the sink
// answered false (107); Failed otherwise, also when the password prompt was cancelled (36):
// the encrypted entries could not be extracted, which the user must be told about.
//
// The archive is held shared from the load of its index to the last block read, so a change
// cannot replace it in between (archive_lock.h). Requests, seams, threads and lifetimes as
// operation.h says: progress, the password prompt (null: a needed password counts as
// cancelled) and the overwrite question (null: a needed question counts as "no").
//
// Progress: the load reports 0..50; entry i of N (from 1) reports 50 + i * 50 / N with title
// 32, also when it is skipped; a run without errors ends with 100 and title 33.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/operation.h"

namespace tovask {

struct ExtractRequest {
  std::string archivePath;
  std::string password;      // "" = none given yet (asked once at the first encrypted entry)
  std::string targetFolder;  // "" or blanks: the archive's folder
  bool askBeforeOverwrite = true;
  std::optional<std::vector<std::string>> selection;   // absent: every entry
  std::optional<std::vector<std::string>> exclusions;  // used only without a selection
  // True: the password is all there is (a script gave it, possibly empty), so no one is
  // asked; an encrypted entry met without a password ends the run with 113.
  bool passwordIsFinal = false;
};

// The request is copied at the start; nothing of the caller's record is used afterwards. The
// overwrite question is asked with its record's answer reset to AnswerNone, so a question left
// without an answer is seen as such: the entry is skipped (the existing file is neither
// overwritten nor renamed, and the run goes on).
[[nodiscard]] Outcome ExtractEntries(AppContext& context, ExtractRequest request,
                                     const OperationSeams& seams);

// Sets the file's last-write time from a local date-time value (access time unchanged).
// Records 1 (path as given) or 31 and returns false on failure.
[[nodiscard]] bool RestoreFileTime(AppContext& context, const std::string& path, double dateTime);

struct TestRequest {
  std::string archivePath;
  std::string password = {};     // as in ExtractRequest
  bool passwordIsFinal = false;  // as in ExtractRequest
};

// Decodes and verifies every entry (names with "?" too) without writing anything; records one
// message per failing entry (38, 39, 40, 37) and goes on with the next. The password is asked
// once, at the first encrypted entry (cancel: 36, stop); progress as in ExtractEntries. Done
// when every entry verified. Seams: progress and password.
[[nodiscard]] Outcome TestEntries(AppContext& context, TestRequest request,
                                  const OperationSeams& seams);

}  // namespace tovask
