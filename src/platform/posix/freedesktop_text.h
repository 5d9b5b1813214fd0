// The texts of the freedesktop file-type registration: the Exec line of a desktop entry and the
// user's mimeapps.list. Pure text work, so every rule can be tested without touching a disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovask::platform::freedesktop {

// A program path as the first word of a desktop entry's Exec value: as it is when it holds no
// reserved character, otherwise in double quotes with '"', '`', '$' and '\' escaped by '\';
// '%' is doubled (a lone '%' starts a field code) and the result carries the escapes of a
// string value ("\\", "\n", "\t", "\r"), which readers undo before the quoting. nullopt for a
// path no entry can hold: not UTF-8, or a control character other than tab, LF and CR.
[[nodiscard]] std::optional<std::string> ExecProgramWord(std::string_view path);

// The desktop entry with the program word (the text up to the first blank) of the Exec line of
// its [Desktop Entry] group replaced by ExecProgramWord(programPath); the arguments after it and
// every other line stay. The entry comes back unchanged when the path cannot be written there
// (the program is then looked up by its name on PATH).
[[nodiscard]] std::string WithExecProgram(std::string_view entry, std::string_view programPath);

// The mimeapps.list text with desktopId the default application of mimeType, as
// `xdg-mime default` records it: the line "mimeType=desktopId" in the [Default Applications]
// group (created at the end when missing; a new line goes after the group's last non-blank
// line). A line whose list already starts with desktopId is kept; a different default is
// replaced, further lines for the type in that group are dropped (readers disagree on which
// of two lines wins). Every other line (other groups, other types, comments, blank lines, line
// ends) is kept byte for byte. MIME types compare without regard to ASCII case.
[[nodiscard]] std::string WithDefaultApplication(std::string_view list, std::string_view mimeType,
                                                 std::string_view desktopId);

}  // namespace tovask::platform::freedesktop
