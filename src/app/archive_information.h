// The information window's content (DescribeArchive): seven aligned lines, the compression
// ratio and the bar position, computed from the summary of the listing the main window shows.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "archive/listing.h"

namespace tovask {

inline constexpr std::string_view kInformationCaption = "Tovask 压缩文件信息";

struct ArchiveInformation {
  // Each line is a 12-byte caption and the value right-aligned in a field of exactly 30 GBK
  // bytes.
  std::array<std::string, 7> lines;
  // archive file size * 100 / total original size, truncated (exact in 64 bits, saturating at
  // the int maximum); 0 when there is no data. Line 7 shows the unsaturated figure.
  int ratioPercent = 0;
  int barPosition = 0;  // ratio limited to 0..100
};

// The information window's lines for the archive at archivePath with the given summary
// (nullptr: no archive has been listed, or the last reload failed). A value longer than its
// field loses its beginning, cut on a character boundary; when the cut would split a two-byte
// character, a blank takes its place. Values: the last level of archivePath (control
// characters escaped), the five summary texts (SummaryTexts), the ratio + "%". Without a
// summary the five figures are blank fields and the ratio is "0%"; a total original size of 0
// also gives "0%". Never fails. User-interface thread (tvk: its one thread); keeps no state.
[[nodiscard]] ArchiveInformation DescribeArchive(const std::string& archivePath,
                                                 const ArchiveSummary* summary);

}  // namespace tovask
