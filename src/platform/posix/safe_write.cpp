#include "platform/safe_write.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <random>
#include <utility>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/posix_util.h"

namespace tovask::platform {
namespace {

using posix::RetryOnEintr;

// Longest part of the target's name kept in the temporary name, so that the temporary name
// stays below the usual 255-byte limit of one level.
constexpr std::size_t kTempNameKeep = 200;

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset() {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);
      errno = saved;
    }
    fd_ = -1;
  }

 private:
  int fd_;
};

bool Injected(FileOp op, const std::string& path) {
  const int fault = InjectedFault(op, path);
  if (fault == 0) return false;
  errno = fault;
  return true;
}

std::vector<std::string> SplitLevels(const std::string& relative) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= relative.size()) {
    const std::size_t slash = relative.find(kSeparator, start);
    const std::size_t end = slash == std::string::npos ? relative.size() : slash;
    levels.push_back(relative.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return levels;
}

// A level the walk may step into: never empty, ".", ".." or holding a separator.
bool IsPlainLevel(const std::string& level) {
  return !level.empty() && level != "." && level != ".." &&
         level.find(kSeparator) == std::string::npos;
}

enum class Step { Ok, Missing, Link, NotFolder, Error };

// Opens the sub-folder level of dir without following a link there.
Step OpenLevel(int dir, const std::string& level, Fd* out) {
  if (!IsPlainLevel(level)) {
    errno = EINVAL;
    return Step::Error;
  }
  struct stat st {};
  if (::fstatat(dir, level.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? Step::Missing : Step::Error;
  }
  if (S_ISLNK(st.st_mode)) return Step::Link;
  if (!S_ISDIR(st.st_mode)) return Step::NotFolder;
  const int fd = RetryOnEintr([&] {
    return ::openat(dir, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  });
  if (fd < 0) {
    // Swapped for a link or a file between the two calls.
    if (errno == ELOOP) return Step::Link;
    if (errno == ENOTDIR) return Step::NotFolder;
    return errno == ENOENT ? Step::Missing : Step::Error;
  }
  *out = Fd(fd);
  return Step::Ok;
}

unsigned CurrentUmask() {
  // The only way to read the umask is to set it; the program writes files on one thread.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<unsigned>(mask);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = RetryOnEintr([&] { return ::write(fd, data, size); });
    if (written < 0) return false;
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

std::string RandomSuffix() {
  static std::mt19937_64 engine{std::random_device{}() ^
                                (static_cast<std::uint64_t>(::getpid()) << 32)};
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kChars[engine() % (sizeof(kChars) - 1)];
  return suffix;
}

}  // namespace

std::optional<SafeFolder> SafeFolder::Open(const std::string& path) {
  const int fd =
      RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return std::nullopt;
  return SafeFolder(fd, path);
}

SafeFolder::SafeFolder(SafeFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

SafeFolder& SafeFolder::operator=(SafeFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

SafeFolder::~SafeFolder() {
  if (fd_ >= 0) ::close(fd_);
}

std::string SafeFolder::FullPath(const std::string& relative) const {
  return JoinPath(path_, relative);
}

PathState SafeFolder::Probe(const std::string& relative) const {
  const std::vector<std::string> levels = SplitLevels(relative);
  Fd current;
  int dir = fd_;
  for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
    Fd next;
    switch (OpenLevel(dir, levels[i], &next)) {
      case Step::Ok:
        break;
      case Step::Link:
        return PathState::LinkOnTheWay;
      case Step::Missing:
      case Step::NotFolder:
      case Step::Error:
        return PathState::Missing;
    }
    current = std::move(next);
    dir = current.get();
  }
  const std::string& last = levels.back();
  if (!IsPlainLevel(last)) return PathState::Missing;
  struct stat st {};
  return ::fstatat(dir, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? PathState::Exists
                                                                     : PathState::Missing;
}

FolderStatus SafeFolder::EnsureFolders(const std::string& relativeFolder, std::string* failedPath) {
  const std::vector<std::string> levels = SplitLevels(relativeFolder);
  Fd current;
  int dir = fd_;
  std::string walked = path_;
  for (const std::string& level : levels) {
    walked = JoinPath(walked, level);
    Fd next;
    Step step = OpenLevel(dir, level, &next);
    if (step == Step::Missing) {
      if (Injected(FileOp::CreateFolder, walked) ||
          (::mkdirat(dir, level.c_str(), 0777) != 0 && errno != EEXIST)) {
        step = Step::Error;
      } else {
        step = OpenLevel(dir, level, &next);
      }
    }
    if (step != Step::Ok) {
      if (failedPath != nullptr) *failedPath = walked;
      return step == Step::Link ? FolderStatus::LinkOnTheWay : FolderStatus::Failed;
    }
    current = std::move(next);
    dir = current.get();
  }
  return FolderStatus::Ok;
}

WriteResult SafeFolder::WriteFile(const std::string& relative, ByteView content,
                                  const WriteOptions& options) {
  WriteResult result;
  const std::vector<std::string> levels = SplitLevels(relative);
  Fd current;
  int dir = fd_;
  std::string folderPath = path_;
  for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
    Fd next;
    const Step step = OpenLevel(dir, levels[i], &next);
    if (step == Step::Link) {
      result.status = WriteStatus::LinkOnTheWay;
      return result;
    }
    if (step != Step::Ok) return result;  // the folder is missing or not a folder
    current = std::move(next);
    dir = current.get();
    folderPath = JoinPath(folderPath, levels[i]);
  }
  const std::string& name = levels.back();
  if (!IsPlainLevel(name)) return result;
  const std::string finalPath = JoinPath(folderPath, name);

  // What is there now decides the permission bits; a read-only file is refused by its bits,
  // which holds for every user, root included.
  unsigned mode = 0666u & ~CurrentUmask();
  struct stat existing {};
  if (::fstatat(dir, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(existing.st_mode)) return result;
    if (S_ISREG(existing.st_mode)) {
      if ((existing.st_mode & S_IWUSR) == 0) {
        result.status = WriteStatus::ReadOnlyExisting;
        return result;
      }
      mode = static_cast<unsigned>(existing.st_mode & 07777);
    }
  }
  if (options.readOnly) mode &= ~0222u;

  if (Injected(FileOp::CreateTemp, folderPath)) return result;
  const std::string tempBase = std::string(".").append(name, 0, kTempNameKeep).append(".tvk-");
  std::string tempName;
  Fd file;
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    tempName = tempBase + RandomSuffix();
    const int fd = RetryOnEintr([&] {
      return ::openat(dir, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
    });
    if (fd >= 0) {
      file = Fd(fd);
    } else if (errno != EEXIST) {
      return result;
    }
  }
  if (!file.valid()) return result;
  const std::string tempPath = JoinPath(folderPath, tempName);
  const auto discard = [&] {
    file.Reset();
    ::unlinkat(dir, tempName.c_str(), 0);
    return result;
  };

  if (const int fault = InjectedFault(FileOp::Write, tempPath); fault != 0) {
    // A disk that fills up takes part of the data before it refuses the rest.
    (void)WriteAll(file.get(), content.data(), content.size() / 2);
    return discard();
  }
  // No fsync of the file or of its folder: the temporary name and the rename are what keep a
  // half-written file from ever standing under the final name, and a flush per file would make
  // extracting many small files wait on the disk for each of them.
  if (!WriteAll(file.get(), content.data(), content.size())) return discard();
  result.modeSet =
      !Injected(FileOp::SetMode, finalPath) && ::fchmod(file.get(), static_cast<mode_t>(mode)) == 0;
  if (options.modifiedUnix.has_value()) {
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(*options.modifiedUnix);
    times[1].tv_nsec = 0;
    result.timeSet = !Injected(FileOp::SetTime, finalPath) && ::futimens(file.get(), times) == 0;
  }
  if (::close(file.Release()) != 0 && errno != EINTR) {
    ::unlinkat(dir, tempName.c_str(), 0);
    return result;
  }
  if (Injected(FileOp::Rename, finalPath) ||
      ::renameat(dir, tempName.c_str(), dir, name.c_str()) != 0) {
    ::unlinkat(dir, tempName.c_str(), 0);
    return result;
  }
  result.status = WriteStatus::Written;
  return result;
}

}  // namespace tovask::platform
