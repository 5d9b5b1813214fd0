// The tvk subcommands. Each Attach function adds one subcommand with its arguments and options
// to app; when that subcommand is the one parsed, it sets state.action, which main runs. main
// attaches them in the order in which the help text lists them.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/cli_support.h"

namespace tovask::cli {

using CommandAttacher = void (*)(CLI::App& app, CliState& state);

// command_modify.cpp
void AttachCreate(CLI::App& app, CliState& state);
void AttachAdd(CLI::App& app, CliState& state);
void AttachDelete(CLI::App& app, CliState& state);
void AttachRename(CLI::App& app, CliState& state);
void AttachEncrypt(CLI::App& app, CliState& state);

// command_list.cpp
void AttachList(CLI::App& app, CliState& state);
void AttachInfo(CLI::App& app, CliState& state);

// command_extract.cpp
void AttachExtract(CLI::App& app, CliState& state);
void AttachTest(CLI::App& app, CliState& state);

}  // namespace tovask::cli
