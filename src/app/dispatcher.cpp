#include "app/dispatcher.h"

#include <exception>
#include <optional>

#include "core/message_codes.h"
#include "core/messages.h"
#include "extract/extraction.h"
#include "operations/compress_add.h"
#include "operations/entry_edits.h"
#include "platform/files.h"

namespace tovask {
namespace {

ExtractRequest ExtractionOf(const PendingOperation& job,
                            std::optional<std::vector<std::string>> selection) {
  ExtractRequest extract;
  extract.archivePath = job.archivePath;
  extract.password = job.password;
  extract.targetFolder = job.targetFolder;
  extract.askBeforeOverwrite = true;
  extract.selection = std::move(selection);
  return extract;
}

CompressRequest CompressionOf(const PendingOperation& job, bool newArchive) {
  return CompressRequest{job.items, job.archivePath, job.password, newArchive};
}

// Runs the operation named by job.kind; nullopt when the kind names none.
std::optional<Outcome> RunKind(AppContext& context, const PendingOperation& job,
                               const OperationSeams& seams) {
  if (job.kind == kKindCompress) return CompressAndAdd(context, CompressionOf(job, true), seams);
  if (job.kind == kKindExtractAll) {
    return ExtractEntries(context, ExtractionOf(job, std::nullopt), seams);
  }
  if (job.kind == kKindAdd) return CompressAndAdd(context, CompressionOf(job, false), seams);
  if (job.kind == kKindExtractSelected) {
    return ExtractEntries(context, ExtractionOf(job, job.items), seams);
  }
  if (job.kind == kKindDelete) {
    return DeleteEntries(context, DeleteRequest{job.archivePath, job.items}, seams);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Outcome> RunPendingOperation(AppContext& context, PendingOperation& request,
                                           const DispatchSeams& seams) {
  // The window may reset the request while the operation runs (its button destroys it); the
  // operation and the steps after it therefore work on this copy.
  const PendingOperation job = request;

  // Every operation watches the window's sink itself (InterruptWatch): once it has answered
  // "stop", the operation stops there and its outcome is Interrupted.
  std::optional<Outcome> outcome;
  try {
    outcome = RunKind(context, job, seams.operation);
  } catch (const std::exception& e) {
    ErrorText(context, ErrorCode::InternalFailure, {e.what()});
    outcome = OutcomeOf(context, false, InterruptWatch(nullptr));
  }
  if (!outcome) return std::nullopt;

  // The user stopped the run: the window that asked closes itself once this call returns, and
  // the stop is no failure to report. Nothing of the window is touched any more (the run's
  // 107 stays in the error log).
  if (outcome->kind == OutcomeKind::Interrupted) {
    request.succeeded = false;
    return outcome;
  }
  request.succeeded = outcome->kind == OutcomeKind::Done || outcome->kind == OutcomeKind::Cancelled;
  if (request.succeeded) {
    if (seams.setButtonCaption) seams.setButtonCaption(std::string(kDoneCaption));
    if (platform::FileExists(job.archivePath)) context.currentArchivePath = job.archivePath;
  } else {
    if (seams.errors != nullptr) {
      seams.errors->ShowError(CurrentErrorLog(context), std::string(kErrorTitle));
    }
    request.closeWhenDone = true;
  }
  if (request.closeWhenDone) {
    request.closeWhenDone = false;
    if (seams.closeWindow) seams.closeWindow();
  }
  return outcome;
}

void ResetPendingOperation(PendingOperation& request) {
  request.kind.clear();
  request.archivePath.clear();
  request.targetFolder.clear();
  request.items.clear();
  request.closeWhenDone = false;
  request.password.clear();
}

}  // namespace tovask
