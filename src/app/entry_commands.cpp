#include "app/entry_commands.h"

#include "operations/entry_edits.h"

namespace tovask {

EntryCommandResult CommitRename(AppContext& context, const std::string& oldName,
                                const std::string& newName) {
  EntryCommandResult result;
  result.accepted =
      RenameEntry(context, RenameRequest{context.currentArchivePath, oldName, newName}).done();
  if (!result.accepted) {
    result.errorText = CurrentErrorLog(context);
    result.errorTitle = kRenameFailedTitle;
  }
  return result;
}

EntryCommandResult SetPasswordCommand(AppContext& context, const std::vector<std::string>& names,
                                      PasswordPrompt& prompt) {
  EntryCommandResult result;
  OperationSeams seams;
  seams.password = &prompt;
  const Outcome outcome =
      EncryptEntries(context, EncryptRequest{context.currentArchivePath, "", names}, seams);
  // A cancelled prompt wrote nothing and is no failure: the list is reloaded all the same.
  result.accepted = outcome.kind == OutcomeKind::Done || outcome.kind == OutcomeKind::Cancelled;
  if (!result.accepted) {
    result.errorText = CurrentErrorLog(context);
    result.errorTitle = kSetPasswordFailedTitle;
  }
  return result;
}

}  // namespace tovask
