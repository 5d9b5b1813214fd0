// The operation dispatcher: a window (or tvk) fills a PendingOperation, and RunPendingOperation
// runs it by its kind, shows the error log on failure and says whether to close the progress
// window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_context.h"
#include "core/operation.h"
#include "core/prompts.h"

namespace tovask {

inline constexpr std::string_view kKindCompress = "压缩文件";
inline constexpr std::string_view kKindExtractAll = "释放文件";
inline constexpr std::string_view kKindAdd = "添加文件";
inline constexpr std::string_view kKindExtractSelected = "解压文件";
inline constexpr std::string_view kKindDelete = "删除文件";
inline constexpr std::string_view kErrorTitle = "错误";
inline constexpr std::string_view kDoneCaption = "完成";

struct PendingOperation {
  std::string kind;
  std::string archivePath;
  std::string targetFolder;
  std::vector<std::string> items;
  bool closeWhenDone = false;
  bool succeeded = false;  // not reset
  std::string password;
};

// What the dispatcher needs from the window that runs it. Every seam is called on the thread
// that called RunPendingOperation (the user-interface thread) and must live until
// RunPendingOperation returns: the progress window outlives the run it hosts. Its "中断" button
// only makes the sink's next Report (or ProcessEvents) answer false; the window is closed by
// its own code after RunPendingOperation has returned.
struct DispatchSeams {
  OperationSeams operation;  // the window's progress sink, password prompt, overwrite question
  ErrorDisplay* errors = nullptr;
  std::function<void(const std::string&)> setButtonCaption;  // "完成" after success
  std::function<void()> closeWindow;
};

// Runs the request by its kind (exact comparison with the five kinds, in the order compress,
// extract all, add, extract selected, delete). The operation works on copies of the request's
// fields. Success: button caption "完成", and currentArchivePath := archivePath when a file
// exists there. Failure: the error log shown with title "错误", then the window closes.
// closeWhenDone: cleared and the window closed. The outcome Cancelled (the user answered
// "取消" to the overwrite question) counts as success: nothing failed.
// Interrupt: once the sink has answered false, it is not called again; the operation stops
// there (the archive as it was, 107 in the error log), succeeded is false, and no seam is
// called any more: no error box, no caption, no closeWindow (the window closes itself).
// Returns the operation's outcome; nullopt for an unknown kind, which runs nothing.
[[nodiscard]] std::optional<Outcome> RunPendingOperation(AppContext& context,
                                                         PendingOperation& request,
                                                         const DispatchSeams& seams);

// Every field back to its empty value, except succeeded.
void ResetPendingOperation(PendingOperation& request);

}  // namespace tovask
