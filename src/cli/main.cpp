// tvk: the command-line tool over the engine. Exit status 0 on success, 1 when the operation
// failed (the error log goes to stderr), 2 for a usage error.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <sstream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "core/startup.h"

int main(int argc, char** argv) {
  using namespace tovask;
  // First of all: a Ctrl-C, kill or closed terminal at any later moment must reach the
  // operation as an interrupt, never end the process in the middle of a write.
  cli::InstallInterruptHandler();
  AppContext context;
  StartUp(context);

  CLI::App app{"tvk: create, list, change, extract and test Tovask archives (.tvk).", "tvk"};
  app.set_version_flag("--version", std::string("tvk ") + TOVASK_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  app.footer(
      "Exit status: 0 success, 1 the operation failed (its numbered messages on stderr), 2 "
      "usage error.\nRun 'tvk COMMAND --help' for the options of one command.\n");

  cli::CliState state;
  state.context = &context;
  // The subcommands, in the order of the help text.
  constexpr cli::CommandAttacher kCommands[] = {
      cli::AttachCreate, cli::AttachAdd,     cli::AttachList,    cli::AttachInfo, cli::AttachDelete,
      cli::AttachRename, cli::AttachEncrypt, cli::AttachExtract, cli::AttachTest,
  };
  for (const cli::CommandAttacher attach : kCommands) attach(app, state);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Parse errors echo the arguments, which may be names holding control characters.
    std::ostringstream errors;
    const int code = app.exit(e, std::cout, errors);
    cli::PrintEscapedLines(std::cerr, errors.str());
    return code == 0 ? cli::kExitOk : cli::kExitUsage;
  }
  if (!state.action) {
    std::cerr << app.help();
    return cli::kExitUsage;
  }
  try {
    return state.action();
  } catch (const std::exception& e) {
    cli::PrintEscapedLines(std::cerr, std::string("tvk: ") + e.what() + "\n");
    return cli::kExitFailed;
  }
}
