#include "archive/listing.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "archive/archive_index.h"
#include "archive/reader.h"
#include "core/display_text.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

constexpr int kColumnTitlesCode = 51;

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

// The captions of the information window, each 12 GBK bytes so that the values line up.
constexpr std::array<std::string_view, 7> kInformationCaptions = {
    "    文件名：", "  压缩版本：", "  文件总数：", "文件总大小：",
    "压缩总大小：", "压缩包大小：", "    压缩率：",
};
constexpr std::size_t kInformationFieldWidth = 30;

constexpr std::size_t kSummaryItemCount = 5;

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

// Item i (0-based) of the summary, "" when the summary is shorter.
const std::string& SummaryItem(const ArchiveSummary& summary, std::size_t i) {
  static const std::string kEmpty;
  return i < summary.items.size() ? summary.items[i] : kEmpty;
}

// A summary figure read back: the digits with their "," separators removed. nullopt for
// anything else (empty, a sign, other characters, more than int64 holds).
std::optional<std::int64_t> ParseFigure(std::string_view text) {
  std::int64_t value = 0;
  bool anyDigit = false;
  for (const char c : text) {
    if (c == ',') continue;
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    anyDigit = true;
  }
  if (!anyDigit) return std::nullopt;
  return value;
}

// archiveSize * 100 / totalSize, truncated, exact for any non-negative operands (no
// intermediate overflows); saturates at the int64 maximum. 0 when totalSize is not positive.
std::int64_t RatioPercent(std::int64_t archiveSize, std::int64_t totalSize) {
  if (totalSize <= 0 || archiveSize < 0) return 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (archiveSize <= kMax / 100) return archiveSize * 100 / totalSize;
  const std::int64_t whole = archiveSize / totalSize;
  if (whole > kMax / 100 - 1) return kMax;
  // rest * 100 / totalSize by binary long multiplication: invariant rest * (bits of 100 seen
  // so far) = quotient * total + remainder with remainder < total, so every intermediate
  // stays below 2 * total < 2^64.
  const auto total = static_cast<std::uint64_t>(totalSize);
  const auto rest = static_cast<std::uint64_t>(archiveSize % totalSize);
  std::uint64_t quotient = 0;
  std::uint64_t remainder = 0;
  for (int bit = 6; bit >= 0; --bit) {
    quotient *= 2;
    remainder *= 2;
    if (remainder >= total) {
      remainder -= total;
      ++quotient;
    }
    if ((100 >> bit) & 1) {
      remainder += rest;
      if (remainder >= total) {
        remainder -= total;
        ++quotient;
      }
    }
  }
  return whole * 100 + static_cast<std::int64_t>(quotient);
}

// The last kInformationFieldWidth GBK bytes of (blanks + value), cut before a whole
// character: when the cut would split a two-byte character, that character is dropped and a
// blank takes its place, so the field is always exactly kInformationFieldWidth bytes wide.
std::string InformationField(std::string_view value) {
  std::size_t width = platform::GbkByteCount(value);
  std::string_view kept = value;
  while (width > kInformationFieldWidth && !kept.empty()) {
    const std::size_t length = platform::Utf8CharLength(kept);
    width -= platform::GbkByteCount(kept.substr(0, length));
    kept.remove_prefix(length);
  }
  return std::string(kInformationFieldWidth - width, ' ') + std::string(kept);
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
  const std::vector<std::string> titles = SplitAt(TitleText(context, kColumnTitlesCode), ',');
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

ListRow ListRowCells(const ArchiveEntry& entry) {
  return {EscapeControlCharacters(entry.path),
          FormatWithThousands(entry.originalSize),
          FormatWithThousands(entry.storedSize),
          FormatListTime(entry.time),
          (entry.flags & EntryFlags::Encrypted) ? "Y" : "",
          AttributeLetters(entry.flags),
          platform::AsciiUpper(entry.md5Text)};
}

std::string JoinSummary(const ArchiveSummary& summary) {
  std::string text;
  for (std::size_t i = 0; i < summary.items.size(); ++i) {
    if (i > 0) text += '|';
    text += summary.items[i];
  }
  return text;
}

ArchiveSummary SplitSummary(const std::string& text) {
  if (text.empty()) return {};
  return {SplitAt(text, '|')};
}

bool ListArchive(AppContext& context, const std::string& path, ListSink* list,
                 std::string* summaryText) {
  context.errorLog.clear();
  ArchiveIndex index;
  LoadOptions options;
  options.mode = LoadMode::IndexOnly;
  if (!LoadArchiveIndex(context, index, path, options)) {
    LoadArchiveIndex(context, index);
    return false;
  }

  const auto count = static_cast<std::size_t>(index.count);
  if (list != nullptr) {
    list->Begin(ListColumns(context));
    for (std::size_t i = 0; i < count; ++i) {
      list->AddRow(static_cast<int>(i + 1), ListRowCells(index.Entry(i)));
    }
    list->End();
  }

  if (summaryText != nullptr) {
    // Each size field holds up to 2^31 - 1, so the totals need 64 bits.
    std::int64_t totalOriginal = 0;
    std::int64_t totalStored = 0;
    for (std::size_t i = 0; i < count; ++i) {
      totalOriginal += index.originalSizes[i];
      totalStored += index.storedSizes[i];
    }
    const std::optional<platform::FileInfo> info = platform::StatPath(path);
    const std::int64_t archiveSize = info ? static_cast<std::int64_t>(info->size) : 0;
    ArchiveSummary summary;
    summary.items = {context.archiveMagic + context.formatVersion, FormatWithThousands(index.count),
                     FormatWithThousands(totalOriginal), FormatWithThousands(totalStored),
                     FormatWithThousands(archiveSize)};
    *summaryText = JoinSummary(summary);
  }

  LoadArchiveIndex(context, index);
  return true;
}

MainWindowState RefreshMainWindow(AppContext& context, ListSink* list, ArchiveSummary& summary) {
  MainWindowState state;
  state.caption = std::string(kProductName);
  if (context.currentArchivePath.empty()) return state;

  std::string summaryText;
  if (!ListArchive(context, context.currentArchivePath, list, &summaryText)) {
    // No archive is current any more: show the no-archive presentation rather than the
    // figures and commands of an archive that is gone, and drop the old summary so that the
    // information window cannot show another archive's figures under no name.
    state.errorText = CurrentErrorLog(context);
    state.listCleared = true;
    context.currentArchivePath.clear();
    summary.items.clear();
    return state;
  }

  summary = SplitSummary(summaryText);
  state.caption =
      EscapeControlCharacters(context.currentArchivePath) + " - " + std::string(kProductName);
  state.statusText = SummaryItem(summary, 0) + "版压缩包，共" + SummaryItem(summary, 1) +
                     "个文件，合计" + SummaryItem(summary, 2) + "字节。";
  state.archiveCommandsEnabled = true;
  return state;
}

ArchiveInformation DescribeArchive(const std::string& archivePath, const ArchiveSummary& summary) {
  ArchiveInformation information;
  const std::int64_t ratio = RatioPercent(ParseFigure(SummaryItem(summary, 4)).value_or(0),
                                          ParseFigure(SummaryItem(summary, 2)).value_or(0));
  information.ratioPercent = ratio > std::numeric_limits<int>::max()
                                 ? std::numeric_limits<int>::max()
                                 : static_cast<int>(ratio);
  information.barPosition = information.ratioPercent > 100 ? 100 : information.ratioPercent;

  const std::string fileName = EscapeControlCharacters(platform::FileName(archivePath));

  std::array<std::string, 7> values = {fileName, "", "", "", "", "", std::to_string(ratio) + "%"};
  for (std::size_t i = 0; i < kSummaryItemCount; ++i) values[i + 1] = SummaryItem(summary, i);
  for (std::size_t i = 0; i < values.size(); ++i) {
    information.lines[i] = std::string(kInformationCaptions[i]) + InformationField(values[i]);
  }
  return information;
}

}  // namespace tovask
