// The main window's reload (RefreshMainWindow) as data: what the window shows after it has
// listed the current archive again. The desktop program puts the state into its widgets and
// hands the listing to its list model; no widget is touched here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "archive/listing.h"
#include "core/app_context.h"

namespace tovask {

inline constexpr std::string_view kProductName = "Tovask";
// The main window's caption and status-bar texts before the first reload.
inline constexpr std::string_view kInitialCaption = "Tovask 1.0 beta";
inline constexpr std::string_view kNoSelectionStatus = "没有选择文件";
inline constexpr std::string_view kNoInformationStatus = "没有文件信息";

// What the main window shows after a reload.
struct MainWindowState {
  std::string caption;     // "Tovask", or path + " - Tovask"
  std::string statusText;  // status-bar part 1
  // The archive commands: extract all, the operations menu, find, information, and the toolbar
  // buttons extract all, add, extract, delete, find and information.
  bool archiveCommandsEnabled = false;
  bool listCleared = false;  // the reload failed: the list is empty now
  std::string errorText;     // non-empty: show it in a box titled "错误"
};

// The main window's reload. shown is the listing the main list and the information window
// show: the archive of the last successful reload, nullopt before the first one.
//   - No archive (currentArchivePath ""): caption "Tovask", status text "", commands disabled;
//     shown is left as it is.
//   - The archive lists: shown := its listing; caption path (control characters escaped) +
//     " - Tovask"; the status text names the version, the entry count and the total original
//     size ("RID1.05版压缩包，共3个文件，合计12,000字节。"); commands enabled.
//   - The archive does not list: errorText holds the error log for the box, listCleared is
//     set, currentArchivePath becomes "", shown becomes nullopt (so the information window
//     never shows figures of an archive that is no longer current) and the rest of the state is
//     the no-archive one, since no archive is current any more.
// User-interface thread only; a list model showing `shown` resets itself around the call.
[[nodiscard]] MainWindowState RefreshMainWindow(AppContext& context,
                                                std::optional<ArchiveListing>& shown);

}  // namespace tovask
