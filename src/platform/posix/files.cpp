#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/file_handle.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/posix/posix_util.h"

namespace tovask::platform {
namespace {

using posix::RetryOnEintr;

bool Injected(FileOp op, const std::string& path) {
  const int fault = InjectedFault(op, path);
  if (fault == 0) return false;
  errno = fault;
  return true;
}

// The text of a symbolic link, or nullopt.
std::optional<std::string> ReadLink(const char* path) {
  std::string text(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(path, text.data(), text.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < text.size()) {
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

}  // namespace

std::string ExecutableDirectory() {
  const std::string exe = ExecutablePath();
  return exe.empty() ? "" : ParentFolder(exe);
}

std::string ExecutablePath() {
  const std::optional<std::string> exe = ReadLink("/proc/self/exe");
  if (!exe || exe->empty() || exe->front() != '/') return "";
  // A program file replaced while it runs (a rebuild, an upgrade) is reported with this
  // suffix; the path names the new file, which is what a later start runs.
  constexpr std::string_view kDeleted = " (deleted)";
  if (exe->ends_with(kDeleted) && !PathExists(*exe)) {
    return exe->substr(0, exe->size() - kDeleted.size());
  }
  return *exe;
}

std::string UserConfigDirectory() {
  const std::string config = posix::XdgBaseDirectory("XDG_CONFIG_HOME", ".config");
  return config.empty() ? "" : JoinPath(config, "tovask");
}

std::string CurrentDirectory() {
  std::string buffer(4096, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::char_traits<char>::length(buffer.c_str()));
      // Linux prefixes "(unreachable)" when the folder lies outside the process's root.
      return buffer.empty() || buffer.front() != '/' ? "" : buffer;
    }
    if (errno != ERANGE) return "";
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<FileInfo> StatPath(const std::string& path) {
  struct stat linkStat {};
  if (::lstat(path.c_str(), &linkStat) != 0) return std::nullopt;
  struct stat st = linkStat;
  const bool isLink = S_ISLNK(linkStat.st_mode);
  if (isLink && ::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileInfo info;
  info.isRegular = S_ISREG(st.st_mode);
  info.isDirectory = S_ISDIR(st.st_mode);
  info.isLink = isLink;
  info.ownerWritable = (st.st_mode & S_IWUSR) != 0;
  info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  info.modifiedUnix = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  info.device = static_cast<std::uint64_t>(st.st_dev);
  info.inode = static_cast<std::uint64_t>(st.st_ino);
  return info;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::size_t> ReadFileInto(const std::string& path, Bytes& buffer,
                                        std::size_t sizeHint) {
  if (Injected(FileOp::OpenRead, path)) return std::nullopt;
  // O_NONBLOCK: a FIFO must not hang the open; only regular files are read.
  const int fd =
      RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) return std::nullopt;
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return std::nullopt;
  }
  if (Injected(FileOp::Read, path)) return std::nullopt;
  try {
    // One byte past the expected length lets the end be seen without a second growth; the
    // file may still grow or shrink while it is read.
    const std::size_t first = std::max(sizeHint, static_cast<std::size_t>(st.st_size)) + 1;
    if (buffer.size() < first) buffer.resize(first);
    std::size_t filled = 0;
    for (;;) {
      if (filled == buffer.size()) buffer.resize(buffer.size() * 2);
      const ssize_t got =
          RetryOnEintr([&] { return ::read(fd, buffer.data() + filled, buffer.size() - filled); });
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    return filled;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return std::nullopt;
  } catch (const std::length_error&) {
    errno = EFBIG;
    return std::nullopt;
  }
}

std::optional<Bytes> ReadWholeFile(const std::string& path) {
  Bytes data;
  const std::optional<std::size_t> filled = ReadFileInto(path, data, 0);
  if (!filled) return std::nullopt;
  data.resize(*filled);
  return data;
}

bool WriteWholeFile(const std::string& path, ByteView bytes) {
  // Written beside the file and renamed over it: the path holds either its old content or
  // all of the new bytes, never a cut-off file that a later start would take as complete.
  const std::string finalTarget = ResolveFinalTarget(path);
  std::string tempPath;
  std::optional<File> file =
      File::CreateTemporary(ParentFolder(finalTarget), LastLevel(finalTarget), &tempPath);
  if (!file) return false;
  const bool written = file->Write(bytes) && file->SetMode(ReplacementMode(finalTarget)) &&
                       file->Sync() && file->Close();
  if (!written || !ReplaceWith(tempPath, finalTarget)) {
    const int saved = errno;
    file.reset();
    (void)RemoveFile(tempPath);
    errno = saved;
    return false;
  }
  return true;
}

bool CreateFolder(const std::string& path) {
  if (Injected(FileOp::CreateFolder, path)) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int saved = errno;
  if (saved == EEXIST && FolderExists(path)) return true;
  errno = saved;
  return false;
}

bool RemoveFile(const std::string& path) {
  if (Injected(FileOp::Remove, path)) return false;
  if (::unlink(path.c_str()) == 0) return true;
  return errno == ENOENT;
}

bool SetModifiedTime(const std::string& path, std::int64_t unixSeconds) {
  if (Injected(FileOp::SetTime, path)) return false;
  struct timespec times[2]{};
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays as it is
  times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  if (Injected(FileOp::SetMode, path)) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

std::optional<std::vector<std::string>> ListFolder(const std::string& path) {
  if (Injected(FileOp::ReadFolder, path)) return std::nullopt;
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) return std::nullopt;
  struct DirCloser {
    DIR* dir;
    ~DirCloser() { ::closedir(dir); }
  } closer{folder};
  try {
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(folder);
      if (entry == nullptr) {
        if (errno != 0) return std::nullopt;  // a folder read part-way is not a listing
        break;
      }
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      names.emplace_back(name);
    }
    // The order readdir gives is arbitrary; std::string compares bytewise (char_traits<char>
    // compares as unsigned char).
    std::sort(names.begin(), names.end());
    return names;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return std::nullopt;
  }
}

std::string ReadIniValue(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  try {
    const std::optional<Bytes> data = ReadWholeFile(path);
    if (!data) return std::string(defaultValue);
    const IniFile file = IniFile::Parse(ToText(*data));
    return file.Value(section, key).value_or(std::string(defaultValue));
  } catch (const std::bad_alloc&) {
    return std::string(defaultValue);
  }
}

std::optional<FileStamp> StampFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  const auto nanoseconds = [](const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 +
           static_cast<std::int64_t>(time.tv_nsec);
  };
  FileStamp stamp;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modifiedNanoseconds = nanoseconds(st.st_mtim);
  stamp.changedNanoseconds = nanoseconds(st.st_ctim);
  return stamp;
}

namespace posix {

std::string HomeDirectory() {
  if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') return env;
  std::string buffer(16384, '\0');
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "";
}

std::string XdgBaseDirectory(const char* variable, std::string_view belowHome) {
  // An empty or relative value is invalid by the XDG rules and ignored.
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const std::string home = HomeDirectory();
  return home.empty() ? "" : JoinPath(home, belowHome);
}

}  // namespace posix

}  // namespace tovask::platform
