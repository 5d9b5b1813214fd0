// Placeholder until the new-archive window lands: the window is never shown, as if it had been
// closed without compressing.
#include "ui/new_archive_window.h"

namespace tovask::ui {

std::optional<PendingOperation> AskNewArchive(AppContext&, Dialogs&, QWidget*) {
  return std::nullopt;
}

}  // namespace tovask::ui
