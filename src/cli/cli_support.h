// What every tvk command shares: argument paths made absolute, the error log on stderr,
// progress on a terminal, Ctrl-C as an interrupt, and the ways of giving a password.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/app_context.h"
#include "core/message_codes.h"
#include "core/operation.h"
#include "core/progress.h"

namespace tovask::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Filled by the parsed subcommand; main runs it after parsing.
struct CliState {
  AppContext* context = nullptr;
  std::function<int()> action;
};

// A path from the command line, made absolute against the current directory and normalised.
[[nodiscard]] std::string AbsoluteArgument(const std::string& path);

// Writes text to out line by line with each line's control characters escaped
// (EscapeControlCharacters), keeping its line feeds; for texts that echo names and paths.
void PrintEscapedLines(std::ostream& out, std::string_view text);

// Prints the error log to stderr, one "code:text" line per message, and returns 1.
int ReportFailure(const AppContext& context);

// The exit status of an operation: 0 when it is Done; otherwise its messages go to stderr as
// ReportFailure prints them and the status is 1 (also for a cancel, so a script never takes a
// run that stopped early for a success).
int ExitStatus(const Outcome& outcome);

// Prints one line "code:text" of a message that ends a command, and returns 1.
int ReportMessage(AppContext& context, ErrorCode code, const std::vector<std::string>& args = {});

// Ctrl-C (SIGINT), kill (SIGTERM) and a closed terminal (SIGHUP) set a flag instead of ending
// the process, so the running operation stops at its next progress report, leaves the archive
// as it was and removes its temporary file. A second signal of the same kind ends the process
// the default way (the archive is still intact; the next change removes the temporary file).
void InstallInterruptHandler();
[[nodiscard]] bool InterruptRequested();

// Draws "[ nn%] text" on stderr when stderr is a terminal; reports the interrupt flag.
class TerminalProgress : public ProgressSink {
 public:
  TerminalProgress();
  ~TerminalProgress() override;
  [[nodiscard]] bool Report(int percent, const std::string& text) override;
  // Asked inside long steps (between the pieces of a large entry), so Ctrl-C is honoured
  // there too, not only at the next report.
  [[nodiscard]] bool ProcessEvents() override;

 private:
  bool draw_ = false;
};

// -p PASSWORD | --password-stdin on a subcommand.
struct PasswordOptions {
  std::string password;
  bool fromStdin = false;
  CLI::Option* passwordOption = nullptr;  // set by AddPasswordOptions; tells -p "" from no -p
};
void AddPasswordOptions(CLI::App* command, PasswordOptions& options);

[[nodiscard]] bool StdinIsTerminal();

// The password the options give: -p as typed, or one line read from stdin (without its line
// end). nullopt when neither option was used (or stdin gave nothing).
[[nodiscard]] std::optional<std::string> PasswordFromOptions(const PasswordOptions& options);

// Asks on the terminal without echo, with the given prompt on stderr; nullopt on end of
// input, an interrupt, or when stdin is not a terminal.
[[nodiscard]] std::optional<std::string> PromptPassword(const std::string& prompt);

}  // namespace tovask::cli
