// The overwrite question's logic: the texts that describe the two files, the rename prompt's
// decision and automatic numbering. The question itself (OverwritePrompt, OverwriteQuestion,
// the seven answers) is one of the operations' seams in core/prompts.h; the windows (or
// terminal prompts) that ask are outside the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/prompts.h"

namespace tovask {

// "2005-3-7 9:5:2": no leading zeros; "" for an invalid value.
[[nodiscard]] std::string FormatDateTime(double dateTime);

// The texts the overwrite window shows for one file.
struct FileDetails {
  std::string fileName;  // the part after the last separator, control characters escaped
  std::string sizeText;  // "1,234,567 字节"
  std::string timeText;  // "修改于 2005-3-7 9:5:2"
};
// Details of a file on disk (size and last-write time in local time); empty texts when it
// cannot be read.
[[nodiscard]] FileDetails ExistingFileDetails(const std::string& path);
// Details of the archived entry of the prompt (file name from existingPath).
[[nodiscard]] FileDetails ArchivedFileDetails(const OverwritePrompt& prompt);

// What a typed rename name leads to.
enum class RenameStep {
  NoAnswer,       // empty name: the window stays open without an answer
  ShowCandidate,  // a file with that name exists: show its details, stay open
  Answered,       // answer := AnswerRename, newName := the name; close
};
// The rename button's logic for a name typed in the rename prompt. candidate receives the
// existing path's folder + typedName.
[[nodiscard]] RenameStep DecideRename(OverwritePrompt& prompt, const std::string& typedName,
                                      std::string* candidate,
                                      const std::function<bool(const std::string&)>& exists);

// Automatic numbering for "rename all": before the last "." of the whole relative name (or in
// front when there is none) insert "(n)", n = 1, 2, ..., on the name just built, until
// exists(candidate) is false. "a.txt" -> "a(1).txt" -> "a(1)(2).txt"; "docs.old\readme" ->
// "docs(1).old\readme"; "readme" -> "(1)readme". Gives up (returns "") after 10000 tries.
[[nodiscard]] std::string NumberedName(const std::string& entryName,
                                       const std::function<bool(const std::string&)>& exists);

}  // namespace tovask
