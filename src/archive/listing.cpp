#include "archive/listing.h"

#include <iterator>
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

// Appends n in groups of three digits separated by ",".
void AppendUnsignedWithThousands(std::string& out, std::uint64_t n) {
  // 20 digits and 6 separators at most, written from the end.
  char text[32];
  char* start = std::end(text);
  for (int digits = 0;; ++digits) {
    if (digits > 0 && digits % 3 == 0) *--start = ',';
    *--start = static_cast<char>('0' + n % 10);
    n /= 10;
    if (n == 0) break;
  }
  out.append(start, std::end(text));
}

void AppendWithThousands(std::string& out, std::int64_t n) {
  if (n < 0) {
    // The magnitude of the smallest int64 does not fit in int64; take it in unsigned.
    out += '-';
    AppendUnsignedWithThousands(out, ~static_cast<std::uint64_t>(n) + 1);
    return;
  }
  AppendUnsignedWithThousands(out, static_cast<std::uint64_t>(n));
}

// Appends value (0 <= value < 10^width) with leading zeros to width digits.
void AppendZeroPadded(std::string& out, int value, int width) {
  char text[4];
  for (int i = width - 1; i >= 0; --i) {
    text[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(text, static_cast<std::size_t>(width));
}

void AppendListTime(std::string& out, double dateTime) {
  // The fields of a valid value are in range: years 1..9999, the others calendar values.
  const std::optional<platform::LocalDateTime> local = LocalFromDateTime(dateTime);
  if (!local) return;
  AppendZeroPadded(out, local->year, 4);
  out += '-';
  AppendZeroPadded(out, local->month, 2);
  out += '-';
  AppendZeroPadded(out, local->day, 2);
  out += ' ';
  AppendZeroPadded(out, local->hour, 2);
  out += ':';
  AppendZeroPadded(out, local->minute, 2);
  out += ':';
  AppendZeroPadded(out, local->second, 2);
}

void AppendAttributeLetters(std::string& out, std::uint8_t flags) {
  if (flags & EntryFlags::Archive) out += 'A';
  if (flags & EntryFlags::ReadOnly) out += 'R';
  if (flags & EntryFlags::Hidden) out += 'H';
  if (flags & EntryFlags::System) out += 'S';
}

void AppendAsciiUpper(std::string& out, std::string_view text) {
  const std::size_t at = out.size();
  out.append(text);
  for (std::size_t i = at; i < out.size(); ++i) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
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
  std::string text;
  AppendWithThousands(text, n);
  return text;
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
  std::string text;
  AppendListTime(text, dateTime);
  return text;
}

std::string AttributeLetters(std::uint8_t flags) {
  std::string letters;
  AppendAttributeLetters(letters, flags);
  return letters;
}

void AppendListCellText(std::string& out, const ArchiveEntry& entry, int column) {
  switch (column) {
    case ColumnPath:
      AppendEscapedControlCharacters(out, entry.path);
      break;
    case ColumnOriginalSize:
      AppendWithThousands(out, entry.originalSize);
      break;
    case ColumnStoredSize:
      AppendWithThousands(out, entry.storedSize);
      break;
    case ColumnTime:
      AppendListTime(out, entry.time);
      break;
    case ColumnEncrypted:
      if (entry.flags & EntryFlags::Encrypted) out += 'Y';
      break;
    case ColumnAttributes:
      AppendAttributeLetters(out, entry.flags);
      break;
    case ColumnMd5:
      AppendAsciiUpper(out, entry.md5Text);
      break;
    default:
      break;
  }
}

std::string ListCellText(const ArchiveEntry& entry, int column) {
  std::string text;
  AppendListCellText(text, entry, column);
  return text;
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
