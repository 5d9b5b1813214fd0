// Placeholder until the overwrite windows land: the question is left unanswered, as if the
// window had been closed through its title bar (the engine then skips the file).
#include "ui/overwrite_windows.h"

namespace tovask::ui {

OverwriteWindows::OverwriteWindows(Dialogs& dialogs, QWidget* parent)
    : dialogs_(dialogs), parent_(parent) {}

void OverwriteWindows::Ask(OverwritePrompt&) {}

}  // namespace tovask::ui
