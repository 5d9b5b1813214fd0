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

// Passes every report on to the window's sink and remembers when the user interrupted. The
// dispatcher so learns of the interrupt from the window itself, not from the error log, and
// once the window has answered "stop" it is not asked anything again.
class InterruptWatch : public ProgressSink {
 public:
  explicit InterruptWatch(ProgressSink& window) : window_(window) {}

  bool Report(int percent, const std::string& text) override {
    if (!interrupted_ && !window_.Report(percent, text)) interrupted_ = true;
    return !interrupted_;
  }
  bool ProcessEvents() override {
    if (!interrupted_ && !window_.ProcessEvents()) interrupted_ = true;
    return !interrupted_;
  }
  [[nodiscard]] bool interrupted() const { return interrupted_; }

 private:
  ProgressSink& window_;
  bool interrupted_ = false;
};

// Runs the operation named by job.kind; nullopt when the kind names none.
std::optional<bool> RunKind(AppContext& context, OverwritePrompt& prompt,
                            const PendingOperation& job, const DispatchSeams& seams,
                            ProgressSink* sink) {
  const ExtractSeams extractSeams{sink, seams.passwordPrompt, seams.overwrite};
  if (job.kind == kKindCompress) {
    return CompressAndAdd(context, job.items, job.archivePath, job.password, true, sink);
  }
  if (job.kind == kKindExtractAll) {
    return ExtractEntries(context, prompt, ExtractionOf(job, std::nullopt), extractSeams);
  }
  if (job.kind == kKindAdd) {
    return CompressAndAdd(context, job.items, job.archivePath, job.password, false, sink);
  }
  if (job.kind == kKindExtractSelected) {
    return ExtractEntries(context, prompt, ExtractionOf(job, job.items), extractSeams);
  }
  if (job.kind == kKindDelete) {
    return DeleteEntries(context, job.archivePath, job.items, sink);
  }
  return std::nullopt;
}

}  // namespace

void RunPendingOperation(AppContext& context, OverwritePrompt& prompt, PendingOperation& request,
                         const DispatchSeams& seams) {
  // The window may reset the request while the operation runs (its button destroys it); the
  // operation and the steps after it therefore work on this copy.
  const PendingOperation job = request;

  std::optional<InterruptWatch> watch;
  if (seams.sink != nullptr) watch.emplace(*seams.sink);
  std::optional<bool> outcome;
  try {
    outcome = RunKind(context, prompt, job, seams, watch ? &*watch : nullptr);
  } catch (const std::exception& e) {
    ErrorText(context, ErrorCode::InternalFailure, {e.what()});
    outcome = false;
  }
  if (!outcome) return;

  request.succeeded = *outcome && !(watch && watch->interrupted());
  // The user stopped the run: the window that asked closes itself once this call returns, and
  // the stop is no failure to report. Nothing of the window is touched any more (the run's
  // 107 stays in the error log).
  if (watch && watch->interrupted()) return;
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
