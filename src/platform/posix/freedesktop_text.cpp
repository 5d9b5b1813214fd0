#include "platform/posix/freedesktop_text.h"

#include <vector>

#include "platform/text.h"

namespace tovask::platform::freedesktop {
namespace {

constexpr std::string_view kDefaultGroup = "[Default Applications]";
constexpr std::string_view kEntryGroup = "[Desktop Entry]";
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

// A text cut into lines, each with its own line end ("\n", "\r\n", or none for a last line
// without one), so that untouched lines are given back byte for byte.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

// The line without its line end.
std::string_view Content(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool IsGroupHeader(std::string_view line) { return !line.empty() && line.front() == '['; }

// The key of a "key=value" line (blanks around it ignored); nullopt for comments and lines
// without '='.
std::optional<std::string_view> KeyOf(std::string_view content) {
  if (content.empty() || content.front() == '#') return std::nullopt;
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(content.substr(0, equals));
}

std::string_view ValueOf(std::string_view content) {
  return Trim(content.substr(content.find('=') + 1));
}

}  // namespace

std::optional<std::string> ExecProgramWord(std::string_view path) {
  if (!IsValidUtf8(path)) return std::nullopt;
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = false;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7f) return std::nullopt;
    // A CR is no reserved character, but a word that holds one is safer quoted.
    if (kReserved.find(c) != std::string_view::npos || c == '\r') quote = true;
  }
  // First the quoting of the Exec value, then the escapes of a string value on top of it:
  // readers undo them in the opposite order.
  std::string word;
  if (quote) word += '"';
  for (const char c : path) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) word += '\\';
    word += c;
    if (c == '%') word += '%';
  }
  if (quote) word += '"';
  std::string escaped;
  for (const char c : word) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string WithExecProgram(std::string_view entry, std::string_view programPath) {
  const std::optional<std::string> word = ExecProgramWord(programPath);
  if (!word) return std::string(entry);
  std::string result;
  result.reserve(entry.size() + programPath.size());
  bool inEntryGroup = false;
  bool replaced = false;
  for (const std::string_view line : SplitLines(entry)) {
    const std::string_view content = Content(line);
    if (IsGroupHeader(content)) inEntryGroup = Trim(content) == kEntryGroup;
    const std::optional<std::string_view> key = KeyOf(content);
    if (inEntryGroup && !replaced && key && *key == "Exec") {
      const std::string_view value = ValueOf(content);
      const std::size_t blank = value.find(' ');
      const std::string_view arguments =
          blank == std::string_view::npos ? std::string_view() : value.substr(blank);
      result.append("Exec=").append(*word).append(arguments);
      result.append(line.substr(content.size()));  // the line end as it was
      replaced = true;
      continue;
    }
    result.append(line);
  }
  return result;
}

std::string WithDefaultApplication(std::string_view list, std::string_view mimeType,
                                   std::string_view desktopId) {
  const std::string newLine = std::string(mimeType).append("=").append(desktopId);
  const std::vector<std::string_view> lines = SplitLines(list);
  // Where the line goes when no group has one for the type: after the first default group's
  // last non-blank line (its header when it has none).
  std::optional<std::size_t> insertAfter;
  bool inDefaultGroup = false;
  bool inFirstDefaultGroup = false;
  bool handled = false;
  std::vector<std::string> kept;
  kept.reserve(lines.size() + 3);
  for (const std::string_view line : lines) {
    const std::string_view content = Content(line);
    if (IsGroupHeader(content)) {
      inDefaultGroup = Trim(content) == kDefaultGroup;
      inFirstDefaultGroup = inDefaultGroup && !insertAfter;
      kept.emplace_back(line);
      if (inFirstDefaultGroup) insertAfter = kept.size() - 1;
      continue;
    }
    const std::optional<std::string_view> key = KeyOf(content);
    if (inDefaultGroup && key && EqualsIgnoringAsciiCase(*key, mimeType)) {
      if (handled) continue;  // a further line for the type: ours stays the only one
      handled = true;
      const std::string_view value = ValueOf(content);
      if (Trim(value.substr(0, value.find(';'))) == desktopId) {
        kept.emplace_back(line);
      } else {
        kept.push_back(newLine + std::string(line.substr(content.size())));
      }
      continue;
    }
    kept.emplace_back(line);
    if (inFirstDefaultGroup && !Trim(content).empty()) insertAfter = kept.size() - 1;
  }
  if (!handled) {
    if (insertAfter) {
      std::string& before = kept[*insertAfter];
      if (before.empty() || before.back() != '\n') before += '\n';
      kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(*insertAfter) + 1, newLine + "\n");
    } else {
      std::string tail;
      if (!kept.empty()) {
        if (kept.back().back() != '\n') tail += '\n';
        if (!Trim(Content(kept.back())).empty()) tail += '\n';  // a blank line between groups
      }
      tail.append(kDefaultGroup).append("\n").append(newLine).append("\n");
      kept.push_back(std::move(tail));
    }
  }
  std::string result;
  for (const std::string& line : kept) result += line;
  return result;
}

}  // namespace tovask::platform::freedesktop
