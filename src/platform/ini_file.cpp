#include "platform/ini_file.h"

#include "platform/text.h"

namespace tovask::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile file;
  const bool isUtf8 = text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark;
  if (isUtf8) text.remove_prefix(kUtf8ByteOrderMark.size());
  // Splitting the raw bytes is safe in GBK too: LF, CR and "=" are never the second byte of a
  // GBK character (those are 0x40 and above).
  const auto decode = [isUtf8](std::string_view raw) -> std::optional<std::string> {
    if (isUtf8) {
      if (!IsValidUtf8(raw)) return std::nullopt;
      return std::string(raw);
    }
    return GbkToUtf8(raw);
  };
  std::optional<std::string> section;  // text before the first section header belongs to none
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = TrimBlanks(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      // "]" can be the second byte of a GBK character, so the header is decoded first.
      const std::optional<std::string> header = decode(trimmed);
      section.reset();
      if (!header) continue;
      const std::size_t close = header->find(']');
      if (close == std::string::npos) continue;
      section = AsciiUpper(TrimBlanks(std::string_view(*header).substr(1, close - 1)));
      continue;
    }
    if (!section) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::optional<std::string> name = decode(TrimBlanks(line.substr(0, equals)));
    if (!name) continue;
    // emplace keeps an existing entry: the first key of a name decides, decodable or not.
    auto [where, added] = file.values_.try_emplace({*section, AsciiUpper(*name)});
    if (added) where->second = decode(line.substr(equals + 1));
  }
  return file;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
  const auto found = values_.find(std::pair(AsciiUpper(section), AsciiUpper(key)));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tovask::platform
