// Questions to the user and the error display: the engine never opens a window; it asks
// through these seams. The desktop program answers with its windows, tvk from its flags or the
// terminal, tests from a script. A seam is called on the thread that started the operation,
// only while the operation runs, and must outlive the call that was given it; a question may
// run a modal loop of its own before it answers.
#pragma once

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

}  // namespace tovask
