// Private temporary folders: a folder only its owner can enter, for copies the program makes
// for the desktop (entries opened with another program, entries dragged out), removed again
// with everything in it when the program ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovask::platform {

// The folder for temporary files: $TMPDIR when it is an absolute path naming an existing
// folder, else "/tmp". No trailing separator (except for the root itself).
[[nodiscard]] std::string TemporaryFilesFolder();

// Creates a new folder parent/prefix + six random characters (mkdtemp), mode 0700, so no other
// user can list or enter it and no one can have made it in advance. Returns its path; nullopt
// when it cannot be made (errno set). Fault hook: CreateFolder (the parent).
[[nodiscard]] std::optional<std::string> CreateUniqueFolder(const std::string& parent,
                                                            std::string_view prefix);

// Creates the one folder level path with mode 0700. False when anything exists there already
// (a folder handed out twice would mix two copies) or it cannot be made. Fault hook:
// CreateFolder (the path).
[[nodiscard]] bool CreatePrivateFolder(const std::string& path);

// Removes path and everything below it. Symbolic links are removed themselves, never
// followed; a folder whose permission bits would stop the removal (no write or search
// permission for the owner) is given them back first; read-only files go like any other.
// Goes on past a failure and returns true when nothing is left at path, also when nothing
// was there. Fault hook: Remove (each file, link and folder removed), ReadFolder (each folder
// listed), SetMode (each folder given its permission bits back).
[[nodiscard]] bool RemoveTree(const std::string& path);

}  // namespace tovask::platform
