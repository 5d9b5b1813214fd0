#include "app/archive_information.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "core/display_text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

// The captions of the information window, each 12 GBK bytes so that the values line up.
constexpr std::array<std::string_view, 7> kInformationCaptions = {
    "    文件名：", "  压缩版本：", "  文件总数：", "文件总大小：",
    "压缩总大小：", "压缩包大小：", "    压缩率：",
};
constexpr std::size_t kInformationFieldWidth = 30;

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
  return std::string(kInformationFieldWidth - width, ' ').append(kept);
}

}  // namespace

ArchiveInformation DescribeArchive(const std::string& archivePath, const ArchiveSummary* summary) {
  ArchiveInformation information;
  const std::int64_t ratio =
      summary ? RatioPercent(summary->archiveFileSize, summary->totalOriginalSize) : 0;
  information.ratioPercent = ratio > std::numeric_limits<int>::max()
                                 ? std::numeric_limits<int>::max()
                                 : static_cast<int>(ratio);
  information.barPosition = information.ratioPercent > 100 ? 100 : information.ratioPercent;

  const std::string fileName = EscapeControlCharacters(platform::FileName(archivePath));

  std::array<std::string, 7> values = {fileName, "", "", "", "", "", std::to_string(ratio) + "%"};
  if (summary) {
    const std::array<std::string, 5> figures = SummaryTexts(*summary);
    for (std::size_t i = 0; i < figures.size(); ++i) values[i + 1] = figures[i];
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    information.lines[i] = std::string(kInformationCaptions[i]).append(InformationField(values[i]));
  }
  return information;
}

}  // namespace tovask
