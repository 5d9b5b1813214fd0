#include "cli/cli_support.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <vector>

#include "core/display_text.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tovask::cli {
namespace {

std::atomic<bool> interrupted{false};

// True while a progress line stands on the terminal: messages start on a clean line.
bool progressLineShown = false;

void ClearProgressLine() {
  if (!progressLineShown) return;
  std::cerr << "\r\033[K" << std::flush;
  progressLineShown = false;
}

void OnInterrupt(int) { interrupted.store(true); }

// Writes the log with LF line ends: the log joins lines with CR LF.
void PrintLog(const std::string& log) {
  // A signal that broke off a terminal write leaves the stream failed; the messages must
  // still be told.
  std::cerr.clear();
  ClearProgressLine();
  std::string out;
  out.reserve(log.size() + 1);
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n') continue;
    out += log[i];
  }
  if (!out.empty()) std::cerr << out << '\n';
}

}  // namespace

std::string AbsoluteArgument(const std::string& path) {
  return platform::AbsoluteNormalPath(path, platform::CurrentDirectory());
}

void PrintEscapedLines(std::ostream& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    out << EscapeControlCharacters(text.substr(0, end));
    if (end == std::string_view::npos) break;
    out << '\n';
    text.remove_prefix(end + 1);
  }
}

int ReportFailure(const AppContext& context) {
  PrintLog(CurrentErrorLog(context));
  return kExitFailed;
}

int ExitStatus(const Outcome& outcome) {
  if (outcome.done()) return kExitOk;
  PrintLog(outcome.LogText());
  return kExitFailed;
}

int ReportMessage(AppContext& context, ErrorCode code, const std::vector<std::string>& args) {
  ClearErrorLog(context);
  ErrorText(context, code, args);
  return ReportFailure(context);
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocked read (a prompt) returns on the signal. SA_RESETHAND: a user who
  // insists gets the default action with the second signal.
  action.sa_flags = SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool InterruptRequested() { return interrupted.load(); }

TerminalProgress::TerminalProgress() : draw_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() { ClearProgressLine(); }

bool TerminalProgress::Report(int percent, const std::string& text) {
  if (draw_) {
    std::cerr << "\r\033[K[" << (percent < 100 ? (percent < 10 ? "  " : " ") : "") << percent
              << "%] " << text << std::flush;
    progressLineShown = true;
  }
  return !InterruptRequested();
}

bool TerminalProgress::ProcessEvents() { return !InterruptRequested(); }

void AddPasswordOptions(CLI::App* command, PasswordOptions& options) {
  auto* given = command->add_option("-p,--password", options.password,
                                    "Password for encrypted entries (visible to other users "
                                    "of this machine; prefer --password-stdin)");
  auto* fromStdin = command->add_flag("--password-stdin", options.fromStdin,
                                      "Read the password from the first line of standard input");
  given->excludes(fromStdin);
  options.passwordOption = given;
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> PasswordFromOptions(const PasswordOptions& options) {
  if (options.fromStdin) {
    std::string line;
    if (!std::getline(std::cin, line) && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  if (options.passwordOption != nullptr && options.passwordOption->count() > 0) {
    return options.password;
  }
  return std::nullopt;
}

std::optional<std::string> PromptPassword(const std::string& prompt) {
  if (!StdinIsTerminal()) return std::nullopt;
  // A progress line may stand on the terminal; the prompt starts on a clean line.
  ClearProgressLine();
  std::cerr << prompt << std::flush;
  termios saved{};
  const bool haveTerm = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (haveTerm) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  bool ok = true;
  for (;;) {
    char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n <= 0 || InterruptRequested()) {
      ok = n == 0 && !line.empty();
      break;
    }
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  if (haveTerm) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << '\n';
  if (!ok) return std::nullopt;
  return line;
}

}  // namespace tovask::cli
