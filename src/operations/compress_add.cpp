#include "operations/compress_add.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "archive/archive_index.h"
#include "archive/archive_lock.h"
#include "archive/block_spill.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "core/data_ops.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "core/ordered_work.h"
#include "operations/source_collection.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/times.h"

namespace tovask {
namespace {

using platform::kSeparator;

// The bands of the run: files 5..55, the load of the kept entries 55..75, the writer 75..100.
constexpr int kFilesBase = 5;
constexpr int kFilesSpan = 50;
constexpr int kLoadBase = 55;
constexpr int kLoadSpan = 20;
constexpr int kWriteBase = 75;
constexpr int kWriteSpan = 25;

// The size and offset fields hold at most 2^31 - 1.
constexpr std::uint64_t kFirstTooLargeSize = std::uint64_t{1} << 31;

constexpr int kLowestLevel = 1;
constexpr int kHighestLevel = 19;

// Files read ahead of the calling thread hold at most this many bytes together (one file
// larger than that is read alone); a worker keeps buffers up to this size between files.
constexpr std::uint64_t kWindowBudget = std::uint64_t{16} << 20;
constexpr std::size_t kKeptBufferBytes = std::size_t{8} << 20;

std::uint8_t AttributeFlags(const platform::FileInfo& info, std::string_view fullPath) {
  std::uint8_t flags = EntryFlags::Archive;  // every collected file; System never
  if (!info.ownerWritable) flags |= EntryFlags::ReadOnly;
  if (platform::FileName(fullPath).starts_with('.')) flags |= EntryFlags::Hidden;
  return flags;
}

double ModificationTime(std::int64_t unixSeconds) {
  const auto local = platform::LocalFromUnix(unixSeconds);
  // A time outside the years 1..9999 has no date-time value; the format's day zero stands
  // in for it (such times come only from a deliberately set clock).
  return local ? DateTimeFromLocal(*local) : 0.0;
}

class CompressRun {
 public:
  CompressRun(AppContext& context, std::string password, bool newArchive, int level,
              ProgressSink* sink)
      : context_(context),
        password_(std::move(password)),
        newArchive_(newArchive),
        level_(std::clamp(level, kLowestLevel, kHighestLevel)),
        sink_(sink) {}

  bool Run(const std::vector<std::string>& sources, const std::string& archivePath) {
    if (sink_ != nullptr && !Report(1, TitleText(context_, TitleCode::PreparingCompression)))
      return false;
    // The archive path is checked first: a run that cannot write gains nothing from a walk.
    // An empty path (files dropped with no archive open) gets its own message rather than
    // the folder's (12) or the temporary file's (18), which would name nothing.
    if (archivePath.empty()) {
      ErrorText(context_, ErrorCode::ArchivePathEmpty);
      return false;
    }
    if (!platform::IsAbsolutePath(archivePath)) {
      ErrorText(context_, ErrorCode::PathNotAbsolute, {archivePath});
      return false;
    }
    // A closing separator names a folder: "x.tvk/" is never the file x.tvk, and its folder
    // part must not be created as a folder named after the archive.
    if (archivePath.back() == kSeparator) {
      ErrorText(context_, ErrorCode::OpenFile, {platform::AsciiUpper(archivePath)});
      return false;
    }
    if (!CollectSources(context_, sources, set_, sink_)) return false;
    if (set_.count <= 0) {
      ErrorText(context_, ErrorCode::NoSources);
      return false;
    }
    if (!RefuseTooLargeFiles()) return false;
    spill_.emplace(BlockSpill::FolderFor(archivePath), context_.blockMemoryBudget);
    if (!CompressFiles()) return false;
    if (!CheckBatch()) return false;
    // Only the names are needed from here on (the load's exclusions and the new entries).
    set_.fullPaths = {};
    if (!MakeArchiveFolder(archivePath)) return false;
    return LoadAndWrite(archivePath);
  }

 private:
  bool Report(int percent, const std::string& text) {
    if (sink_->Report(percent, text)) return true;
    ErrorText(context_, ErrorCode::Interrupted);
    return false;
  }

  // Every file's size before any of them is read: a file the fields cannot hold ends the run
  // before anything is read or written, not after minutes of compression.
  bool RefuseTooLargeFiles() {
    bool ok = true;
    sizes_.clear();
    sizes_.reserve(set_.fullPaths.size());
    for (const std::string& path : set_.fullPaths) {
      const auto info = platform::StatPath(path);
      sizes_.push_back(info ? info->size : 0);  // the workers' window is measured by them
      // A file gone since the walk is reported by the compression loop (11).
      if (info && info->size >= kFirstTooLargeSize) {
        ErrorText(context_, ErrorCode::FileTooLarge, {path});
        ok = false;
      }
    }
    return ok;
  }

  // What a worker found for one file; the calling thread turns a failure into its message.
  struct FileResult {
    enum class Status { Ok, Changed, TooLarge, SealFailed };
    Status status = Status::Ok;
    std::int32_t originalSize = 0;
    double time = 0.0;
    std::uint8_t flags = 0;
    std::string md5Text;
    Bytes block;  // exactly the stored size
  };

  // A worker's reusable state: its compression context and read buffer.
  struct WorkerState {
    Compressor compressor;
    Bytes readBuffer;
  };

  // Reads, digests, compresses (when strictly shorter) and encrypts one file. Runs on a
  // worker: it touches only the file, its own state and thread-safe services.
  FileResult EncodeFile(const std::string& path, WorkerState& state) const {
    FileResult result;
    // Size, time and attributes as the file stands before it is read.
    const auto info = platform::StatPath(path);
    if (!info || !info->isRegular) {
      result.status = FileResult::Status::Changed;
      return result;
    }
    if (info->size >= kFirstTooLargeSize) {  // grew since the check before the loop
      result.status = FileResult::Status::TooLarge;
      return result;
    }
    // A file that cannot be read counts as 0 bytes: unless it is empty, its length then
    // differs from its size like that of a file that changed.
    const auto size = static_cast<std::size_t>(info->size);
    const std::size_t length =
        platform::ReadFileInto(path, state.readBuffer, size).value_or(std::size_t{0});
    if (length != size) {
      result.status = FileResult::Status::Changed;
      return result;
    }
    const ByteView content(state.readBuffer.data(), length);
    result.md5Text = context_.dataOps.Digest(content);  // const and stateless: thread-safe
    result.originalSize = static_cast<std::int32_t>(size);
    result.time = ModificationTime(info->modifiedUnix);
    result.flags = AttributeFlags(*info, path);

    // An empty frame for non-empty content can only be a failed compression; storing it as
    // "compressed" would lose the file, so the raw content is kept instead.
    const ByteView frame =
        content.empty() ? ByteView{} : state.compressor.CompressInPlace(content, level_);
    // Buffers grown by an unusually large file are not kept for the small ones after it; they
    // go before the block is made, so a large file is held at most twice at any moment.
    const bool keepBuffer = state.readBuffer.size() <= kKeptBufferBytes;
    if (!frame.empty() && frame.size() < content.size()) {
      if (!keepBuffer) Bytes().swap(state.readBuffer);
      result.block.assign(frame.begin(), frame.end());
      result.flags |= EntryFlags::Compressed;
    } else if (keepBuffer) {
      result.block.assign(content.begin(), content.end());
    } else {
      state.readBuffer.resize(length);
      result.block = std::move(state.readBuffer);
      state.readBuffer = Bytes{};
    }
    state.compressor.Trim(kKeptBufferBytes);

    if (!password_.empty()) {
      const int method = context_.dataOps.DrawCipherMethod();  // const, no state: thread-safe
      Bytes sealed = sealingKey_ ? DataOps::Seal(result.block, *sealingKey_, method) : Bytes{};
      if (sealed.empty()) {
        result.status = FileResult::Status::SealFailed;
        return result;
      }
      result.block = std::move(sealed);
      result.flags |= EntryFlags::Encrypted;
      if (method == 2) result.flags |= EntryFlags::SecondCipher;
    }
    return result;
  }

  bool CompressFiles() {
    const std::int64_t count = set_.count;
    // The key is derived once, here, for every worker (a failed derivation fails the first
    // file, as an encryption failure).
    if (!password_.empty()) sealingKey_ = context_.dataOps.SealingKeyFor(password_);
    const unsigned workers = WorkerThreads(context_);
    std::vector<WorkerState> states(workers);
    OrderedWork<FileResult> work(
        static_cast<std::size_t>(count), {.workers = workers, .budget = kWindowBudget},
        [&](std::size_t k) { return sizes_[k]; },
        [&](std::size_t k, unsigned worker) {
          return EncodeFile(set_.fullPaths[k], states[worker]);
        });
    for (std::int64_t i = 1; i <= count; ++i) {
      const std::string& path = set_.fullPaths[static_cast<std::size_t>(i - 1)];
      if (sink_ != nullptr) {
        const int percent = static_cast<int>(i * kFilesSpan / count + kFilesBase);
        const std::string position = std::to_string(i) + "/" + std::to_string(count);
        if (!Report(percent, TitleText(context_, TitleCode::Compressing, {path, position}))) {
          return false;
        }
      }
      FileResult file = work.Take();
      switch (file.status) {
        case FileResult::Status::Ok:
          break;
        case FileResult::Status::Changed:
          ErrorText(context_, ErrorCode::FileChanged, {path});
          return false;
        case FileResult::Status::TooLarge:
          ErrorText(context_, ErrorCode::FileTooLarge, {path});
          return false;
        case FileResult::Status::SealFailed:
          ErrorText(context_, ErrorCode::InternalFailure, {"加密文件 " + path});
          return false;
      }
      batch_.originalSizes.push_back(file.originalSize);
      batch_.times.push_back(file.time);
      batch_.flags.push_back(file.flags);
      batch_.md5Texts.push_back(std::move(file.md5Text));
      batch_.storedSizes.push_back(static_cast<std::int32_t>(file.block.size()));
      batch_.storedBlocks.emplace_back();
      batch_.blockPlaces.emplace_back();
      if (!spill_->Keep(context_, std::move(file.block), batch_.storedBlocks.back(),
                        batch_.blockPlaces.back())) {
        return false;
      }
    }
    return true;
  }

  bool CheckBatch() {
    const auto count = static_cast<std::size_t>(set_.count);
    if (set_.relativeNames.size() == count && batch_.originalSizes.size() == count &&
        batch_.times.size() == count && batch_.flags.size() == count &&
        batch_.md5Texts.size() == count && batch_.storedSizes.size() == count &&
        batch_.storedBlocks.size() == count && batch_.blockPlaces.size() == count) {
      return true;
    }
    ErrorText(context_, ErrorCode::InternalLogic, {"1003"});
    return false;
  }

  // The archive's folder (up to its last separator; the root is never created).
  bool MakeArchiveFolder(const std::string& archivePath) {
    std::string folder = platform::ParentFolder(archivePath);
    if (platform::FolderExists(folder)) return true;
    const std::string shown = folder;
    if (platform::EnsureFolderPath(folder)) return true;
    ErrorText(context_, ErrorCode::CreateFolder, {platform::AsciiUpper(shown)});
    return false;
  }

  bool LoadAndWrite(const std::string& archivePath) {
    // Held from before the load until the new file has replaced the archive, so that no other
    // change can start from the contents this run builds on. A new archive reads nothing, but
    // holds the old file too: it must not replace an archive in the middle of another change.
    std::optional<ArchiveLock> lock =
        ArchiveLock::Acquire(context_, archivePath, ArchiveLock::Purpose::Change,
                             newArchive_ ? ErrorCode::ReplaceFile : ErrorCode::ReadFile);
    if (!lock) return false;
    ArchiveIndex index;
    if (!newArchive_ && lock->exists()) {
      // Every stored entry whose name is being added is left out: it is replaced.
      LoadOptions load;
      load.exclusions = set_.relativeNames;
      load.mode = LoadMode::WithBlockPlaces;  // copied from the held file by the writer
      load.sink = sink_;
      load.progressBase = kLoadBase;
      load.progressSpan = kLoadSpan;
      load.lock = &*lock;
      if (!LoadArchiveIndex(context_, index, archivePath, load)) return false;
    }
    // Kept entries first, then the incoming ones in collection order. The data offsets are
    // placeholders: the writer's rebuilt layout computes every offset.
    for (std::size_t k = 0; k < set_.relativeNames.size(); ++k) {
      ArchiveEntry entry;
      entry.path = std::move(set_.relativeNames[k]);
      entry.originalSize = batch_.originalSizes[k];
      entry.time = batch_.times[k];
      entry.flags = batch_.flags[k];
      entry.md5Text = std::move(batch_.md5Texts[k]);
      entry.storedSize = batch_.storedSizes[k];
      index.Append(entry);
      index.storedBlocks.push_back(std::move(batch_.storedBlocks[k]));
      index.blockPlaces.push_back(batch_.blockPlaces[k]);
    }
    set_ = SourceSet{};
    batch_ = IncomingEntries{};
    index.count = static_cast<std::int32_t>(index.paths.size());
    index.carriesDataArea = false;
    WriteOptions write;
    write.sink = sink_;
    write.progressBase = kWriteBase;
    write.progressSpan = kWriteSpan;
    write.lock = &*lock;
    return WriteArchive(context_, index, archivePath, write);
  }

  AppContext& context_;
  const std::string password_;
  const bool newArchive_;
  const int level_;
  ProgressSink* const sink_;
  std::shared_ptr<const DataOps::SealingKey> sealingKey_;
  SourceSet set_;
  std::vector<std::uint64_t> sizes_;  // each file's size at the check before the loop
  IncomingEntries batch_;
  std::optional<BlockSpill> spill_;  // outlives the writer: batch_ places point into it
};

}  // namespace

Outcome CompressAndAdd(AppContext& context, CompressRequest request, const OperationSeams& seams) {
  ClearErrorLog(context);
  context.stepOk = true;
  InterruptWatch watch(seams.progress);
  bool ok = false;
  try {
    // The run owns the source list, the batch and the index; all of it is released when it
    // ends, on every path.
    CompressRun run(context, std::move(request.password), request.newArchive, request.level,
                    watch.sink());
    ok = run.Run(request.sources, request.archivePath);
  } catch (const std::bad_alloc&) {
    ErrorText(context, ErrorCode::InternalFailure, {"分配内存"});
    ok = false;
  } catch (const std::exception& e) {
    ErrorText(context, ErrorCode::InternalFailure, {std::string("压缩 (") + e.what() + ")"});
    ok = false;
  }
  Outcome outcome = OutcomeOf(context, ok, watch);
  context.stepOk = outcome.done();
  return outcome;
}

}  // namespace tovask
