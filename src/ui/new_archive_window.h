// The new-archive window: gathers the sources, the archive name and the password of a new
// archive and hands them back as a "压缩文件" request.
#pragma once

#include <optional>

#include "app/dispatcher.h"
#include "core/app_context.h"
#include "ui/dialogs.h"

class QWidget;

namespace tovask::ui {

// Shows the new-archive window modally over parent. Returns the request ("压缩文件", items,
// archivePath, password) when the user pressed "压缩" and its checks passed; nullopt when the
// window was closed. The window is destroyed and pending events processed before this returns, so
// the caller opens the progress window after it has gone.
[[nodiscard]] std::optional<PendingOperation> AskNewArchive(AppContext& context, Dialogs& dialogs,
                                                            QWidget* parent);

}  // namespace tovask::ui
