#include "archive/listing.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "archive/archive_index.h"
#include "archive/reader.h"
#include "core/display_text.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

struct ColumnLayout {
  int width;
  int alignment;
};
constexpr std::array<ColumnLayout, kListColumnCount> kColumnLayout = {{
    {300, 0},  // relative path and name
    {80, 2},   // original size
    {80, 2},   // stored size
    {128, 0},  // modification time
    {38, 0},   // encrypted
    {38, 0},   // attributes
    {205, 0},  // MD5
}};

std::string FormatUnsignedWithThousands(std::uint64_t n) {
  std::string result;
  while (n >= 1000) {
    char group[4];
    std::snprintf(group, sizeof group, "%03u", static_cast<unsigned>(n % 1000));
    result.insert(0, std::string(",") + group);
    n /= 1000;
  }
  return std::to_string(n) + result;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

}  // namespace

std::string FormatWithThousands(std::int64_t n) {
  if (n < 0) {
    // The magnitude of the smallest int64 does not fit in int64; take it in unsigned.
    const std::uint64_t magnitude = ~static_cast<std::uint64_t>(n) + 1;
    return std::string("-").append(FormatUnsignedWithThousands(magnitude));
  }
  return FormatUnsignedWithThousands(static_cast<std::uint64_t>(n));
}

std::vector<ListColumn> ListColumns(const AppContext& context) {
  // An edited message file may hold fewer titles than columns (those stay "") or more (the
  // extra ones are not shown).
  const std::vector<std::string> titles =
      SplitAt(TitleText(context, TitleCode::ListColumnTitles), ',');
  std::vector<ListColumn> columns;
  columns.reserve(kListColumnCount);
  for (std::size_t i = 0; i < kColumnLayout.size(); ++i) {
    columns.push_back({i < titles.size() ? titles[i] : std::string(), kColumnLayout[i].width,
                       kColumnLayout[i].alignment});
  }
  return columns;
}

std::string FormatListTime(double dateTime) {
  const std::optional<platform::LocalDateTime> local = LocalFromDateTime(dateTime);
  if (!local) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local->year, local->month,
                local->day, local->hour, local->minute, local->second);
  return text;
}

std::string AttributeLetters(std::uint8_t flags) {
  std::string letters;
  if (flags & EntryFlags::Archive) letters += 'A';
  if (flags & EntryFlags::ReadOnly) letters += 'R';
  if (flags & EntryFlags::Hidden) letters += 'H';
  if (flags & EntryFlags::System) letters += 'S';
  return letters;
}

std::string ListCellText(const ArchiveEntry& entry, int column) {
  switch (column) {
    case ColumnPath:
      return EscapeControlCharacters(entry.path);
    case ColumnOriginalSize:
      return FormatWithThousands(entry.originalSize);
    case ColumnStoredSize:
      return FormatWithThousands(entry.storedSize);
    case ColumnTime:
      return FormatListTime(entry.time);
    case ColumnEncrypted:
      return (entry.flags & EntryFlags::Encrypted) ? "Y" : "";
    case ColumnAttributes:
      return AttributeLetters(entry.flags);
    case ColumnMd5:
      return platform::AsciiUpper(entry.md5Text);
    default:
      return "";
  }
}

ListRow ListRowCells(const ArchiveEntry& entry) {
  ListRow cells;
  for (int column = 0; column < kListColumnCount; ++column) {
    cells[column] = ListCellText(entry, column);
  }
  return cells;
}

std::array<std::string, 5> SummaryTexts(const ArchiveSummary& summary) {
  return {summary.version, FormatWithThousands(summary.entryCount),
          FormatWithThousands(summary.totalOriginalSize),
          FormatWithThousands(summary.totalStoredSize),
          FormatWithThousands(summary.archiveFileSize)};
}

bool ListArchive(AppContext& context, const std::string& path, ArchiveListing& listing) {
  ClearErrorLog(context);
  ArchiveIndex index;
  LoadOptions options;
  options.mode = LoadMode::IndexOnly;
  if (!LoadArchiveIndex(context, index, path, options)) {
    LoadArchiveIndex(context, index);
    return false;
  }

  // The index is released below, so its texts move into the entries instead of being copied.
  const auto count = static_cast<std::size_t>(index.count);
  ArchiveListing listed;
  listed.entries.reserve(count);
  ArchiveSummary& summary = listed.summary;
  for (std::size_t i = 0; i < count; ++i) {
    ArchiveEntry entry = index.TakeEntry(i);
    // Each size field holds up to 2^31 - 1, so the totals need 64 bits.
    summary.totalOriginalSize += entry.originalSize;
    summary.totalStoredSize += entry.storedSize;
    listed.entries.push_back(std::move(entry));
  }
  summary.version = context.archiveMagic + context.formatVersion;
  summary.entryCount = index.count;
  const std::optional<platform::FileInfo> info = platform::StatPath(path);
  summary.archiveFileSize = info ? static_cast<std::int64_t>(info->size) : 0;

  LoadArchiveIndex(context, index);
  listing = std::move(listed);
  return true;
}

}  // namespace tovask
