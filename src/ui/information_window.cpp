// Placeholder until the information window lands: shows nothing.
#include "ui/information_window.h"

namespace tovask::ui {

void ShowInformationWindow(QWidget*, const std::string&, const ArchiveSummary*) {}

}  // namespace tovask::ui
