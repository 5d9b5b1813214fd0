// The archive information window: the seven lines, the ratio and its bar for the archive the
// main window lists.
#pragma once

#include <string>

#include "archive/listing.h"

class QWidget;

namespace tovask::ui {

// Shows the information window modally over parent for archivePath and summary (nullptr: none).
void ShowInformationWindow(QWidget* parent, const std::string& archivePath,
                           const ArchiveSummary* summary);

}  // namespace tovask::ui
