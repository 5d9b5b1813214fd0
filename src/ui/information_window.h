// The information window ("Tovask 压缩文件信息"): the seven lines that describe the archive the
// main window lists (app/archive_information.h), its compression ratio as a vertical bar, and
// "确定". It reads nothing from disk and changes nothing.
//
// Controls (object names): "ratioBar" (vertical, 0..100), "line1".."line7" (labels in a
// fixed-width font whose characters stand on a grid of columns, a Chinese character taking
// two, so that the 30-byte value fields line up), "okButton". User-interface thread only.
#pragma once

#include <string>

#include "archive/listing.h"

class QWidget;

namespace tovask::ui {

// Shows the information window modally over parent for archivePath and summary (nullptr: none).
void ShowInformationWindow(QWidget* parent, const std::string& archivePath,
                           const ArchiveSummary* summary);

}  // namespace tovask::ui
