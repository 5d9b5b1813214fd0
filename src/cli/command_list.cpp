// tvk list ARCHIVE [--json] and tvk info ARCHIVE.
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "archive/listing.h"
#include "archive/reader.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/files.h"

namespace tovask::cli {
namespace {

// Prints the listing as tab-separated lines: the column titles, then one line per entry.
class TabSeparatedSink : public ListSink {
 public:
  void Begin(const std::vector<ListColumn>& columns) override {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      std::cout << (i ? "\t" : "") << columns[i].title;
    }
    std::cout << '\n';
  }
  void AddRow(int, const ListRow& cells) override {
    for (std::size_t i = 0; i < cells.size(); ++i) std::cout << (i ? "\t" : "") << cells[i];
    std::cout << '\n';
  }
  void End() override { std::cout << std::flush; }
};

int ListAsJson(AppContext& context, const std::string& path) {
  context.errorLog.clear();
  ArchiveIndex index;
  if (!LoadArchiveIndex(context, index, path)) return ReportFailure(context);
  const auto archiveInfo = platform::StatPath(path);

  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  std::int64_t totalSize = 0;
  std::int64_t totalStored = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
    const ArchiveEntry entry = index.Entry(i);
    const ListRow cells = ListRowCells(entry);
    totalSize += entry.originalSize;
    totalStored += entry.storedSize;
    entries.push_back({{"path", entry.path},
                       {"size", entry.originalSize},
                       {"stored", entry.storedSize},
                       {"time", cells[3]},
                       {"encrypted", (entry.flags & EntryFlags::Encrypted) != 0},
                       {"compressed", (entry.flags & EntryFlags::Compressed) != 0},
                       {"attributes", cells[5]},
                       {"md5", cells[6]}});
  }
  LoadArchiveIndex(context, index);
  nlohmann::ordered_json out = {{"archive", path},
                                {"version", context.archiveMagic + context.formatVersion},
                                {"count", entries.size()},
                                {"totalSize", totalSize},
                                {"totalStored", totalStored},
                                {"archiveSize", archiveInfo ? archiveInfo->size : 0},
                                {"entries", entries}};
  std::cout << out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  return kExitOk;
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
      if (options->json) return ListAsJson(context, path);
      TabSeparatedSink sink;
      if (!ListArchive(context, path, &sink, nullptr)) return ReportFailure(context);
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
      std::string summaryText;
      if (!ListArchive(context, path, nullptr, &summaryText)) return ReportFailure(context);
      const ArchiveInformation info = DescribeArchive(path, SplitSummary(summaryText));
      for (const auto& line : info.lines) std::cout << line << '\n';
      return kExitOk;
    };
  });
}

}  // namespace tovask::cli
