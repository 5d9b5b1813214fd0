// The overwrite window and its rename window, answering the engine's overwrite question.
#pragma once

#include "extract/overwrite.h"
#include "ui/dialogs.h"

class QWidget;

namespace tovask::ui {

// Answers the engine's overwrite question with the overwrite window (and its rename window).
class OverwriteWindows final : public OverwriteQuestion {
 public:
  OverwriteWindows(Dialogs& dialogs, QWidget* parent);
  void Ask(OverwritePrompt& prompt) override;

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
};

}  // namespace tovask::ui
