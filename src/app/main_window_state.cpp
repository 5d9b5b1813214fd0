#include "app/main_window_state.h"

#include <array>
#include <utility>

#include "core/display_text.h"
#include "core/messages.h"

namespace tovask {

MainWindowState RefreshMainWindow(AppContext& context, std::optional<ArchiveListing>& shown) {
  MainWindowState state;
  state.caption = std::string(kProductName);
  if (context.currentArchivePath.empty()) return state;

  ArchiveListing listing;
  if (!ListArchive(context, context.currentArchivePath, listing)) {
    // No archive is current any more: show the no-archive presentation rather than the
    // figures and commands of an archive that is gone, and drop the old listing so that the
    // information window cannot show another archive's figures under no name.
    state.errorText = CurrentErrorLog(context);
    state.listCleared = true;
    context.currentArchivePath.clear();
    shown.reset();
    return state;
  }

  const std::array<std::string, 5> figures = SummaryTexts(listing.summary);
  shown = std::move(listing);
  state.caption =
      EscapeControlCharacters(context.currentArchivePath).append(" - ").append(kProductName);
  state.statusText =
      figures[0] + "版压缩包，共" + figures[1] + "个文件，合计" + figures[2] + "字节。";
  state.archiveCommandsEnabled = true;
  return state;
}

}  // namespace tovask
