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
#include <utility>

#include "platform/bytes.h"

namespace tovask::platform {

// The operations a fault hook can make fail, and the path the hook is given for each. Every
// call of the platform layer that touches the file system for the engine passes here
// (safe_write.h and temporary_folders.h list theirs); looks that change nothing (stat) do not.
enum class FileOp {
  OpenRead,      // File::OpenLocked, ReadWholeFile: open (the file)
  Lock,          // File::OpenLocked, File::CreateTemporary: the lock (the file)
  CreateTemp,    // File::CreateTemporary, WriteWholeFile (the folder)
  Read,          // File::Read, ReadWholeFile (the file)
  Seek,          // File::Seek (the file)
  Write,         // File::Write, WriteWholeFile (the file written; for WriteWholeFile its
                 //   temporary file, whose name holds the target's name)
  Sync,          // File::Sync (the file), the folder sync after ReplaceWith (the folder)
  Close,         // File::Close (the file): the descriptor is released, the close reports
                 //   the error, as a delayed write error shows at close
  Rename,        // ReplaceWith, PlaceNew, RenameFile, WriteWholeFile (the destination)
  Remove,        // RemoveFile, RemoveStaleTemporaries, WriteWholeFile's clean-up (the file)
  CreateFolder,  // CreateFolder (the folder)
  SetTime,       // SetModifiedTime (the file)
  SetMode,       // SetReadOnly, File::SetMode (the file)
  ReadFolder,    // ListFolder (the folder)
};

// Called before each listed operation with the path it works on. A nonzero result is an errno
// value and makes the operation fail with it (errno is set to it); a failing Write first writes
// half of its bytes, as a disk that fills up does. An empty hook (the default) injects nothing.
// A hook may count calls to fail only the N-th one, or look at the path to pick one file.
using FaultHook = std::function<int(FileOp op, const std::string& path)>;
void SetFaultHook(FaultHook hook);

// Used by the platform layer's implementation: the injected errno for op, or 0.
[[nodiscard]] int InjectedFault(FileOp op, const std::string& path);

// How File::OpenLocked locks: shared locks do not exclude each other (readers); an exclusive
// lock excludes every other lock (a change).
enum class LockKind { Shared, Exclusive };

// Why File::OpenLocked failed.
enum class OpenFailure {
  Missing,  // nothing exists at the path (or a dangling link)
  Busy,     // another open holds a lock that excludes the one asked for
  Other,    // not a regular file, no permission, an I/O error, an injected fault (errno set)
};

// An open file. Move-only; closes (and so unlocks) on destruction.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing regular file read-only and locks it without waiting (flock with
  // LOCK_NB), so a read-only archive on read-only media can still be locked and read. Files
  // are replaced by renaming a new file over their path, so once the lock is taken the path
  // is checked to still name the locked file; when it names another one by then, the open
  // starts again with that one. Failing the lock is failing the open; *why (when not null)
  // tells the reason.
  [[nodiscard]] static std::optional<File> OpenLocked(const std::string& path, LockKind kind,
                                                      OpenFailure* why = nullptr);

  // Creates a new hidden file "." + baseName + "-XXXXXX" in folder (mkstemp, mode 0600) and
  // locks it exclusively for as long as it is open (RemoveStaleTemporaries leaves it alone
  // then); *createdPath (when not null) receives its path. A base name longer than 200 bytes
  // is cut to fit the length limit of one name.
  [[nodiscard]] static std::optional<File> CreateTemporary(const std::string& folder,
                                                           std::string_view baseName,
                                                           std::string* createdPath);

  // Creates an anonymous scratch file in folder, open for reading and writing, that no path
  // names: it is gone when closed, and also after a crash. Fault hook: CreateTemp (the folder).
  [[nodiscard]] static std::optional<File> CreateScratch(const std::string& folder);

  [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
  [[nodiscard]] std::optional<std::uint64_t> Size() const;
  [[nodiscard]] bool Seek(std::uint64_t position);
  // Reads up to count bytes from the current position; fewer at the end of the file.
  // nullopt on a read error.
  [[nodiscard]] std::optional<Bytes> Read(std::size_t count);
  // Reads up to count bytes at position into buffer without moving the file position (pread),
  // so several threads may read one open file at once; fewer at the end of the file. nullopt
  // on a read error. The fault hook sees it as Read.
  [[nodiscard]] std::optional<std::size_t> ReadAt(std::uint64_t position, std::uint8_t* buffer,
                                                  std::size_t count) const;
  // Writes all bytes at the current position; false when not all of them were written.
  [[nodiscard]] bool Write(ByteView bytes);
  // Copies length bytes at position of from to the current position of this file, inside the
  // kernel where the system can (no pass through user memory), leaving from's position alone.
  // False on an error or when from ends before position + length. The fault hook sees Read
  // (from's path) and Write (this file's; a failing one copies half first, as Write does).
  [[nodiscard]] bool CopyFrom(const File& from, std::uint64_t position, std::uint64_t length);
  [[nodiscard]] bool Sync();
  [[nodiscard]] bool SetMode(unsigned mode);
  // Closes the file; false when the close reported an error.
  bool Close();

 private:
  File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_ = -1;
  std::string path_;  // for the fault hook
};

// Permission bits for a file that is to replace target: target's own bits when it exists
// (links followed), otherwise 0666 & ~umask.
[[nodiscard]] unsigned ReplacementMode(const std::string& target);

// The file a path finally names: symbolic links at the path itself are followed (relative
// link texts resolved against the link's folder) until a non-link or a missing path; at most
// 40 steps. Other paths come back unchanged.
[[nodiscard]] std::string ResolveFinalTarget(const std::string& path);

// Puts the finished file tempPath in place of target with one rename, so there is never a
// moment without a file at target. When target is a symbolic link, the file the link finally
// points to (ResolveFinalTarget) is replaced and the link stays; callers create tempPath in
// that file's folder so the rename stays on one volume. The folder is synced afterwards; once
// the rename has succeeded the result is true (the data is in place), whatever the sync says.
// On failure tempPath is left for the caller to remove.
[[nodiscard]] bool ReplaceWith(const std::string& tempPath, const std::string& target);

// Puts the finished file tempPath at target only if nothing exists there (no replacing
// rename, or a hard link where the file system lacks it): a new archive never overwrites one
// that another program created meanwhile. The folder is synced afterwards. On any result but
// Placed, tempPath is left for the caller to remove.
enum class PlaceResult { Placed, TargetExists, Failed };
[[nodiscard]] PlaceResult PlaceNew(const std::string& tempPath, const std::string& target);

// Removes the temporary files that CreateTemporary made for replacing target (in the folder of
// the file target finally names, as ReplaceWith goes by) and that no open file holds any
// more: leftovers of a writer that was killed before it could remove its own. A file that a
// living writer holds (locked) is left alone. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& target);

// Renames a file; an existing file at to is replaced.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to);

}  // namespace tovask::platform
