// The two main-window commands that change the archive without a progress window: the end of
// an in-place rename (CommitRename) and "设置密码" (SetPasswordCommand). The window shows its
// wait label around the call and acts on the result: it keeps or rejects the edited text,
// reloads, or shows the error box. User-interface thread only; no Qt types.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/app_context.h"
#include "core/prompts.h"

namespace tovask {

inline constexpr std::string_view kRenameFailedTitle = "文件名修改失败";
inline constexpr std::string_view kSetPasswordFailedTitle = "设置密码失败";

struct EntryCommandResult {
  // Rename: the row keeps the new text. Set password: reload the list (also after a cancelled
  // password prompt, when nothing was written).
  bool accepted = false;
  // Set when !accepted: the whole error log, shown with the error icon (flags 16) and the title.
  std::string errorText;
  std::string errorTitle;
};

// Renames oldName to newName in the current archive (currentArchivePath). The row's old text
// is the entry's name (ArchiveEntry::path), never the escaped cell text.
[[nodiscard]] EntryCommandResult CommitRename(AppContext& context, const std::string& oldName,
                                              const std::string& newName);

// Encrypts the named entries of the current archive (the selected rows' names in ascending row
// order; none selected: an empty list, which rewrites the archive unchanged). The password is
// always asked through prompt (title 34, caption 35, masked).
[[nodiscard]] EntryCommandResult SetPasswordCommand(AppContext& context,
                                                    const std::vector<std::string>& names,
                                                    PasswordPrompt& prompt);

}  // namespace tovask
