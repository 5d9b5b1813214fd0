// The file-system operations the engine needs, on absolute native paths (taken apart and
// joined by platform/paths.h). Linux today (posix/), Windows later; no caller includes an OS
// header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/paths.h"

namespace tovask::platform {

// Directory of the running executable as the OS reports it (no trailing separator added);
// "" when the OS does not tell.
[[nodiscard]] std::string ExecutableDirectory();

// Absolute path of the running executable as the OS reports it; "" when the OS does not tell.
[[nodiscard]] std::string ExecutablePath();

// The per-user configuration folder of the program: $XDG_CONFIG_HOME/tovask, default
// ~/.config/tovask (no trailing separator); "" when no home folder is known.
[[nodiscard]] std::string UserConfigDirectory();

// The current working directory; "" when it is unknown (for example removed).
[[nodiscard]] std::string CurrentDirectory();

// What a path is. Links are followed (stat), except isLink, which tells whether the path
// itself is a symbolic link. nullopt when nothing exists there, also for a dangling link
// (PathExists tells that one apart).
struct FileInfo {
  bool isRegular = false;
  bool isDirectory = false;
  bool isLink = false;
  bool ownerWritable = false;
  std::uint64_t size = 0;
  std::int64_t modifiedUnix = 0;  // seconds since 1970-01-01 UTC
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};
[[nodiscard]] std::optional<FileInfo> StatPath(const std::string& path);

// True when something that is not a folder exists at path (links followed).
[[nodiscard]] bool FileExists(const std::string& path);
// True when a folder exists at path (links followed).
[[nodiscard]] bool FolderExists(const std::string& path);
// True when anything, also a dangling link, exists at path.
[[nodiscard]] bool PathExists(const std::string& path);

// Reads a whole regular file, however its size changes while it is read; nullopt when it
// cannot be opened or read, or is not a regular file (a FIFO never blocks the call).
[[nodiscard]] std::optional<Bytes> ReadWholeFile(const std::string& path);
// The same into a buffer kept from call to call: the file's bytes are buffer[0, result); the
// buffer only grows (it is never shrunk here, so a reused buffer costs no fresh pages), and
// sizeHint (the expected length) sizes it in one step. nullopt as ReadWholeFile.
[[nodiscard]] std::optional<std::size_t> ReadFileInto(const std::string& path, Bytes& buffer,
                                                      std::size_t sizeHint);

// Creates or replaces the file at path with the bytes; false on any failure. The bytes go to
// a temporary file beside it that is synced and renamed over path (a link at path keeps
// pointing at the new file), so path holds either its old content or all the new bytes and
// no temporary file is left. A replaced file keeps its permission bits; a new one gets
// 0666 & ~umask.
[[nodiscard]] bool WriteWholeFile(const std::string& path, ByteView bytes);

// Creates one folder level (mode 0777 & ~umask); true when it exists afterwards as a folder.
[[nodiscard]] bool CreateFolder(const std::string& path);

// Removes a file (not a folder); true when it is gone, also when it was never there.
[[nodiscard]] bool RemoveFile(const std::string& path);

// Sets the last-write time (links followed), leaving the access time unchanged.
[[nodiscard]] bool SetModifiedTime(const std::string& path, std::int64_t unixSeconds);

// ReadOnly true removes every write bit; false gives the owner write permission back.
[[nodiscard]] bool SetReadOnly(const std::string& path, bool readOnly);

// Names in a folder, without "." and "..", sorted bytewise; nullopt when it cannot be read.
[[nodiscard]] std::optional<std::vector<std::string>> ListFolder(const std::string& path);

// Reads one value of an INI file as IniFile (ini_file.h) parses it. A missing file, section or
// key, or a value that does not decode, gives defaultValue.
[[nodiscard]] std::string ReadIniValue(const std::string& path, std::string_view section,
                                       std::string_view key, std::string_view defaultValue);

// What tells one version of a file from another without reading it: any write or replacement
// changes the change time (which, unlike the modification time, no program can set back) or
// the identity. Times are nanoseconds since 1970-01-01 UTC, as fine as the file system keeps
// them (down to whole seconds, or two on some).
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  std::int64_t changedNanoseconds = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// The stamp of what path names (links followed); nullopt when nothing is there, or a folder.
[[nodiscard]] std::optional<FileStamp> StampFile(const std::string& path);

}  // namespace tovask::platform
