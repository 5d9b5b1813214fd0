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
// Relative paths use the native separator; callers pass only names that passed the entry-name
// check (no "." or ".." level, no empty level, not absolute). The fault hook of
// platform/file_handle.h applies: CreateFolder (each folder created), CreateTemp (the folder),
// Write (the temporary file), SetMode, SetTime and Rename (the final path).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/bytes.h"

namespace tovask::platform {

// What lies at a relative path below the folder, links not followed.
enum class PathState {
  Missing,       // nothing there (or a level on the way is a file: nothing can be there)
  Exists,        // something is there: a file, a folder, a link (also a dangling one)
  LinkOnTheWay,  // a folder level on the way is a symbolic link
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

 private:
  SafeFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_ = -1;
  std::string path_;
};

}  // namespace tovask::platform
