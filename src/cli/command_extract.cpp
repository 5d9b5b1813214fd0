// tvk extract and tvk test.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/overwrite_window.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "core/messages.h"
#include "extract/extraction.h"
#include "extract/overwrite.h"
#include "platform/files.h"

namespace tovask::cli {
namespace {

// The password prompt of a terminal run: asks without echo when stdin is a terminal; without
// one the prompt counts as cancelled.
class TerminalPasswordPrompt : public PasswordPrompt {
 public:
  std::optional<std::string> AskPassword(const std::string& prompt, const std::string&) override {
    return PromptPassword(prompt);
  }
};

// The password -p or --password-stdin gave, even when empty (stdin with nothing on it gives
// ""); nullopt without either option. A given password is final: nothing is asked, and with
// an empty one an encrypted entry is reported as needing a password (113).
std::optional<std::string> GivenPassword(const PasswordOptions& options) {
  std::optional<std::string> password = PasswordFromOptions(options);
  if (!password && options.fromStdin) return std::string();
  return password;
}

enum class OverwriteMode { Ask, Yes, No, Rename };

// Answers the overwrite question from --overwrite, or asks on the terminal with the seven
// answers of the overwrite window (access keys Y A R E N L C, H for help).
class TerminalOverwriteQuestion : public OverwriteQuestion {
 public:
  explicit TerminalOverwriteQuestion(OverwriteMode mode) : mode_(mode) {}

  void Ask(OverwritePrompt& prompt) override {
    switch (mode_) {
      case OverwriteMode::Yes:
        prompt.answer = AnswerYesToAll;
        return;
      case OverwriteMode::No:
        prompt.answer = AnswerNoToAll;
        return;
      case OverwriteMode::Rename:
        prompt.answer = AnswerRenameAll;
        return;
      case OverwriteMode::Ask:
        break;
    }
    std::cerr << "\r\033[K";
    ShowDetails(ExistingFileDetails(prompt.existingPath), prompt);
    for (;;) {
      std::cerr << "[Y]是 [A]全部选是 [R]重命名 [E]全部重命名 [N]否 [L]全部选否 [C]取消 [H]帮助: "
                << std::flush;
      std::string line;
      if (!std::getline(std::cin, line)) return;  // end of input: no answer
      const char key = line.empty() ? '\0' : static_cast<char>(std::toupper(line[0]));
      switch (key) {
        case 'Y':
          prompt.answer = AnswerYes;
          return;
        case 'A':
          prompt.answer = AnswerYesToAll;
          return;
        case 'E':
          prompt.answer = AnswerRenameAll;
          return;
        case 'N':
          prompt.answer = AnswerNo;
          return;
        case 'L':
          prompt.answer = AnswerNoToAll;
          return;
        case 'C':
          prompt.answer = AnswerCancel;
          return;
        case 'H':
          std::cerr << OverwriteHelpText("\n") << '\n';
          break;
        case 'R':
          if (AskRename(prompt)) return;
          break;
        default:
          break;
      }
    }
  }

 private:
  static void ShowDetails(const FileDetails& existing, const OverwritePrompt& prompt) {
    const FileDetails archived = ArchivedFileDetails(prompt);
    std::cerr << "下列文件已存在: " << existing.fileName
              << "\n  你是否确实要将已存在的文件: " << existing.sizeText << "  "
              << existing.timeText << "\n  替换为: " << archived.sizeText << "  "
              << archived.timeText << '\n';
  }

  // True when the rename settled the answer; false keeps the question open.
  static bool AskRename(OverwritePrompt& prompt) {
    std::cerr << "重命名文件为: " << std::flush;
    std::string name;
    if (!std::getline(std::cin, name)) return false;
    if (!name.empty() && name.back() == '\r') name.pop_back();
    std::string candidate;
    const RenameStep step = DecideRename(prompt, name, &candidate, [](const std::string& path) {
      return platform::PathExists(path);
    });
    if (step == RenameStep::ShowCandidate) ShowDetails(ExistingFileDetails(candidate), prompt);
    return step == RenameStep::Answered;
  }

  OverwriteMode mode_;
};

}  // namespace

void AttachExtract(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    std::vector<std::string> names;
    std::string target;
    PasswordOptions password;
    std::string overwrite;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "extract",
      "Extract every entry, or the named entries, verifying each by MD5 and length "
      "and restoring its time and read-only state");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command->add_option("NAME", options->names,
                      "Entries to extract, as listed (letter case ignored); default: all");
  command->add_option("-o,--output", options->target,
                      "Folder to extract into (created when missing); default: the archive's "
                      "folder");
  AddPasswordOptions(command, options->password);
  command
      ->add_option("--overwrite", options->overwrite,
                   "What to do with existing files: ask (default on a terminal: the seven "
                   "answers), yes (overwrite all), no (keep all; default without a terminal), "
                   "rename (number the new files: a(1).txt)")
      ->check(CLI::IsMember({"ask", "yes", "no", "rename"}));
  command->callback([&state, options] {
    state.action = [&state, options] {
      AppContext& context = *state.context;
      ExtractRequest request;
      request.archivePath = AbsoluteArgument(options->archive);
      if (!options->target.empty()) request.targetFolder = AbsoluteArgument(options->target);
      const std::optional<std::string> given = GivenPassword(options->password);
      if (given) request.password = *given;
      if (!options->names.empty()) request.selection = options->names;
      std::string mode = options->overwrite;
      if (mode.empty()) mode = StdinIsTerminal() ? "ask" : "no";
      if (mode == "ask" && !StdinIsTerminal()) {
        std::cerr << "tvk extract: --overwrite ask needs a terminal on standard input\n";
        return kExitUsage;
      }
      const OverwriteMode overwriteMode = mode == "yes"      ? OverwriteMode::Yes
                                          : mode == "no"     ? OverwriteMode::No
                                          : mode == "rename" ? OverwriteMode::Rename
                                                             : OverwriteMode::Ask;
      TerminalProgress progress;
      TerminalPasswordPrompt passwordPrompt;
      TerminalOverwriteQuestion question(overwriteMode);
      request.passwordIsFinal = given.has_value();
      return ExitStatus(
          ExtractEntries(context, std::move(request), {&progress, &passwordPrompt, &question}));
    };
  });
}

void AttachTest(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    PasswordOptions password;
  };
  auto options = std::make_shared<Options>();
  auto* command =
      app.add_subcommand("test",
                         "Decode and verify every entry (MD5 and length) without writing anything; "
                         "reports every failing entry");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  AddPasswordOptions(command, options->password);
  command->callback([&state, options] {
    state.action = [&state, options] {
      AppContext& context = *state.context;
      const std::optional<std::string> given = GivenPassword(options->password);
      TestRequest request{AbsoluteArgument(options->archive), given.value_or(""),
                          given.has_value()};
      TerminalProgress progress;
      TerminalPasswordPrompt passwordPrompt;
      return ExitStatus(TestEntries(context, std::move(request), {&progress, &passwordPrompt}));
    };
  });
}

}  // namespace tovask::cli
