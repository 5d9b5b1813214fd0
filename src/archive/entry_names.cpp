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
      if (level.empty() || level == "." || level == "..") return false;
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

}  // namespace tovask
