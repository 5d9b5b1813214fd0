// The one path-safety rule for names that reach the disk. Entry names use "\" between folder
// levels; a safe name stays inside whatever folder it is written below.
#pragma once

#include <string>
#include <string_view>

namespace tovask {

// True when name can be written below a target folder: valid UTF-8, not empty, no empty
// level (so no leading, trailing or doubled "\"), no "." or ".." level, no "/" (a separator
// on disk), no control character, and no drive at the start ("C:x"). A name with "?" is safe
// by this rule; extraction skips such entries by its own rule.
[[nodiscard]] bool IsSafeEntryName(std::string_view name);

// The native relative path of a safe entry name: "\" becomes the native separator.
[[nodiscard]] std::string EntryNameToNative(std::string_view name);

}  // namespace tovask
