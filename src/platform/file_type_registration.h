// Makes the desktop open one file type with this program: the type, the program's entry and
// its icon are made known to the user's desktop, and the program becomes the type's default
// application. Done for the current user only, at every start, and never asking: a location
// that cannot be written is left as it was and the rest still done.
//
// Linux (posix/): the freedesktop places under $XDG_DATA_HOME (default ~/.local/share) and
// $XDG_CONFIG_HOME (default ~/.config), nothing outside them. Windows (later): the per-user
// classes in the registry, from the same description.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tovask::platform {

// What to register. The texts are the program's own data files, as they are installed.
struct FileTypeRegistration {
  std::string typeName;       // MIME type, "application/x-tovask"
  std::string extension;      // ".tvk"
  std::string programId;      // "tovask": names the entry, icon and type files
  std::string programPath;    // absolute path of the program that opens the type
  std::string_view typeInfo;  // shared-mime-info package of the type (XML)
  // Desktop entry of the program. The program word of its Exec line is replaced by
  // programPath, so the entry starts this very program wherever it lies.
  std::string_view programEntry;
  std::string_view iconSvg;  // the program's icon
};

// Runs a helper program (argv[0] is looked up on PATH) and returns when it has ended; its
// output is discarded and its failure ignored.
using RunHelper = std::function<void(const std::vector<std::string>& argv)>;

// What RegisterFileType did; callers ignore it, tests read it.
struct RegistrationReport {
  std::vector<std::string> written;  // files whose content was changed
  std::vector<std::string> failed;   // files that could not be brought up to date
};

// Brings the registration up to date. A file is written only when its content differs (atomic
// replacement), so a second start changes nothing on disk. On Linux the user's MIME and
// desktop caches are rebuilt (update-mime-database, update-desktop-database, through run;
// empty: the real programs where they exist) when they are missing or older than the files
// they are built from, and the type's default application in mimeapps.list is set to the
// program's entry, every other line of that file kept as it is.
RegistrationReport RegisterFileType(const FileTypeRegistration& registration,
                                    const RunHelper& run = {});

}  // namespace tovask::platform
