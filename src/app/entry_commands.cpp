#include "app/entry_commands.h"

#include "operations/entry_edits.h"

namespace tovask {

EntryCommandResult CommitRename(AppContext& context, const std::string& oldName,
                                const std::string& newName) {
  EntryCommandResult result;
  result.accepted = RenameEntry(context, context.currentArchivePath, oldName, newName);
  if (!result.accepted) {
    result.errorText = CurrentErrorLog(context);
    result.errorTitle = kRenameFailedTitle;
  }
  return result;
}

EntryCommandResult SetPasswordCommand(AppContext& context, const std::vector<std::string>& names,
                                      PasswordPrompt& prompt) {
  EntryCommandResult result;
  result.accepted = EncryptEntries(context, context.currentArchivePath, "", names, &prompt);
  if (!result.accepted) {
    result.errorText = CurrentErrorLog(context);
    result.errorTitle = kSetPasswordFailedTitle;
  }
  return result;
}

}  // namespace tovask
