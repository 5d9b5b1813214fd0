// The freedesktop registration: a shared-mime-info package, a desktop entry and a scalable icon
// under $XDG_DATA_HOME, the default application in $XDG_CONFIG_HOME/mimeapps.list.
#include "platform/file_type_registration.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/posix/freedesktop_text.h"
#include "platform/posix/posix_util.h"

extern char** environ;

namespace tovask::platform {
namespace {

// Puts content at path (creating its folders) unless it is there already.
void Place(const std::string& path, std::string_view content, RegistrationReport& report) {
  if (const std::optional<Bytes> existing = ReadWholeFile(path);
      existing && ToText(*existing) == content) {
    return;
  }
  std::string folder = ParentFolder(path);
  if (EnsureFolderPath(folder) && WriteWholeFile(path, AsBytes(content))) {
    report.written.push_back(path);
  } else {
    report.failed.push_back(path);
  }
}

// A cache needs building when it is missing or older than the file it is built from.
bool Stale(const std::string& cache, const std::string& source) {
  const std::optional<FileStamp> cacheStamp = StampFile(cache);
  const std::optional<FileStamp> sourceStamp = StampFile(source);
  if (!sourceStamp) return false;
  return !cacheStamp || cacheStamp->modifiedNanoseconds < sourceStamp->modifiedNanoseconds;
}

// Runs argv[0] from PATH with no terminal input and no output, and waits for it to end.
// A program that is not there fails to start, which is all that happens then.
void RunQuietly(const std::vector<std::string>& argv) {
  if (argv.empty()) return;
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return;
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                       fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t child = 0;
  const int started =
      ::posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return;
  int status = 0;
  posix::RetryOnEintr([&] { return ::waitpid(child, &status, 0); });
}

}  // namespace

RegistrationReport RegisterFileType(const FileTypeRegistration& registration,
                                    const RunHelper& run) {
  RegistrationReport report;
  const RunHelper& runHelper = run ? run : RunHelper(RunQuietly);
  const std::string& id = registration.programId;

  if (const std::string data = posix::XdgBaseDirectory("XDG_DATA_HOME", ".local/share");
      !data.empty()) {
    const std::string mimeFolder = JoinPath(data, "mime");
    const std::string package = JoinPath(mimeFolder, "packages/" + id + ".xml");
    const std::string applications = JoinPath(data, "applications");
    const std::string entry = JoinPath(applications, id + ".desktop");
    Place(package, registration.typeInfo, report);
    Place(entry, freedesktop::WithExecProgram(registration.programEntry, registration.programPath),
          report);
    Place(JoinPath(data, "icons/hicolor/scalable/apps/" + id + ".svg"), registration.iconSvg,
          report);
    // Rebuilt only when needed, so that an ordinary start runs no helper program at all.
    if (Stale(JoinPath(mimeFolder, "mime.cache"), package)) {
      runHelper({"update-mime-database", mimeFolder});
    }
    if (Stale(JoinPath(applications, "mimeinfo.cache"), entry)) {
      runHelper({"update-desktop-database", applications});
    }
  }

  if (const std::string config = posix::XdgBaseDirectory("XDG_CONFIG_HOME", ".config");
      !config.empty()) {
    const std::string list = JoinPath(config, "mimeapps.list");
    const std::optional<Bytes> existing = ReadWholeFile(list);
    if (!existing && PathExists(list)) {
      // There but unreadable: rewriting it would lose the user's other associations.
      report.failed.push_back(list);
    } else {
      const std::string old = existing ? ToText(*existing) : "";
      Place(list, freedesktop::WithDefaultApplication(old, registration.typeName, id + ".desktop"),
            report);
    }
  }
  return report;
}

}  // namespace tovask::platform
