#include "archive/archive_lock.h"

#include <utility>

#include "core/message_codes.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {

std::optional<ArchiveLock> ArchiveLock::Acquire(AppContext& context, const std::string& path,
                                                Purpose purpose, ErrorCode refusalCode) {
  if (!platform::IsAbsolutePath(path)) {
    ErrorText(context, ErrorCode::PathNotAbsolute, {platform::AsciiUpper(path)});
    return std::nullopt;
  }
  const platform::LockKind kind =
      purpose == Purpose::Read ? platform::LockKind::Shared : platform::LockKind::Exclusive;
  platform::OpenFailure why{};
  std::optional<platform::File> file = platform::File::OpenLocked(path, kind, &why);
  if (!file && !(purpose == Purpose::Change && why == platform::OpenFailure::Missing)) {
    ErrorText(context, refusalCode, {platform::AsciiUpper(path)});
    if (why == platform::OpenFailure::Busy) {
      ErrorText(context, ErrorCode::ArchiveBusy, {platform::AsciiUpper(path)});
    }
    return std::nullopt;
  }
  if (purpose == Purpose::Change) (void)platform::RemoveStaleTemporaries(path);
  return ArchiveLock(std::move(file), path, purpose);
}

}  // namespace tovask
