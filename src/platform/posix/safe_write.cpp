#include "platform/safe_write.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
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

// The path of the first count levels below folder (folder itself for none).
std::string PathOfLevels(const std::string& folder, const std::vector<std::string>& levels,
                         std::size_t count) {
  std::string joined = folder;
  for (std::size_t i = 0; i < count; ++i) joined = JoinPath(joined, levels[i]);
  return joined;
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
  // The only way to read the umask is to set it; a SafeFolder reads it once, when opened.
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

// Levels kept open: the chain of the folder last reached, up to kMaxKeptLevels deep (deeper
// levels are opened for the one call, the deepest of them held in `scratch`).
constexpr std::size_t kMaxKeptLevels = 64;

struct SafeFolder::Chain {
  struct Level {
    std::string name;
    Fd fd;
    dev_t device = 0;
    ino_t inode = 0;
  };
  std::vector<Level> levels;
  std::size_t checked = 0;  // leading levels checked since the last Recheck
  Fd scratch;
};

SafeFolder::SafeFolder(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), umask_(CurrentUmask()), chain_(std::make_unique<Chain>()) {}

std::optional<SafeFolder> SafeFolder::Open(const std::string& path) {
  if (Injected(FileOp::OpenRead, path)) return std::nullopt;
  const int fd =
      RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return std::nullopt;
  return SafeFolder(fd, path);
}

SafeFolder::SafeFolder(SafeFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      umask_(other.umask_),
      chain_(std::move(other.chain_)) {}

SafeFolder& SafeFolder::operator=(SafeFolder&& other) noexcept {
  if (this != &other) {
    chain_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    umask_ = other.umask_;
    chain_ = std::move(other.chain_);
  }
  return *this;
}

SafeFolder::~SafeFolder() {
  chain_.reset();
  if (fd_ >= 0) ::close(fd_);
}

std::string SafeFolder::FullPath(const std::string& relative) const {
  return JoinPath(path_, relative);
}

SafeFolder::Reach SafeFolder::ReachFolder(const std::vector<std::string>& levels, std::size_t count,
                                          bool create, int* dir, std::size_t* failedAt) const {
  std::vector<Chain::Level>& kept = chain_->levels;
  chain_->scratch.Reset();
  // The kept levels that lie on the way and are still what was opened. Anything below a level
  // that moved, vanished or became a link is dropped with it.
  std::size_t valid = 0;
  while (valid < kept.size() && valid < count && kept[valid].name == levels[valid]) {
    if (valid < chain_->checked) {
      ++valid;
      continue;
    }
    const int parent = valid == 0 ? fd_ : kept[valid - 1].fd.get();
    struct stat st {};
    if (::fstatat(parent, levels[valid].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(st.st_mode) || st.st_dev != kept[valid].device || st.st_ino != kept[valid].inode) {
      break;
    }
    ++valid;
  }
  kept.resize(valid);
  chain_->checked = valid;

  int current = valid == 0 ? fd_ : kept.back().fd.get();
  for (std::size_t i = valid; i < count; ++i) {
    Fd next;
    Step step = Injected(FileOp::OpenRead, PathOfLevels(path_, levels, i + 1))
                    ? Step::Error
                    : OpenLevel(current, levels[i], &next);
    if (step == Step::Missing && create) {
      if (Injected(FileOp::CreateFolder, PathOfLevels(path_, levels, i + 1)) ||
          (::mkdirat(current, levels[i].c_str(), 0777) != 0 && errno != EEXIST)) {
        step = Step::Error;
      } else {
        step = OpenLevel(current, levels[i], &next);
      }
    }
    if (step != Step::Ok) {
      *failedAt = i;
      switch (step) {
        case Step::Link:
          return Reach::Link;
        case Step::Missing:
          return Reach::Missing;
        case Step::NotFolder:
          return Reach::NotFolder;
        default:
          return Reach::Failed;
      }
    }
    current = next.get();
    if (kept.size() == i && i < kMaxKeptLevels) {
      struct stat st {};
      if (::fstat(next.get(), &st) == 0) {
        kept.push_back({levels[i], std::move(next), st.st_dev, st.st_ino});
        chain_->checked = kept.size();
        continue;
      }
    }
    chain_->scratch = std::move(next);
  }
  *dir = current;
  return Reach::Ok;
}

void SafeFolder::Recheck() { chain_->checked = 0; }

PathState SafeFolder::Probe(const std::string& relative) const {
  const std::vector<std::string> levels = SplitLevels(relative);
  // No file can stand at a path with an empty, "." or ".." level.
  if (!std::all_of(levels.begin(), levels.end(), IsPlainLevel)) return PathState::Missing;
  int dir = -1;
  std::size_t failedAt = 0;
  switch (ReachFolder(levels, levels.size() - 1, false, &dir, &failedAt)) {
    case Reach::Ok:
      break;
    case Reach::Link:
      return PathState::LinkOnTheWay;
    case Reach::Missing:
    case Reach::NotFolder:
      return PathState::Missing;
    case Reach::Failed:
      return PathState::Unknown;
  }
  struct stat st {};
  if (::fstatat(dir, levels.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    return PathState::Exists;
  }
  return errno == ENOENT || errno == ENOTDIR ? PathState::Missing : PathState::Unknown;
}

FolderStatus SafeFolder::EnsureFolders(const std::string& relativeFolder, std::string* failedPath) {
  const std::vector<std::string> levels = SplitLevels(relativeFolder);
  int dir = -1;
  std::size_t failedAt = 0;
  const Reach reach = ReachFolder(levels, levels.size(), true, &dir, &failedAt);
  if (reach == Reach::Ok) return FolderStatus::Ok;
  if (failedPath != nullptr) *failedPath = PathOfLevels(path_, levels, failedAt + 1);
  return reach == Reach::Link ? FolderStatus::LinkOnTheWay : FolderStatus::Failed;
}

WriteStatus SafeFolder::BeginFile(const std::string& relative, PendingFile* file) {
  const std::vector<std::string> levels = SplitLevels(relative);
  int dir = -1;
  std::size_t failedAt = 0;
  switch (ReachFolder(levels, levels.size() - 1, false, &dir, &failedAt)) {
    case Reach::Ok:
      break;
    case Reach::Link:
      return WriteStatus::LinkOnTheWay;
    case Reach::Missing:
    case Reach::NotFolder:
    case Reach::Failed:
      return WriteStatus::Failed;  // the folder is missing or not a folder
  }
  const std::string& name = levels.back();
  if (!IsPlainLevel(name)) return WriteStatus::Failed;
  const std::string folderPath = PathOfLevels(path_, levels, levels.size() - 1);

  // What is there now decides the permission bits; a read-only file is refused by its bits,
  // which holds for every user, root included.
  unsigned mode = 0666u & ~umask_;
  struct stat existing {};
  if (::fstatat(dir, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(existing.st_mode)) return WriteStatus::Failed;
    if (S_ISREG(existing.st_mode)) {
      if ((existing.st_mode & S_IWUSR) == 0) return WriteStatus::ReadOnlyExisting;
      mode = static_cast<unsigned>(existing.st_mode & 07777);
    }
  }

  if (Injected(FileOp::CreateTemp, folderPath)) return WriteStatus::Failed;
  const std::string tempBase = std::string(".").append(name, 0, kTempNameKeep).append(".tvk-");
  std::string tempName;
  Fd created;
  for (int attempt = 0; attempt < 100 && !created.valid(); ++attempt) {
    tempName = tempBase + RandomSuffix();
    const int fd = RetryOnEintr([&] {
      return ::openat(dir, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
    });
    if (fd >= 0) {
      created = Fd(fd);
    } else if (errno != EEXIST) {
      return WriteStatus::Failed;
    }
  }
  if (!created.valid()) return WriteStatus::Failed;

  PendingFile pending;
  pending.dir_ = dir;
  pending.file_ = created.Release();
  pending.tempName_ = std::move(tempName);
  pending.name_ = name;
  pending.finalPath_ = JoinPath(folderPath, name);
  pending.tempPath_ = JoinPath(folderPath, pending.tempName_);
  pending.mode_ = mode;
  *file = std::move(pending);
  return WriteStatus::Written;
}

WriteResult SafeFolder::WriteFile(const std::string& relative, ByteView content,
                                  const WriteOptions& options) {
  WriteResult result;
  PendingFile file;
  result.status = BeginFile(relative, &file);
  if (result.status != WriteStatus::Written) return result;
  if (!file.Write(content)) {
    file.Discard();
    result.status = WriteStatus::Failed;
    return result;
  }
  return file.Commit(options);
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : dir_(std::exchange(other.dir_, -1)),
      file_(std::exchange(other.file_, -1)),
      tempName_(std::move(other.tempName_)),
      tempPath_(std::move(other.tempPath_)),
      name_(std::move(other.name_)),
      finalPath_(std::move(other.finalPath_)),
      mode_(other.mode_),
      failed_(other.failed_),
      written_(other.written_) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    dir_ = std::exchange(other.dir_, -1);
    file_ = std::exchange(other.file_, -1);
    tempName_ = std::move(other.tempName_);
    tempPath_ = std::move(other.tempPath_);
    name_ = std::move(other.name_);
    finalPath_ = std::move(other.finalPath_);
    mode_ = other.mode_;
    failed_ = other.failed_;
    written_ = other.written_;
  }
  return *this;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Discard() {
  if (dir_ < 0) return;
  const int saved = errno;
  if (file_ >= 0) ::close(file_);
  if (!Injected(FileOp::Remove, tempPath_)) ::unlinkat(dir_, tempName_.c_str(), 0);
  errno = saved;
  file_ = -1;
  dir_ = -1;
}

bool PendingFile::Write(ByteView piece) {
  if (file_ < 0 || failed_) return false;
  written_ = true;
  if (const int fault = InjectedFault(FileOp::Write, tempPath_); fault != 0) {
    // A disk that fills up takes part of the data before it refuses the rest.
    (void)WriteAll(file_, piece.data(), piece.size() / 2);
    failed_ = true;
    errno = fault;
    return false;
  }
  if (!WriteAll(file_, piece.data(), piece.size())) failed_ = true;
  return !failed_;
}

WriteResult PendingFile::Commit(const WriteOptions& options) {
  WriteResult result;
  // A file that saw no Write still meets the fault of its (empty) write here.
  if (!written_) (void)Write({});
  if (file_ < 0 || failed_) {
    Discard();
    return result;
  }
  // No fsync of the file or of its folder: the temporary name and the rename are what keep a
  // half-written file from ever standing under the final name, and a flush per file would make
  // extracting many small files wait on the disk for each of them.
  unsigned mode = mode_;
  if (options.readOnly) mode &= ~0222u;
  result.modeSet =
      !Injected(FileOp::SetMode, finalPath_) && ::fchmod(file_, static_cast<mode_t>(mode)) == 0;
  if (options.readOnly && !result.modeSet) {
    // It would stand writable, its read-only attribute lost without a word.
    Discard();
    return WriteResult{};
  }
  if (options.modifiedUnix.has_value()) {
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(*options.modifiedUnix);
    times[1].tv_nsec = 0;
    result.timeSet = !Injected(FileOp::SetTime, finalPath_) && ::futimens(file_, times) == 0;
  }
  // A close error can mean the data never reached the disk: the file is not put in place.
  const int fd = std::exchange(file_, -1);
  const int closeFault = InjectedFault(FileOp::Close, tempPath_);
  bool closed = ::close(fd) == 0 || errno == EINTR;
  if (closeFault != 0) {
    closed = false;
    errno = closeFault;
  }
  if (!closed || Injected(FileOp::Rename, finalPath_) ||
      ::renameat(dir_, tempName_.c_str(), dir_, name_.c_str()) != 0) {
    Discard();
    return WriteResult{};
  }
  dir_ = -1;
  result.status = WriteStatus::Written;
  return result;
}

}  // namespace tovask::platform
