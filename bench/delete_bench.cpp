// Deleting one name from a 20,000-entry archive through the engine, without a progress sink
// and with one that only counts its reports: the difference is what the progress texts cost
// (one message lookup per report, some 60,000 per run). Not part of the test run; see
// README.md.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "archive/archive_index.h"
#include "archive/format.h"
#include "archive/writer.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "operations/entry_edits.h"

namespace {

namespace fs = std::filesystem;
using tovask::AppContext;

constexpr int kEntries = 20000;

class CountingSink : public tovask::ProgressSink {
 public:
  bool Report(int, const std::string& text) override {
    ++reports;
    bytes += text.size();
    return true;
  }
  std::int64_t reports = 0;
  std::size_t bytes = 0;
};

// A folder with a started program directory (holding the default message file) and a
// 20,000-entry archive, made once for all benchmarks.
struct Setup {
  Setup() {
    std::string pattern = (fs::temp_directory_path() / "tovask-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
    fs::create_directories(folder / "prog");
    tovask::StartUp(context, (folder / "prog").string());
    // The message file was written just now; the programs' own file has usually been left
    // alone for long, and lookups treat such a file differently (message_file_cache.h). This
    // context takes its file as long unchanged from the start, as tvk's is after its first run.
    context.messageFile = tovask::MessageFileCache({.quiet = std::chrono::nanoseconds(0)});
    base = (folder / "base.tvk").string();
    work = (folder / "work.tvk").string();

    tovask::ArchiveIndex index;
    for (int i = 0; i < kEntries; ++i) {
      const std::string content = std::string("entry ").append(std::to_string(i)).append("\n");
      auto encoded = tovask::EncodeDataBlock(context.dataOps, tovask::AsBytes(content), "");
      if (!encoded) throw std::runtime_error("EncodeDataBlock failed");
      tovask::ArchiveEntry entry;
      entry.path =
          std::string("d").append(std::to_string(i / 1000)).append("\\f").append(std::to_string(i));
      entry.originalSize = static_cast<std::int32_t>(content.size());
      entry.time = 45000.5;
      entry.flags = tovask::EntryFlags::Archive | encoded->transformFlags;
      entry.md5Text = encoded->md5Text;
      entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
      index.Append(entry);
      index.storedBlocks.push_back(std::move(encoded->block));
    }
    index.count = kEntries;
    if (!tovask::WriteArchive(context, index, base)) throw std::runtime_error(context.errorLog);
  }
  ~Setup() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  std::string base;
  std::string work;
  AppContext context;
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

void DeleteOneName(benchmark::State& state, bool withSink) {
  Setup& setup = Shared();
  CountingSink sink;
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(setup.base, setup.work, fs::copy_options::overwrite_existing);
    state.ResumeTiming();
    if (!tovask::DeleteEntries(setup.context, {setup.work, {"d5\\f5000"}},
                               {withSink ? &sink : nullptr})
             .done()) {
      state.SkipWithError(setup.context.errorLog.c_str());
      break;
    }
  }
  if (withSink && state.iterations() > 0) {
    state.counters["reports"] =
        static_cast<double>(sink.reports) / static_cast<double>(state.iterations());
  }
}

void BM_DeleteOneName_NoSink(benchmark::State& state) { DeleteOneName(state, false); }
void BM_DeleteOneName_CountingSink(benchmark::State& state) { DeleteOneName(state, true); }

// The warm-up also lets the freshly written message file age past the time after which its
// stamp alone is trusted.
BENCHMARK(BM_DeleteOneName_NoSink)->Unit(benchmark::kMillisecond)->MinWarmUpTime(4);
BENCHMARK(BM_DeleteOneName_CountingSink)->Unit(benchmark::kMillisecond)->MinWarmUpTime(4);

}  // namespace

BENCHMARK_MAIN();
