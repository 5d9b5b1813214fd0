#include "archive/entry_names.h"

#include "archive/format.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

bool IsDriveStart(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || !platform::IsValidUtf8(name) || IsDriveStart(name)) return false;
  std::size_t levelStart = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == kEntrySeparator) {
      const std::string_view level = name.substr(levelStart, i - levelStart);
      // A level of dots and blanks only ("...", ". .") is "." or ".." to some systems.
      if (level.find_first_not_of(". ") == std::string_view::npos) return false;
      if (platform::kSystemChangesNames && IsLevelChangedByWindows(level)) return false;
      levelStart = i + 1;
      continue;
    }
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || c == '/') return false;
  }
  return true;
}

std::string EntryNameToNative(std::string_view name) {
  std::string native(name);
  for (char& c : native) {
    if (c == kEntrySeparator) c = platform::kSeparator;
  }
  return native;
}

bool IsLevelChangedByWindows(std::string_view level) {
  if (level.empty() || level.back() == ' ' || level.back() == '.') return true;
  std::string_view stem = level.substr(0, level.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = platform::AsciiUpper(stem);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
      upper == "CONOUT$") {
    return true;
  }
  if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const std::string_view number = std::string_view(upper).substr(3);
  // COM1..COM9 and LPT1..LPT9, also with the superscript digits 1, 2 and 3 (U+00B9, U+00B2,
  // U+00B3), which Windows takes for the same devices.
  return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

namespace {

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

EntryNameSet::EntryNameSet(const std::vector<std::string>& names)
    : names_(names.begin(), names.end(), names.size()) {}

bool EntryNameSet::Contains(std::string_view name) const {
  return names_.find(name) != names_.end();
}

std::size_t EntryNameSet::CaseBlindHash::operator()(std::string_view name) const {
  // FNV-1a over the upper-cased bytes: names equal regardless of case hash alike.
  std::size_t hash = 14695981039346656037ull;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(UpperAscii(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

bool EntryNameSet::CaseBlindEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace tovask
