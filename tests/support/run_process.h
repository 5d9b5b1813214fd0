// Runs a program (tvk) as a child process with arguments, optional standard input and extra
// environment, and captures its exit status, stdout and stderr. ChildProcess lets a test act at
// a real point of a run: with stderr on a terminal, tvk draws its progress there, and the test
// waits for a given text before it signals, pauses or resumes the child.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tovask::testing {

struct ProcessResult {
  int exitCode = -1;  // 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string input;                       // written to stdin, then stdin is closed
  std::string workingDirectory;            // "" = the test's own
  std::map<std::string, std::string> env;  // added to (or replacing in) the environment
  // stderr is a pseudo-terminal in raw mode (line ends stay "\n"); stdin and stdout stay pipes.
  bool stderrIsTerminal = false;
};

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const ProcessOptions& options = {});
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads the child's output until its stderr holds text (true) or it has closed stdout and
  // stderr (false). Never waits for a time: only for output or the end of the output.
  [[nodiscard]] bool WaitForStderr(std::string_view text);
  // Reads the child's output until the descriptor fd (one of the test's own, e.g. an inotify
  // descriptor) is readable (true) or the child has closed stdout and stderr (false). Keeping
  // the output drained meanwhile, a child that draws progress never blocks on it.
  [[nodiscard]] bool WaitForReadable(int fd);
  void Signal(int signal);
  // Writes the rest of the input, reads the output to its end and reaps the child.
  ProcessResult Finish();

  [[nodiscard]] const std::string& err() const { return result_.err; }

 private:
  // One round of poll over the open pipes and, when extra >= 0, over extra too (*extraReady
  // tells whether it became readable). False when no pipe is left open.
  bool Pump(int extra = -1, bool* extraReady = nullptr);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string input_;
  std::size_t written_ = 0;
  ProcessResult result_;
  bool reaped_ = false;
};

[[nodiscard]] ProcessResult RunProcess(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const ProcessOptions& options = {});

// The tvk built with the tests.
[[nodiscard]] const char* TvkPath();

// Runs the tvk built with the tests.
[[nodiscard]] ProcessResult RunTvk(const std::vector<std::string>& args,
                                   const ProcessOptions& options = {});

}  // namespace tovask::testing
