// tvk list ARCHIVE [--json] and tvk info ARCHIVE.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/archive_information.h"
#include "archive/listing.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

namespace tovask::cli {
namespace {

// Rows are gathered into one buffer and written a piece of this size at a time: one write
// call per piece instead of one stream insertion per cell, and memory that does not grow with
// the archive.
constexpr std::size_t kOutputPiece = std::size_t{64} << 10;

class PieceWriter {
 public:
  PieceWriter() { out_.reserve(kOutputPiece + 1024); }
  std::string& out() { return out_; }
  // Writes the buffer once it holds a piece.
  void WriteFullPiece() {
    if (out_.size() >= kOutputPiece) Write();
  }
  void Write() {
    std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size()));
    out_.clear();
  }

 private:
  std::string out_;
};

// Prints the listing as tab-separated lines: the column titles, then one line per entry.
void PrintTabSeparated(const std::vector<ListColumn>& columns, const ArchiveListing& listing) {
  PieceWriter writer;
  std::string& out = writer.out();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i) out += '\t';
    out += columns[i].title;
  }
  out += '\n';
  for (const ArchiveEntry& entry : listing.entries) {
    for (int column = 0; column < kListColumnCount; ++column) {
      if (column) out += '\t';
      AppendListCellText(out, entry, column);
    }
    out += '\n';
    writer.WriteFullPiece();
  }
  writer.Write();
}

// Appends text as a JSON string exactly as nlohmann::json writes it (no ASCII escaping, bytes
// that are not UTF-8 replaced). Printable ASCII, the usual case, is written here; any other
// text goes through the library, so the two can never differ.
void AppendJsonString(std::string& out, std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
  if (!plain) {
    out += nlohmann::ordered_json(text).dump(-1, ' ', false,
                                             nlohmann::ordered_json::error_handler_t::replace);
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendJsonNumber(std::string& out, std::int64_t n) {
  char text[24];
  const auto end = std::to_chars(std::begin(text), std::end(text), n).ptr;
  out.append(text, end);
}

// One JSON object on one line, written as the rows go instead of as a document built first.
// The bytes are those of nlohmann::ordered_json::dump() of the same object: keys in this
// order, no spaces.
void PrintJson(const std::string& path, const ArchiveListing& listing) {
  PieceWriter writer;
  std::string& out = writer.out();
  const ArchiveSummary& summary = listing.summary;
  out += "{\"archive\":";
  AppendJsonString(out, path);
  out += ",\"version\":";
  AppendJsonString(out, summary.version);
  out += ",\"count\":";
  AppendJsonNumber(out, summary.entryCount);
  out += ",\"totalSize\":";
  AppendJsonNumber(out, summary.totalOriginalSize);
  out += ",\"totalStored\":";
  AppendJsonNumber(out, summary.totalStoredSize);
  out += ",\"archiveSize\":";
  AppendJsonNumber(out, summary.archiveFileSize);
  out += ",\"entries\":[";
  std::string cell;
  const auto appendCell = [&](const char* key, const ArchiveEntry& entry, int column) {
    out += key;
    cell.clear();
    AppendListCellText(cell, entry, column);
    AppendJsonString(out, cell);
  };
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const ArchiveEntry& entry = listing.entries[i];
    out += i ? ",{\"path\":" : "{\"path\":";
    AppendJsonString(out, entry.path);
    out += ",\"size\":";
    AppendJsonNumber(out, entry.originalSize);
    out += ",\"stored\":";
    AppendJsonNumber(out, entry.storedSize);
    appendCell(",\"time\":", entry, ColumnTime);
    out += (entry.flags & EntryFlags::Encrypted) ? ",\"encrypted\":true" : ",\"encrypted\":false";
    out +=
        (entry.flags & EntryFlags::Compressed) ? ",\"compressed\":true" : ",\"compressed\":false";
    appendCell(",\"attributes\":", entry, ColumnAttributes);
    appendCell(",\"md5\":", entry, ColumnMd5);
    out += '}';
    writer.WriteFullPiece();
  }
  out += "]}\n";
  writer.Write();
}

// Flushes standard output; a write that failed (a full disk, a closed file) makes the command
// fail instead of leaving a cut-off listing behind a success status.
int FinishOutput() {
  std::cout.flush();
  if (std::cout) return kExitOk;
  std::cerr << "tvk: writing to standard output failed\n";
  return kExitFailed;
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
      return FinishOutput();
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
      return FinishOutput();
    };
  });
}

}  // namespace tovask::cli
