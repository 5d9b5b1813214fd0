// The one path-safety rule for names that reach the disk. Entry names use "\" between folder
// levels; a safe name stays inside whatever folder it is written below.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tovask {

// True when name can be written below a target folder: valid UTF-8, not empty, no empty level
// (so no leading, trailing or doubled "\"), no level of dots and blanks only (".", "..", "...",
// ". ", which some systems read as "." or ".."), no "/" (a separator on disk), no control
// character, and no drive at the start ("C:x"). Where the system itself changes names
// (platform::kSystemChangesNames), also no level IsLevelChangedByWindows names: such an entry
// would land elsewhere than its name says. A name with "?" is safe by this rule; extraction
// skips such entries by its own rule.
[[nodiscard]] bool IsSafeEntryName(std::string_view name);

// True for a level Windows writes under another name or opens as a device: one ending in a
// blank or a dot (dropped there: "a." would be "a"), or a reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, CONIN$, CONOUT$) in any letter case, also with an extension or blanks
// after it ("con.txt", "NUL .x"). Harmless here, where such names are files like any other.
[[nodiscard]] bool IsLevelChangedByWindows(std::string_view level);

// The native relative path of a safe entry name: "\" becomes the native separator.
[[nodiscard]] std::string EntryNameToNative(std::string_view name);

// A set of entry names, compared as the archive compares names: ASCII letters in upper case,
// every other byte as it is. Built once per run from a selection; a lookup costs one hash of
// the name and allocates nothing, so matching N entries against M names is O(N + M).
class EntryNameSet {
 public:
  EntryNameSet() = default;
  explicit EntryNameSet(const std::vector<std::string>& names);

  [[nodiscard]] bool Contains(std::string_view name) const;
  [[nodiscard]] bool empty() const { return names_.empty(); }

 private:
  struct CaseBlindHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct CaseBlindEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::unordered_set<std::string, CaseBlindHash, CaseBlindEqual> names_;
};

}  // namespace tovask
