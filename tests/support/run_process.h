// Runs a program (tvk) as a child process with arguments, optional standard input and extra
// environment, and captures its exit status, stdout and stderr.
#pragma once

#include <map>
#include <string>
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
  int sendInterruptAfterMs = -1;           // >= 0: SIGINT after this many milliseconds
};

[[nodiscard]] ProcessResult RunProcess(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const ProcessOptions& options = {});

// Runs the tvk built with the tests.
[[nodiscard]] ProcessResult RunTvk(const std::vector<std::string>& args,
                                   const ProcessOptions& options = {});

}  // namespace tovask::testing
