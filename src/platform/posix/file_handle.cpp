#include "platform/file_handle.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/posix_util.h"

namespace tovask::platform {
namespace {

using posix::RetryOnEintr;

FaultHook& Hook() {
  static FaultHook hook;
  return hook;
}

// Fails the calling operation with the hook's errno when the hook asks for it.
bool Injected(FileOp op, const std::string& path) {
  const int fault = InjectedFault(op, path);
  if (fault == 0) return false;
  errno = fault;
  return true;
}

// Writes every byte, continuing after partial writes and signals.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = RetryOnEintr([&] { return ::write(fd, data, size); });
    if (written < 0) return false;
    if (written == 0) {  // no progress: treat like a full disk rather than spin
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies length bytes at offset of in to the current position of out, without moving in's
// position. In the kernel first; a file system or kernel that cannot (another volume on an old
// kernel, a special file system) answers with an error or a copy of nothing, and the rest goes
// through a buffer. False on an error or when in ends early (errno EIO).
bool CopyBytes(int in, int out, off_t offset, std::uint64_t length) {
  std::uint64_t left = length;
  while (left > 0) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{1} << 30));
    const ssize_t copied =
        RetryOnEintr([&] { return ::copy_file_range(in, &offset, out, nullptr, chunk, 0); });
    if (copied <= 0) {
      if (copied < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
          errno != EOPNOTSUPP && errno != ETXTBSY && errno != EPERM) {
        return false;
      }
      break;
    }
    left -= static_cast<std::uint64_t>(copied);
  }
  if (left == 0) return true;
  constexpr std::uint64_t kBufferSize = std::uint64_t{1} << 20;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(left, kBufferSize)));
  while (left > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    const ssize_t got = RetryOnEintr([&] { return ::pread(in, buffer.data(), chunk, offset); });
    if (got < 0) return false;
    if (got == 0) {
      errno = EIO;
      return false;
    }
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
    offset += static_cast<off_t>(got);
    left -= static_cast<std::uint64_t>(got);
  }
  return true;
}

bool LockExclusive(int fd) {
  return RetryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

void CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

// Makes a new directory entry in folder durable. The data is already in place when this
// runs, so a failing sync does not turn the placement into a failure.
void SyncFolder(const std::string& folder) {
  if (Injected(FileOp::Sync, folder)) return;
  const int fd =
      RetryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return;
  (void)RetryOnEintr([&] { return ::fsync(fd); });
  ::close(fd);
}

// One level holds at most 255 bytes: a long base name is cut (on a character boundary) so
// that a file with a long name can still be replaced.
std::string_view TemporaryBaseName(std::string_view baseName) {
  constexpr std::size_t kMaxBaseBytes = 200;
  if (baseName.size() <= kMaxBaseBytes) return baseName;
  std::size_t cut = kMaxBaseBytes;
  while (cut > 0 && (static_cast<unsigned char>(baseName[cut]) & 0xC0) == 0x80) --cut;
  return baseName.substr(0, cut);
}

}  // namespace

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

int InjectedFault(FileOp op, const std::string& path) {
  // Called in place, never copied: a hook that counts its calls in a mutable lambda keeps
  // its count. Worker threads reach here too; one call at a time keeps a counting hook exact.
  static std::recursive_mutex calling;  // a hook may itself call the platform layer
  const std::lock_guard lock(calling);
  FaultHook& hook = Hook();
  return hook ? hook(op, path) : 0;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

std::optional<File> File::OpenLocked(const std::string& path, LockKind kind, OpenFailure* why) {
  OpenFailure ignored{};
  OpenFailure& failure = why != nullptr ? *why : ignored;
  failure = OpenFailure::Other;
  if (Injected(FileOp::OpenRead, path)) return std::nullopt;
  // Each round opens the file the path names now. A writer that replaced the file between
  // our open and our lock makes the round start over with the new file; a path that keeps
  // changing under us counts as busy.
  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) {
    // O_NONBLOCK keeps a FIFO at the path from blocking the open; it is refused just below.
    const int fd =
        RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
      if (errno == ENOENT) failure = OpenFailure::Missing;
      return std::nullopt;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
      CloseKeepingErrno(fd);
      return std::nullopt;
    }
    if (!S_ISREG(opened.st_mode)) {
      ::close(fd);
      errno = S_ISDIR(opened.st_mode) ? EISDIR : EINVAL;
      return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (Injected(FileOp::Lock, path)) {
      CloseKeepingErrno(fd);
      return std::nullopt;
    }
    const int operation = (kind == LockKind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    if (RetryOnEintr([&] { return ::flock(fd, operation); }) != 0) {
      if (errno == EWOULDBLOCK) failure = OpenFailure::Busy;
      CloseKeepingErrno(fd);
      return std::nullopt;
    }
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
      return File(fd, path);
    }
    ::close(fd);  // replaced (or removed) meanwhile: go by what the path names now
  }
  failure = OpenFailure::Busy;
  errno = EWOULDBLOCK;
  return std::nullopt;
}

std::optional<File> File::CreateTemporary(const std::string& folder, std::string_view baseName,
                                          std::string* createdPath) {
  if (Injected(FileOp::CreateTemp, folder)) return std::nullopt;
  // Another writer cleaning up leftovers in this folder (RemoveStaleTemporaries) may take the
  // new file for one in the moment before it is locked, and remove it; then a new name is
  // drawn, so the file written is never one that no longer has a name.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name =
        JoinPath(folder, std::string(".").append(TemporaryBaseName(baseName)).append("-XXXXXX"));
    // mkostemp creates the file with mode 0600 and never reuses an existing name.
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    if (Injected(FileOp::Lock, name) || !LockExclusive(fd)) {
      CloseKeepingErrno(fd);
      ::unlink(name.c_str());
      return std::nullopt;
    }
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && ::stat(name.c_str(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
      if (createdPath != nullptr) *createdPath = name;
      return File(fd, std::move(name));
    }
    ::close(fd);
  }
  errno = EBUSY;
  return std::nullopt;
}

std::optional<std::uint64_t> File::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool File::Seek(std::uint64_t position) {
  if (Injected(FileOp::Seek, path_)) return false;
  if (fd_ < 0 || position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    errno = EINVAL;
    return false;
  }
  return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) != -1;
}

std::optional<std::size_t> File::ReadAt(std::uint64_t position, std::uint8_t* buffer,
                                        std::size_t count) const {
  if (Injected(FileOp::Read, path_)) return std::nullopt;
  if (fd_ < 0) {
    errno = EBADF;
    return std::nullopt;
  }
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = RetryOnEintr([&] {
      return ::pread(fd_, buffer + filled, count - filled, static_cast<off_t>(position + filled));
    });
    if (got < 0) return std::nullopt;
    if (got == 0) break;  // end of file
    filled += static_cast<std::size_t>(got);
  }
  return filled;
}

std::optional<Bytes> File::Read(std::size_t count) {
  if (Injected(FileOp::Read, path_)) return std::nullopt;
  if (fd_ < 0) {
    errno = EBADF;
    return std::nullopt;
  }
  try {
    // The buffer grows with the bytes actually read, so a count taken from a damaged record
    // never allocates more than the file holds (plus one growth step).
    constexpr std::size_t kFirstChunk = std::size_t{1} << 20;
    Bytes buffer(std::min(count, kFirstChunk));
    std::size_t filled = 0;
    while (filled < count) {
      if (filled == buffer.size()) buffer.resize(std::min(count, buffer.size() * 2));
      const ssize_t got =
          RetryOnEintr([&] { return ::read(fd_, buffer.data() + filled, buffer.size() - filled); });
      if (got < 0) return std::nullopt;
      if (got == 0) break;  // end of file
      filled += static_cast<std::size_t>(got);
    }
    buffer.resize(filled);
    return buffer;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return std::nullopt;
  }
}

bool File::Write(ByteView bytes) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (const int fault = InjectedFault(FileOp::Write, path_); fault != 0) {
    // A disk that fills up takes part of the data before it refuses the rest.
    (void)WriteAll(fd_, bytes.data(), bytes.size() / 2);
    errno = fault;
    return false;
  }
  return WriteAll(fd_, bytes.data(), bytes.size());
}

bool File::Sync() {
  if (Injected(FileOp::Sync, path_)) return false;
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  return RetryOnEintr([&] { return ::fsync(fd_); }) == 0;
}

bool File::SetMode(unsigned mode) {
  if (Injected(FileOp::SetMode, path_)) return false;
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  return RetryOnEintr([&] { return ::fchmod(fd_, static_cast<mode_t>(mode & 07777)); }) == 0;
}

bool File::Close() {
  if (fd_ < 0) return true;
  const int fd = std::exchange(fd_, -1);
  if (const int fault = InjectedFault(FileOp::Close, path_); fault != 0) {
    ::close(fd);
    errno = fault;
    return false;
  }
  // Linux releases the descriptor even when close reports EINTR; retrying could close a
  // descriptor another part of the program has just opened.
  return ::close(fd) == 0 || errno == EINTR;
}

unsigned ReplacementMode(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return static_cast<unsigned>(st.st_mode & 07777);
  // The only way to read the umask is to set it; the program is single-threaded while it
  // writes files, so the short window with umask 0 creates nothing.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666u & ~static_cast<unsigned>(mask);
}

std::string ResolveFinalTarget(const std::string& path) {
  constexpr int kMaxSteps = 40;
  std::string current = path;
  for (int step = 0; step < kMaxSteps; ++step) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> text(std::max<std::size_t>(static_cast<std::size_t>(st.st_size), 255) + 1);
    ssize_t length;
    for (;;) {
      length = ::readlink(current.c_str(), text.data(), text.size());
      if (length < 0) return current;
      if (static_cast<std::size_t>(length) < text.size()) break;
      text.resize(text.size() * 2);  // the link changed between lstat and readlink
    }
    const std::string_view target(text.data(), static_cast<std::size_t>(length));
    if (target.empty()) return current;
    current = target.front() == '/' ? std::string(target) : JoinPath(ParentFolder(current), target);
  }
  // A chain that does not end (a loop of links): nothing final to replace but the path itself.
  return path;
}

bool ReplaceWith(const std::string& tempPath, const std::string& target) {
  const std::string finalTarget = ResolveFinalTarget(target);
  if (Injected(FileOp::Rename, finalTarget)) return false;
  if (::rename(tempPath.c_str(), finalTarget.c_str()) != 0) return false;
  SyncFolder(ParentFolder(finalTarget));
  return true;
}

PlaceResult PlaceNew(const std::string& tempPath, const std::string& target) {
  const std::string finalTarget = ResolveFinalTarget(target);
  if (Injected(FileOp::Rename, finalTarget)) return PlaceResult::Failed;
  if (::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, finalTarget.c_str(), RENAME_NOREPLACE) !=
      0) {
    if (errno == EEXIST) return PlaceResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS) return PlaceResult::Failed;
    // A file system without the no-replace rename: a hard link refuses an existing name just
    // the same, and the temporary name goes once the link stands.
    if (::link(tempPath.c_str(), finalTarget.c_str()) != 0) {
      return errno == EEXIST ? PlaceResult::TargetExists : PlaceResult::Failed;
    }
    (void)::unlink(tempPath.c_str());
  }
  SyncFolder(ParentFolder(finalTarget));
  return PlaceResult::Placed;
}

int RemoveStaleTemporaries(const std::string& target) {
  const std::string finalTarget = ResolveFinalTarget(target);
  const std::string folder = ParentFolder(finalTarget);
  const std::string lastLevel = LastLevel(finalTarget);
  const std::string prefix = std::string(".").append(TemporaryBaseName(lastLevel)).append("-");
  const auto names = ListFolder(folder);
  if (!names) return 0;
  int removed = 0;
  for (const std::string& name : *names) {
    // mkostemp's six characters are letters and digits.
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix) ||
        !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
      continue;
    }
    const std::string path = JoinPath(folder, name);
    // A writer holds its temporary file locked while it lives; one that can be locked now
    // belongs to nobody. The lock is held while the file is removed.
    std::optional<File> unused = File::OpenLocked(path, LockKind::Exclusive);
    if (unused && RemoveFile(path)) ++removed;
  }
  return removed;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (Injected(FileOp::Rename, to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<File> File::CreateScratch(const std::string& folder) {
  if (Injected(FileOp::CreateTemp, folder)) return std::nullopt;
  // O_TMPFILE makes a file without a name; where the file system lacks it, a named file is
  // made and its name removed at once.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = JoinPath(folder, ".tovask-scratch-XXXXXX");
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    ::unlink(name.c_str());
  }
  return File(fd, JoinPath(folder, "(scratch)"));
}

bool File::CopyFrom(const File& from, std::uint64_t position, std::uint64_t length) {
  if (Injected(FileOp::Read, from.path_)) return false;
  if (fd_ < 0 || from.fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - position) {
    errno = EINVAL;
    return false;
  }
  if (const int fault = InjectedFault(FileOp::Write, path_); fault != 0) {
    // A disk that fills up takes part of the data before it refuses the rest.
    (void)CopyBytes(from.fd_, fd_, static_cast<off_t>(position), length / 2);
    errno = fault;
    return false;
  }
  return CopyBytes(from.fd_, fd_, static_cast<off_t>(position), length);
}

}  // namespace tovask::platform
