// The engine's hot paths, one at a time: the digest, compressing and decompressing a block,
// encrypting and decrypting it, encoding and decoding one index record, loading the index of a
// 100,000-entry archive and listing its rows. Not part of the test run; see README.md.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "archive/archive_index.h"
#include "archive/format.h"
#include "archive/listing.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "core/app_context.h"
#include "core/data_ops.h"
#include "core/startup.h"

namespace {

namespace fs = std::filesystem;
using tovask::AppContext;
using tovask::ArchiveEntry;
using tovask::Bytes;
using tovask::DataOps;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr int kArchiveEntries = 100000;

// Half text-like runs that compress well, half pseudo-random bytes that do not, in 4 KiB
// stretches: about what a source tree with some binaries gives zstd. Fixed seed.
Bytes MixedBlock(std::size_t size) {
  std::mt19937_64 random(12345);
  Bytes block(size);
  static constexpr std::string_view kText =
      "int main(int argc, char** argv) { return helper(argc, argv) + 1; }\n";
  for (std::size_t i = 0; i < size; ++i) {
    block[i] = ((i / 4096) % 2 == 0) ? static_cast<std::uint8_t>(kText[i % kText.size()])
                                     : static_cast<std::uint8_t>(random());
  }
  return block;
}

ArchiveEntry SampleEntry(int i) {
  ArchiveEntry entry;
  entry.path = std::string("usr\\include\\module")
                   .append(std::to_string(i / 1000))
                   .append("\\sub")
                   .append(std::to_string(i % 7))
                   .append("\\file")
                   .append(std::to_string(i))
                   .append(".h");
  entry.originalSize = 1000 + i;
  entry.time = 45000.5 + i / 86400.0;
  entry.flags = tovask::EntryFlags::Archive | tovask::EntryFlags::Compressed;
  entry.md5Text = "0123456789abcdef0123456789abcdef";
  entry.storedSize = 400 + i % 300;
  entry.dataOffset = i * 10;
  return entry;
}

void BM_Digest(benchmark::State& state) {
  const Bytes block = MixedBlock(static_cast<std::size_t>(state.range(0)));
  DataOps ops;
  for (auto _ : state) benchmark::DoNotOptimize(ops.Digest(block));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Digest)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);

void BM_Compress(benchmark::State& state) {
  const Bytes block = MixedBlock(static_cast<std::size_t>(state.range(0)));
  DataOps ops;
  for (auto _ : state) benchmark::DoNotOptimize(ops.Compress(block, DataOps::kDefaultLevel));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Compress)->Arg(kMiB)->Arg(16 * kMiB)->Unit(benchmark::kMillisecond);

void BM_Decompress(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  DataOps ops;
  const Bytes frame = ops.Compress(MixedBlock(size), DataOps::kDefaultLevel);
  for (auto _ : state) benchmark::DoNotOptimize(ops.Decompress(frame, size));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Decompress)->Arg(kMiB)->Arg(16 * kMiB)->Unit(benchmark::kMillisecond);

// The key derivation is paid once, before the timing, as a run pays it once per password.
void BM_Encrypt(benchmark::State& state) {
  const Bytes block = MixedBlock(static_cast<std::size_t>(state.range(0)));
  DataOps ops;
  const int method = static_cast<int>(state.range(1));
  benchmark::DoNotOptimize(ops.Encrypt(block, "password", method));
  for (auto _ : state) benchmark::DoNotOptimize(ops.Encrypt(block, "password", method));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Encrypt)->Args({kMiB, 1})->Args({kMiB, 2})->Unit(benchmark::kMillisecond);

void BM_Decrypt(benchmark::State& state) {
  DataOps ops;
  const int method = static_cast<int>(state.range(1));
  const Bytes sealed =
      ops.Encrypt(MixedBlock(static_cast<std::size_t>(state.range(0))), "password", method);
  for (auto _ : state) benchmark::DoNotOptimize(ops.Decrypt(sealed, "password", method));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Decrypt)->Args({kMiB, 1})->Args({kMiB, 2})->Unit(benchmark::kMillisecond);

// One index record as the writer stores it: encoded, then compressed.
void BM_EncodeRecord(benchmark::State& state) {
  DataOps ops;
  const ArchiveEntry entry = SampleEntry(4242);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ops.Compress(tovask::EncodeEntryRecord(entry, entry.dataOffset)));
  }
}
BENCHMARK(BM_EncodeRecord);

// One index record as a reader decodes it alone: decompressed with a decoder of its own, then
// parsed.
void BM_DecodeRecord(benchmark::State& state) {
  DataOps ops;
  const ArchiveEntry entry = SampleEntry(4242);
  const Bytes frame = ops.Compress(tovask::EncodeEntryRecord(entry, entry.dataOffset));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tovask::DecodeEntryRecord(ops.Decompress(frame, tovask::kMaxRecordSize)));
  }
}
BENCHMARK(BM_DecodeRecord);

// The same through the decoder that DataOps keeps from record to record, as the reader does.
void BM_DecodeRecordReusedDecoder(benchmark::State& state) {
  DataOps ops;
  const ArchiveEntry entry = SampleEntry(4242);
  const Bytes frame = ops.Compress(tovask::EncodeEntryRecord(entry, entry.dataOffset));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tovask::DecodeEntryRecord(ops.DecompressReused(frame, tovask::kMaxRecordSize)));
  }
}
BENCHMARK(BM_DecodeRecordReusedDecoder);

// A started program folder (holding the default message file) with an archive of 100,000
// entries of a few bytes each, made once for all benchmarks that need it.
struct BigArchive {
  BigArchive() {
    std::string pattern = (fs::temp_directory_path() / "tovask-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
    fs::create_directories(folder / "prog");
    tovask::StartUp(context, (folder / "prog").string());
    // Take the fresh message file as long unchanged, as tvk's own is (message_file_cache.h).
    context.messageFile = tovask::MessageFileCache({.quiet = std::chrono::nanoseconds(0)});
    path = (folder / "big.tvk").string();

    tovask::ArchiveIndex index;
    for (int i = 0; i < kArchiveEntries; ++i) {
      const std::string content = std::string("entry ").append(std::to_string(i)).append("\n");
      auto encoded = tovask::EncodeDataBlock(context.dataOps, tovask::AsBytes(content), "");
      if (!encoded) throw std::runtime_error("EncodeDataBlock failed");
      ArchiveEntry entry = SampleEntry(i);
      entry.originalSize = static_cast<std::int32_t>(content.size());
      entry.flags = tovask::EntryFlags::Archive | encoded->transformFlags;
      entry.md5Text = encoded->md5Text;
      entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
      index.Append(entry);
      index.storedBlocks.push_back(std::move(encoded->block));
    }
    index.count = kArchiveEntries;
    if (!tovask::WriteArchive(context, index, path)) throw std::runtime_error(context.errorLog);
  }
  ~BigArchive() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  std::string path;
  AppContext context;
};

BigArchive& Big() {
  static BigArchive archive;
  return archive;
}

void BM_LoadIndex100k(benchmark::State& state) {
  BigArchive& big = Big();
  for (auto _ : state) {
    tovask::ArchiveIndex index;
    if (!tovask::LoadArchiveIndex(big.context, index, big.path)) {
      state.SkipWithError(big.context.errorLog.c_str());
      break;
    }
    benchmark::DoNotOptimize(index.count);
  }
}
BENCHMARK(BM_LoadIndex100k)->Unit(benchmark::kMillisecond);

// What tvk list and the main window do: the index load plus the typed listing.
void BM_ListArchive100k(benchmark::State& state) {
  BigArchive& big = Big();
  for (auto _ : state) {
    tovask::ArchiveListing listing;
    if (!tovask::ListArchive(big.context, big.path, listing)) {
      state.SkipWithError(big.context.errorLog.c_str());
      break;
    }
    benchmark::DoNotOptimize(listing.entries.data());
  }
}
BENCHMARK(BM_ListArchive100k)->Unit(benchmark::kMillisecond);

// The text of every cell of 100,000 rows, as tvk list prints them.
void BM_ListRows100k(benchmark::State& state) {
  BigArchive& big = Big();
  tovask::ArchiveListing listing;
  if (!tovask::ListArchive(big.context, big.path, listing)) {
    state.SkipWithError(big.context.errorLog.c_str());
    return;
  }
  for (auto _ : state) {
    std::size_t characters = 0;
    for (const ArchiveEntry& entry : listing.entries) {
      for (int column = 0; column < tovask::kListColumnCount; ++column) {
        characters += tovask::ListCellText(entry, column).size();
      }
    }
    benchmark::DoNotOptimize(characters);
  }
}
BENCHMARK(BM_ListRows100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
