// The tvk commands that change archives: create, add, delete, rename and encrypt.
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "core/prompts.h"
#include "operations/compress_add.h"
#include "operations/entry_edits.h"

namespace tovask::cli {
namespace {

int UsageError(const std::string& command, const std::string& text) {
  std::cerr << "tvk " << command << ": " << text << '\n';
  return kExitUsage;
}

// The password of create and add: "" without an option (the files are stored unencrypted).
// nullopt with *problem set when an option was given but holds no password: a script whose
// password variable is unset must not get an archive it believes encrypted.
std::optional<std::string> CreationPassword(const PasswordOptions& options, std::string* problem) {
  std::optional<std::string> password = PasswordFromOptions(options);
  if (!password && options.fromStdin) {
    *problem = "--password-stdin: no password on stdin";
    return std::nullopt;
  }
  if (password && password->empty()) {
    *problem = "the password must not be empty";
    return std::nullopt;
  }
  return password.value_or("");
}

struct SourceOptions {
  std::string archive;
  std::vector<std::string> sources;
  PasswordOptions password;
  int level = DataOps::kDefaultLevel;
};

void AttachCompress(CLI::App& app, CliState& state, const char* name, bool newArchive) {
  auto options = std::make_shared<SourceOptions>();
  auto* command = app.add_subcommand(
      name, newArchive ? "Create a new archive (replacing any file at ARCHIVE) from files and "
                         "folders; a folder is stored with its name as the first level"
                       : "Add files and folders to an existing archive; entries with the same "
                         "names (letter case ignored) are replaced");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command
      ->add_option("SOURCE", options->sources,
                   "Files and folders to store; a folder written with a closing / (DIR/) stores "
                   "its content without its own name as the first level")
      ->required();
  AddPasswordOptions(command, options->password);
  command
      ->add_option("--level", options->level,
                   "Compression level of the files, 1 (fastest) to 19 (smallest); default " +
                       std::to_string(DataOps::kDefaultLevel))
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            int level = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), level);
            if (error == std::errc{} && end == text.data() + text.size() && level >= 1 &&
                level <= 19) {
              return "";
            }
            return "the compression level must be a whole number from 1 to 19, not \"" + text +
                   "\"";
          },
          "1..19"));
  const std::string commandName = name;
  command->callback([&state, options, newArchive, commandName] {
    state.action = [&state, options, newArchive, commandName] {
      std::string problem;
      const std::optional<std::string> password = CreationPassword(options->password, &problem);
      if (!password) return UsageError(commandName, problem);
      std::vector<std::string> sources;
      for (const auto& source : options->sources) sources.push_back(AbsoluteArgument(source));
      AppContext& context = *state.context;
      TerminalProgress progress;
      CompressRequest request{std::move(sources), AbsoluteArgument(options->archive), *password,
                              newArchive, options->level};
      return ExitStatus(CompressAndAdd(context, std::move(request), {&progress}));
    };
  });
}

}  // namespace

void AttachCreate(CLI::App& app, CliState& state) { AttachCompress(app, state, "create", true); }
void AttachAdd(CLI::App& app, CliState& state) { AttachCompress(app, state, "add", false); }

void AttachDelete(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    std::vector<std::string> names;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "delete",
      "Delete entries by name (letter case ignored; names that match nothing are "
      "ignored). Deleting every entry is refused");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command->add_option("NAME", options->names, "Entry names as listed (folders separated by \\)")
      ->required();
  command->callback([&state, options] {
    state.action = [&state, options] {
      AppContext& context = *state.context;
      TerminalProgress progress;
      return ExitStatus(DeleteEntries(
          context, DeleteRequest{AbsoluteArgument(options->archive), options->names}, {&progress}));
    };
  });
}

void AttachRename(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    std::string oldName;
    std::string newName;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "rename",
      "Give one entry a new name; \\ in NEW moves it to another folder level. The "
      "stored data is kept byte for byte");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command->add_option("OLD", options->oldName, "The entry's name as listed")->required();
  command->add_option("NEW", options->newName, "The new name")->required();
  command->callback([&state, options] {
    state.action = [&state, options] {
      AppContext& context = *state.context;
      return ExitStatus(RenameEntry(context, RenameRequest{AbsoluteArgument(options->archive),
                                                           options->oldName, options->newName}));
    };
  });
}

namespace {

// Hands the engine the password tvk has already gathered, should it ask.
class GivenPassword : public PasswordPrompt {
 public:
  explicit GivenPassword(std::string password) : password_(std::move(password)) {}
  std::optional<std::string> AskPassword(const std::string&, const std::string&) override {
    return password_;
  }

 private:
  std::string password_;
};

}  // namespace

void AttachEncrypt(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    std::vector<std::string> names;
    PasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "encrypt",
      "Encrypt entries with a password (all entries when no NAME is given); entries "
      "already encrypted are left as they are. Without -p or --password-stdin the "
      "password is asked on the terminal");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command->add_option("NAME", options->names, "Entry names as listed (letter case ignored)");
  AddPasswordOptions(command, options->password);
  command->callback([&state, options] {
    state.action = [&state, options]() -> int {
      AppContext& context = *state.context;
      std::optional<std::string> password = PasswordFromOptions(options->password);
      if (!password) {
        if (options->password.fromStdin) {
          return UsageError("encrypt", "--password-stdin: no password on stdin");
        }
        if (!StdinIsTerminal()) {
          return UsageError("encrypt",
                            "no password: give -p PASSWORD or --password-stdin (standard input "
                            "is not a terminal, so it cannot be asked for)");
        }
        password = PromptPassword(TitleText(context, TitleCode::PasswordPrompt));
        if (!password) {
          if (InterruptRequested()) return ReportMessage(context, ErrorCode::Interrupted);
          return UsageError("encrypt", "no password given");
        }
      }
      // An empty password would protect nothing; a script whose password variable is unset
      // must not get an archive that only looks encrypted.
      if (password->empty()) return UsageError("encrypt", "the password must not be empty");

      const std::string archive = AbsoluteArgument(options->archive);
      std::vector<std::string> names = options->names;
      if (names.empty()) {
        ClearErrorLog(context);
        ArchiveIndex index;
        if (!LoadArchiveIndex(context, index, archive)) return ReportFailure(context);
        names = index.paths;
        LoadArchiveIndex(context, index);
      }
      GivenPassword given(*password);
      TerminalProgress progress;
      return ExitStatus(EncryptEntries(
          context, EncryptRequest{archive, *password, std::move(names)}, {&progress, &given}));
    };
  });
}

}  // namespace tovask::cli
