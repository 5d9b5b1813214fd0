// Copies of entries that the desktop program hands to other programs: an entry opened with
// the desktop's default application, entries dragged out onto a file manager. Both are
// extracted (and so verified) by the extraction engine into a fresh folder of their own inside
// one private folder of the program run, which goes away with everything in it when the
// program ends.
//
// A fresh folder per open or drag means extraction never meets an existing file (no overwrite
// question), and a copy that a viewer still shows is never replaced under it by a later open
// of the same entry.
//
// What a drag offers: the first level of each dragged entry below its folder, once each. An
// entry "docs\a.txt" is extracted to <folder>/docs/a.txt and offered as <folder>/docs, so the
// receiving file manager copies the folder level too, and dropping gives exactly what
// "解压文件" into the drop folder gives: entries keep their names and folder levels, entries
// of one folder land together in that folder, entries from several folders in their folders
// side by side, and only the dragged entries are in them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_context.h"

namespace tovask {

// The private folder of a program run. Not copyable; one owner (the main window) for the
// program's life.
class TemporaryCopies {
 public:
  // parent: the folder the run's folder is made in; "" means platform::TemporaryFilesFolder()
  // when the first folder is asked for. Nothing is made before that.
  explicit TemporaryCopies(std::string parent = {});
  // Removes the run's folder and everything in it (read-only copies included).
  ~TemporaryCopies();
  TemporaryCopies(const TemporaryCopies&) = delete;
  TemporaryCopies& operator=(const TemporaryCopies&) = delete;

  // A new empty folder for one open or one drag, never handed out before: a numbered level
  // ("1", "2", ...) in the run's folder "tovask-XXXXXX" (random letters). Both have mode 0700,
  // so no other user can read the copies. The run's folder is made at the first call, and made
  // again when something removed it meanwhile. On failure the error log starts afresh with 35
  // naming the folder that could not be made, and the result is nullopt.
  [[nodiscard]] std::optional<std::string> NewFolder(AppContext& context);

  // The run's folder; "" before the first NewFolder.
  [[nodiscard]] const std::string& path() const { return root_; }

 private:
  std::string parent_;
  std::string root_;
  unsigned next_ = 1;
};

// The path extraction writes the entry name to below folder ("\" levels become folders).
[[nodiscard]] std::string ExtractedPath(std::string_view folder, std::string_view entryName);

// The copy of entryName extracted below folder, made read-only (a viewer should not invite
// changes that would vanish with the folder); nullopt when no such file is there (extraction
// skips an entry by its name without a message).
[[nodiscard]] std::optional<std::string> OpenableCopy(std::string_view folder,
                                                      std::string_view entryName);

// The paths a drag of entryNames offers once they have been extracted below folder: the first
// level of each name, once each, in the order first met, leaving out what is not there.
[[nodiscard]] std::vector<std::string> DraggedPaths(std::string_view folder,
                                                    const std::vector<std::string>& entryNames);

}  // namespace tovask
