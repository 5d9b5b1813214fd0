#include "platform/ini_file.h"

#include <algorithm>

#include "platform/text.h"

namespace tovask::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

char AsciiUpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

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
  Section* section = nullptr;  // text before the first section header belongs to none
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = TrimBlanks(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      // "]" can be the second byte of a GBK character, so the header is decoded first.
      const std::optional<std::string> header = decode(trimmed);
      section = nullptr;
      if (!header) continue;
      const std::size_t close = header->find(']');
      if (close == std::string::npos) continue;
      const std::string_view name = TrimBlanks(std::string_view(*header).substr(1, close - 1));
      // A section opened again (in any letter case) continues the first one.
      section = &file.sections_.try_emplace(std::string(name)).first->second;
      continue;
    }
    if (section == nullptr) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::optional<std::string> name = decode(TrimBlanks(line.substr(0, equals)));
    if (!name) continue;
    // try_emplace keeps an existing entry: the first key of a name decides, decodable or not.
    auto [where, added] = section->try_emplace(std::move(*name));
    if (added) where->second = decode(line.substr(equals + 1));
  }
  return file;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
  const auto inSection = sections_.find(section);
  if (inSection == sections_.end()) return std::nullopt;
  const auto found = inSection->second.find(key);
  if (found == inSection->second.end()) return std::nullopt;
  return found->second;
}

bool IniFile::NameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(AsciiUpperChar(x)) <
           static_cast<unsigned char>(AsciiUpperChar(y));
  });
}

}  // namespace tovask::platform
