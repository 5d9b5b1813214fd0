// tvk list ARCHIVE [--json] and tvk info ARCHIVE.
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "app/archive_information.h"
#include "archive/listing.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

namespace tovask::cli {
namespace {

// Prints the listing as tab-separated lines: the column titles, then one line per entry.
void PrintTabSeparated(const std::vector<ListColumn>& columns, const ArchiveListing& listing) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::cout << (i ? "\t" : "") << columns[i].title;
  }
  std::cout << '\n';
  for (const ArchiveEntry& entry : listing.entries) {
    for (int column = 0; column < kListColumnCount; ++column) {
      std::cout << (column ? "\t" : "") << ListCellText(entry, column);
    }
    std::cout << '\n';
  }
  std::cout << std::flush;
}

void PrintJson(const std::string& path, const ArchiveListing& listing) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (const ArchiveEntry& entry : listing.entries) {
    entries.push_back({{"path", entry.path},
                       {"size", entry.originalSize},
                       {"stored", entry.storedSize},
                       {"time", ListCellText(entry, ColumnTime)},
                       {"encrypted", (entry.flags & EntryFlags::Encrypted) != 0},
                       {"compressed", (entry.flags & EntryFlags::Compressed) != 0},
                       {"attributes", ListCellText(entry, ColumnAttributes)},
                       {"md5", ListCellText(entry, ColumnMd5)}});
  }
  const ArchiveSummary& summary = listing.summary;
  nlohmann::ordered_json out = {{"archive", path},
                                {"version", summary.version},
                                {"count", summary.entryCount},
                                {"totalSize", summary.totalOriginalSize},
                                {"totalStored", summary.totalStoredSize},
                                {"archiveSize", summary.archiveFileSize},
                                {"entries", entries}};
  std::cout << out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

void AttachList(CLI::App& app, CliState& state) {
  struct Options {
    std::string archive;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "list",
      "List the entries of an archive: a line of column titles, then one line per entry "
      "with the seven columns separated by tabs");
  command->add_option("ARCHIVE", options->archive, "The archive (.tvk)")->required();
  command->add_flag("--json", options->json, "Print one JSON object instead");
  command->callback([&state, options] {
    state.action = [&state, options] {
      AppContext& context = *state.context;
      const std::string path = AbsoluteArgument(options->archive);
      ArchiveListing listing;
      if (!ListArchive(context, path, listing)) return ReportFailure(context);
      if (options->json) {
        PrintJson(path, listing);
      } else {
        PrintTabSeparated(ListColumns(context), listing);
      }
      return kExitOk;
    };
  });
}

void AttachInfo(CLI::App& app, CliState& state) {
  auto archive = std::make_shared<std::string>();
  auto* command = app.add_subcommand(
      "info",
      "Show the archive's information: file name, version, number of files, total "
      "size, total stored size, archive size and compression ratio");
  command->add_option("ARCHIVE", *archive, "The archive (.tvk)")->required();
  command->callback([&state, archive] {
    state.action = [&state, archive] {
      AppContext& context = *state.context;
      const std::string path = AbsoluteArgument(*archive);
      ArchiveListing listing;
      if (!ListArchive(context, path, listing)) return ReportFailure(context);
      const ArchiveInformation info = DescribeArchive(path, &listing.summary);
      for (const auto& line : info.lines) std::cout << line << '\n';
      return kExitOk;
    };
  });
}

}  // namespace tovask::cli
