#include "core/startup.h"

#include "core/messages.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/paths.h"

namespace tovask {
namespace {

// The message file in the user configuration folder; "" when that folder is unknown.
std::string ConfigMessageFilePath() {
  const std::string folder = platform::UserConfigDirectory();
  if (folder.empty()) return {};
  return platform::JoinPath(folder, kMessageFileName);
}

// The message file in the program directory; "" before StartUp has set runDirectory, so an
// unstarted context never reads a file relative to the working directory.
std::string ProgramMessageFilePath(const AppContext& context) {
  if (context.runDirectory.empty()) return {};
  return context.runDirectory + std::string(kMessageFileName);
}

// Creates every missing level of an absolute folder path; true when the folder exists after.
bool EnsureFolderLevels(std::string folder) { return platform::EnsureFolderPath(folder); }

}  // namespace

void StartUp(AppContext& context) { StartUp(context, platform::ExecutableDirectory()); }

void StartUp(AppContext& context, std::string_view executableDirectory) {
  context.formatVersion = "1.05";
  context.archiveMagic = "RID";
  context.runDirectory = std::string(executableDirectory);
  if (context.runDirectory.empty() || context.runDirectory.back() != platform::kSeparator) {
    context.runDirectory += platform::kSeparator;
  }

  // An existing file, wherever it is, belongs to the user: it is never opened here.
  const std::string programFile = ProgramMessageFilePath(context);
  const std::string configFile = ConfigMessageFilePath();
  if (platform::FileExists(programFile)) return;
  if (!configFile.empty() && platform::FileExists(configFile)) return;

  // WriteWholeFile never leaves a cut-off file behind, which a later start would take as the
  // user's own.
  if (platform::WriteWholeFile(programFile, DefaultMessageFile())) return;
  // A program directory the user cannot write to (a system-wide installation): the default
  // file goes to the per-user configuration folder. Failures stay silent; lookups then use
  // the built-in fallback texts.
  if (configFile.empty() || !EnsureFolderLevels(platform::UserConfigDirectory())) return;
  (void)platform::WriteWholeFile(configFile, DefaultMessageFile());
}

MessageFilePlaces MessageFileCandidates(const AppContext& context) {
  return {ProgramMessageFilePath(context), ConfigMessageFilePath()};
}

std::string MessageFilePath(const AppContext& context) {
  const MessageFilePlaces places = MessageFileCandidates(context);
  if (!places.program.empty() && platform::FileExists(places.program)) return places.program;
  if (!places.config.empty() && platform::FileExists(places.config)) return places.config;
  return places.program;
}

}  // namespace tovask
