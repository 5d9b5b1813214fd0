#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace tovask::testing {
namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A pseudo-terminal pair in raw mode: {master, slave}.
std::pair<int, int> OpenRawTerminal() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    throw std::runtime_error("posix_openpt");
  }
  const char* name = ::ptsname(master);
  const int slave = name == nullptr ? -1 : ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) throw std::runtime_error("open pty slave");
  termios raw{};
  if (::tcgetattr(slave, &raw) == 0) {
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
  }
  return {master, slave};
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const ProcessOptions& options)
    : input_(options.input) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (options.stderrIsTerminal) {
    const auto [master, slave] = OpenRawTerminal();
    err[0] = master;
    err[1] = slave;
  } else if (::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  ::signal(SIGPIPE, SIG_IGN);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
      ::_exit(126);
    }
    for (const auto& [key, value] : options.env) ::setenv(key.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), environ);
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  if (input_.empty()) {
    CloseFd(in_);
  } else {
    ::fcntl(in_, F_SETFL, O_NONBLOCK);
  }
}

ChildProcess::~ChildProcess() {
  CloseFd(in_);
  CloseFd(out_);
  CloseFd(err_);
  if (!reaped_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::kill(pid_, SIGCONT);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool ChildProcess::Pump(int extra, bool* extraReady) {
  pollfd fds[4];
  int n = 0;
  if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
  if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
  if (in_ >= 0) fds[n++] = {in_, POLLOUT, 0};
  if (out_ < 0 && err_ < 0) {
    CloseFd(in_);  // nobody reads it any more
    return false;
  }
  if (extra >= 0) fds[n++] = {extra, POLLIN, 0};
  if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) return errno == EINTR;
  for (int i = 0; i < n; ++i) {
    if (fds[i].revents == 0) continue;
    if (fds[i].fd == extra) {
      *extraReady = true;
      continue;
    }
    if (fds[i].fd == in_) {
      const ssize_t w = ::write(in_, input_.data() + written_, input_.size() - written_);
      if (w > 0) written_ += static_cast<std::size_t>(w);
      if (w < 0 && errno != EAGAIN) written_ = input_.size();
      if (written_ >= input_.size()) CloseFd(in_);
      continue;
    }
    char buffer[65536];
    const ssize_t r = ::read(fds[i].fd, buffer, sizeof buffer);
    if (r > 0) {
      (fds[i].fd == out_ ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(r));
    } else if (!(r < 0 && (errno == EINTR || errno == EAGAIN))) {
      // End of output; a terminal whose last writer closed it reports EIO.
      CloseFd(fds[i].fd == out_ ? out_ : err_);
    }
  }
  return true;
}

bool ChildProcess::WaitForStderr(std::string_view text) {
  while (result_.err.find(text) == std::string::npos) {
    if (!Pump()) return false;
  }
  return true;
}

bool ChildProcess::WaitForReadable(int fd) {
  bool ready = false;
  while (!ready) {
    if (!Pump(fd, &ready)) return false;
  }
  return true;
}

void ChildProcess::Signal(int signal) {
  if (!reaped_) ::kill(pid_, signal);
}

ProcessResult ChildProcess::Finish() {
  while (Pump()) {
  }
  CloseFd(in_);
  if (!reaped_) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return result_;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  return ChildProcess(program, args, options).Finish();
}

const char* TvkPath() { return TVK_EXECUTABLE; }

ProcessResult RunTvk(const std::vector<std::string>& args, const ProcessOptions& options) {
  return RunProcess(TvkPath(), args, options);
}

}  // namespace tovask::testing
