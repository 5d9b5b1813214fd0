// Questions to the user and the error display: the engine never opens a window; it asks
// through these seams. The desktop program answers with its windows, tvk from its flags or the
// terminal, tests from a script. A seam is called on the thread that started the operation,
// only while the operation runs, and must outlive the call that was given it; a question may
// run a modal loop of its own before it answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovask {

class PasswordPrompt {
 public:
  virtual ~PasswordPrompt() = default;
  // Masked input with the given prompt text and caption, initially empty. nullopt when the
  // user cancels; what the user confirms comes back unchanged, even an empty text.
  [[nodiscard]] virtual std::optional<std::string> AskPassword(const std::string& prompt,
                                                               const std::string& caption) = 0;
};

class ErrorDisplay {
 public:
  virtual ~ErrorDisplay() = default;
  // Shows the text with the error icon and the given title; returns when the user closed it.
  virtual void ShowError(const std::string& text, const std::string& title) = 0;
};

// The overwrite question: the record through which extraction asks what to do with a file that
// already exists, and the seven answers.
enum OverwriteAnswer : int {
  AnswerNone = 0,
  AnswerYes = 1,
  AnswerYesToAll = 2,
  AnswerRename = 3,
  AnswerNo = 4,
  AnswerNoToAll = 5,
  AnswerCancel = 6,
  AnswerRenameAll = 7,
};

struct OverwritePrompt {
  OverwriteAnswer answer = AnswerNone;
  std::string existingPath;       // full native path of the existing file
  std::int32_t archivedSize = 0;  // original size of the entry that would replace it
  double archivedTime = 0.0;      // its modification time (date-time value)
  std::string newName;            // the file name typed in the rename prompt; "" = none
};

// Asks the overwrite question for prompt.existingPath. Sets prompt.answer (and, for
// AnswerRename, prompt.newName: a plain file name, the candidate the user settled on; see
// DecideRename in extract/overwrite.h). A window closed without an answer leaves prompt.answer as
// it was; the engine sets it to AnswerNone before it asks, and skips the entry when it comes back
// so.
class OverwriteQuestion {
 public:
  virtual ~OverwriteQuestion() = default;
  virtual void Ask(OverwritePrompt& prompt) = 0;
};

}  // namespace tovask
