// Open files, temporary files and the atomic replacement of a file, plus the fault-injection
// seam through which tests make any of these fail (tests run as root, where permissions
// never fail by themselves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace tovask::platform {

// The operations a fault hook can make fail.
enum class FileOp {
  OpenRead,     // File::OpenLockedForRead: open
  Lock,         // File::OpenLockedForRead: the exclusive lock
  CreateTemp,   // File::CreateTemporary
  Read,         // File::Read
  Seek,         // File::Seek
  Write,        // File::Write, WriteWholeFile
  Sync,         // File::Sync, the folder sync after ReplaceWith
  Rename,       // ReplaceWith, RenameFile
  Remove,       // RemoveFile
  CreateFolder, // CreateFolder
  SetTime,      // SetModifiedTime
  SetMode,      // SetReadOnly, File::SetMode
};

// Called before each listed operation with the path it works on. A nonzero result is an errno
// value and makes the operation fail with it; a failing Write first writes half of its bytes,
// as a disk that fills up does. An empty hook (the default) injects nothing.
using FaultHook = std::function<int(FileOp op, const std::string& path)>;
void SetFaultHook(FaultHook hook);

// Used by the platform layer's implementation: the injected errno for op, or 0.
[[nodiscard]] int InjectedFault(FileOp op, const std::string& path);

// An open file. Move-only; closes on destruction.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file read-only and locks it exclusively (flock LOCK_EX | LOCK_NB), so a
  // read-only archive can still be read. Failing the lock is failing the open.
  [[nodiscard]] static std::optional<File> OpenLockedForRead(const std::string& path);

  // Creates a new hidden file "." + baseName + "-XXXXXX" in folder (mkstemp, mode 0600) and
  // locks it; *createdPath receives its path.
  [[nodiscard]] static std::optional<File> CreateTemporary(const std::string& folder,
                                                          std::string_view baseName,
                                                          std::string* createdPath);

  [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
  [[nodiscard]] std::optional<std::uint64_t> Size() const;
  [[nodiscard]] bool Seek(std::uint64_t position);
  // Reads up to count bytes from the current position; fewer at the end of the file.
  // nullopt on a read error.
  [[nodiscard]] std::optional<Bytes> Read(std::size_t count);
  // Writes all bytes at the current position; false when not all of them were written.
  [[nodiscard]] bool Write(ByteView bytes);
  [[nodiscard]] bool Sync();
  [[nodiscard]] bool SetMode(unsigned mode);
  // Closes the file; false when the close reported an error.
  bool Close();

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Permission bits for a file that is to replace target: target's own bits when it exists
// (links followed), otherwise 0666 & ~umask.
[[nodiscard]] unsigned ReplacementMode(const std::string& target);

// Puts the finished file tempPath in place of target with one rename, so there is never a
// moment without a file at target. When target is a symbolic link, the file the link finally
// points to is replaced and the link stays. The folder is synced afterwards.
[[nodiscard]] bool ReplaceWith(const std::string& tempPath, const std::string& target);

// Renames a file; an existing file at to is replaced.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to);

}  // namespace tovask::platform
