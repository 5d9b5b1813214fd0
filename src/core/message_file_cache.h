// The message file as last read and parsed, so that a lookup costs one look at the file's
// stamp instead of an open, a read and a parse of the whole file.
//
// Every lookup still sees the file as it is at that moment: the parsed copy is used only while
// the file at the same path has the same stamp (identity, size, modification and change time),
// so an edit, a replacement or a removal takes effect at the next lookup. A file changed so
// shortly before it was read that a later change could carry the same time stamp (the file
// system keeps its times coarser than the clock) is read again at each lookup, and its parsed
// copy kept while the bytes stay the same, until the stamp is old enough to tell every later
// change apart.
//
// Threads: not thread-safe. It belongs to one AppContext, and like it is used from one thread
// only (in the desktop program the UI thread, where operations run).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/ini_file.h"

namespace tovask {

class MessageFileCache {
 public:
  // How long before a read the file's last change must lie for its stamp alone to vouch for
  // the parsed copy: longer than the coarsest time stamps a file system keeps (two seconds)
  // plus the lag of the kernel's coarse clock behind the system clock.
  static constexpr std::chrono::nanoseconds kDefaultSettleTime = std::chrono::seconds(3);

  MessageFileCache() = default;
  // Tests pass zero to see the cache at work on a file written just before.
  explicit MessageFileCache(std::chrono::nanoseconds settleTime) : settleTime_(settleTime) {}

  // The file at path, parsed; nullptr when no file can be read there (then every lookup falls
  // back to the built-in texts). The pointer is valid until the next call.
  [[nodiscard]] const platform::IniFile* Current(const std::string& path);

 private:
  void Forget();

  std::chrono::nanoseconds settleTime_ = kDefaultSettleTime;
  std::string path_;
  std::optional<platform::FileStamp> stamp_;
  // True once the stamp was taken long enough before the last read that any later change of
  // the file must show in its stamp.
  bool settled_ = false;
  std::string bytes_;
  std::optional<platform::IniFile> file_;
};

}  // namespace tovask
