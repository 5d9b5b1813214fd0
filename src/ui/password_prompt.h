// DialogsPasswordPrompt: the engine's password question answered with a masked input box of
// the Dialogs seam (set password in the main window, encrypted entries during extraction in
// the progress window).
//
// User-interface thread only; the Dialogs and the parent outlive the prompt.
#pragma once

#include <optional>
#include <string>

#include "core/prompts.h"
#include "ui/dialogs.h"

class QWidget;

namespace tovask::ui {

class DialogsPasswordPrompt final : public PasswordPrompt {
 public:
  // The input box opens over parent.
  DialogsPasswordPrompt(Dialogs& dialogs, QWidget* parent) : dialogs_(dialogs), parent_(parent) {}

  // A masked input box with the prompt and the caption, initially empty; nullopt when the
  // user cancels, otherwise the text as confirmed (even "").
  [[nodiscard]] std::optional<std::string> AskPassword(const std::string& prompt,
                                                       const std::string& caption) override;

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
};

}  // namespace tovask::ui
