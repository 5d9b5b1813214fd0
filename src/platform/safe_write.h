// Link-safe file creation below one folder: the files that extraction writes.
//
// A SafeFolder holds an open descriptor of the target folder. Every level below it is reached
// from that descriptor one name at a time without following symbolic links, so neither a link
// placed inside the target nor a folder swapped for a link while the run goes on can lead a
// write out of it. Files are written under a hidden temporary name in their folder and renamed
// into place once complete (mode and time already set), so a reader never sees half a file.
// Neither the file nor its folder is flushed to disk (no fsync): the rename alone keeps a
// partly written file from standing under the final name.
//
// Folders already reached stay open for the folder's lifetime (a short chain: the levels of
// the folder last used), so entries of one folder cost no walk from the top. After Recheck
// (and when the folder is opened), the first use of a kept level checks each level of the
// chain on the way to still be the very folder that was opened (same device and inode, not a
// link) at its name in its parent: a level renamed away or swapped for a link since is
// dropped and reached afresh, which refuses the link. A caller calls Recheck wherever the
// tree may have changed meanwhile: before each file it handles, and after waiting on the user.
//
// Relative paths use the native separator; callers pass only names that passed the entry-name
// check (no "." or ".." level, no empty level, not absolute). The fault hook of
// platform/file_handle.h applies: OpenRead (the folder opened, each level reached), CreateFolder
// (each folder created), CreateTemp (the folder), Write, Close and Remove (the temporary file),
// SetMode, SetTime and Rename (the final path).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.h"

namespace tovask::platform {

// What lies at a relative path below the folder, links not followed.
enum class PathState {
  Missing,       // nothing there (or a level on the way is a file: nothing can be there)
  Exists,        // something is there: a file, a folder, a link (also a dangling one)
  LinkOnTheWay,  // a folder level on the way is a symbolic link
  Unknown,       // the path could not be looked at (an I/O error, no permission): what is
                 //   there, if anything, is not known, so nothing may be written there unasked
};

enum class FolderStatus {
  Ok,            // every level exists as a real folder
  LinkOnTheWay,  // a level is a symbolic link: refused, nothing followed
  Failed,        // a level could not be created (or is a file)
};

enum class WriteStatus {
  Written,           // the file is in place (see timeSet / modeSet)
  ReadOnlyExisting,  // an existing file there has no owner write permission: left alone
  LinkOnTheWay,      // a folder level on the way is a symbolic link: nothing written
  Failed,            // not written; the temporary file is gone
};

struct WriteOptions {
  // Last-write time to give the file (UTC seconds); nullopt leaves the time of writing.
  std::optional<std::int64_t> modifiedUnix;
  // Removes every write bit (after the content and the time are in place).
  bool readOnly = false;
};

struct WriteResult {
  WriteStatus status = WriteStatus::Failed;
  bool timeSet = false;  // modifiedUnix was given and set
  bool modeSet = false;  // the permission bits were set
};

// A file being written under its hidden temporary name (SafeFolder::BeginFile). It borrows the
// descriptor of its folder from the SafeFolder: no other call may be made on that SafeFolder
// until the file is committed or discarded. Dropping it without Commit removes the temporary
// file.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // Appends the piece. False when it could not be written; the file is given up then (every
  // later Write fails and Commit reports Failed).
  [[nodiscard]] bool Write(ByteView piece);
  // Gives the file its mode and time, closes it and renames it into place. Written, or Failed
  // with the temporary file removed; also Failed when options.readOnly is set and the write
  // bits cannot be removed (a file must not stand writable with its attribute lost). Other
  // mode and time failures leave the file in place and are told by modeSet and timeSet.
  [[nodiscard]] WriteResult Commit(const WriteOptions& options);
  // Removes the temporary file (nothing is left under any name).
  void Discard();

 private:
  friend class SafeFolder;
  int dir_ = -1;   // the folder's descriptor, owned by the SafeFolder
  int file_ = -1;  // the temporary file
  std::string tempName_;
  std::string tempPath_;  // folder path + tempName_, for the fault hook
  std::string name_;
  std::string finalPath_;
  unsigned mode_ = 0;
  bool failed_ = false;   // a write failed: the file is given up
  bool written_ = false;  // Write was called at least once
};

class SafeFolder {
 public:
  // Opens an existing folder (a link at path itself is followed: the caller chose it).
  [[nodiscard]] static std::optional<SafeFolder> Open(const std::string& path);

  SafeFolder(SafeFolder&& other) noexcept;
  SafeFolder& operator=(SafeFolder&& other) noexcept;
  SafeFolder(const SafeFolder&) = delete;
  SafeFolder& operator=(const SafeFolder&) = delete;
  ~SafeFolder();

  // The folder's path as given to Open.
  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + relative.
  [[nodiscard]] std::string FullPath(const std::string& relative) const;

  // The kept levels are checked again at their next use (see above).
  void Recheck();

  [[nodiscard]] PathState Probe(const std::string& relative) const;

  // Creates every missing level of the relative folder path, top down. On Failed or
  // LinkOnTheWay, *failedPath (when not null) receives the full path of the level concerned.
  [[nodiscard]] FolderStatus EnsureFolders(const std::string& relativeFolder,
                                           std::string* failedPath);

  // Writes content as the file at relative (its folders must exist). An existing file there
  // is replaced and keeps its permission bits; a link there is itself replaced, never written
  // through; a new file gets 0666 & ~umask.
  [[nodiscard]] WriteResult WriteFile(const std::string& relative, ByteView content,
                                      const WriteOptions& options);

  // The first half of WriteFile, for content that comes in pieces: checks the place as
  // WriteFile does and creates the temporary file there. Written (meaning "begun") with the
  // file in *file; any other status as WriteFile gives it, with nothing created. The file's
  // permission bits are decided here (options.readOnly is taken from the Commit).
  [[nodiscard]] WriteStatus BeginFile(const std::string& relative, PendingFile* file);

 private:
  struct Chain;
  SafeFolder(int fd, std::string path);
  // Reaches the folder made of the first `count` levels (from the kept chain where it still
  // holds, creating missing levels when create is set). On success *dir is its descriptor,
  // owned by the chain and valid until the next call. On failure *failedAt is the index of
  // the level concerned. The chain is a cache: reaching through it changes nothing a caller
  // can see, hence const.
  enum class Reach { Ok, Missing, Link, NotFolder, Failed };
  Reach ReachFolder(const std::vector<std::string>& levels, std::size_t count, bool create,
                    int* dir, std::size_t* failedAt) const;

  int fd_ = -1;
  std::string path_;
  unsigned umask_ = 0;  // the process's umask when the folder was opened
  std::unique_ptr<Chain> chain_;
};

}  // namespace tovask::platform
