// ArchiveLock: the hold an operation keeps on one archive file while it works on it.
//
// Readers (listing, extraction, testing) hold an archive shared, so they never block each
// other. A change (add, delete, rename, set password, a new archive) holds it exclusively from
// before it reads the archive until its new file has replaced the old one, so no second change
// can start from the old contents: a change reported as done is in the archive. A change and a
// reader exclude each other. Holds never wait: a busy archive is refused at once, with message
// 2 (or the caller's own) followed by 112 "in use by another program".
//
// The hold is a lock on the archive's own open descriptor, checked after locking to be the
// file the path still names. No companion lock file exists that a crash could leave behind or
// that read-only media would refuse, and archives in one folder stay independent of each
// other. A change to an archive that does not exist yet holds nothing; its writer then puts
// the new file in place only if no file has appeared at the path meanwhile (PlaceNew).
//
// A change also removes, once it holds the archive, the temporary files that a killed writer
// of the same archive left beside it (only files of our temporary-name pattern that no open
// file holds).
//
// Move-only; the hold ends when the object is destroyed.
#pragma once

#include <optional>
#include <string>

#include "core/app_context.h"
#include "core/message_codes.h"
#include "platform/file_handle.h"

namespace tovask {

class ArchiveLock {
 public:
  enum class Purpose { Read, Change };

  // Holds the archive at the absolute path for purpose. Read: the archive must exist.
  // Change: a missing archive is held as absent (exists() false). On failure records
  // refusalCode with the path in upper case, then 112 when another program holds the
  // archive, and returns nullopt; a relative path is refused with 100.
  [[nodiscard]] static std::optional<ArchiveLock> Acquire(AppContext& context,
                                                          const std::string& path, Purpose purpose,
                                                          ErrorCode refusalCode);

  [[nodiscard]] bool exists() const { return file_.has_value(); }
  // The open, locked archive, positioned anywhere; only when exists().
  [[nodiscard]] platform::File& file() { return *file_; }
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] Purpose purpose() const { return purpose_; }

 private:
  ArchiveLock(std::optional<platform::File> file, std::string path, Purpose purpose)
      : file_(std::move(file)), path_(std::move(path)), purpose_(purpose) {}

  std::optional<platform::File> file_;
  std::string path_;
  Purpose purpose_;
};

}  // namespace tovask
