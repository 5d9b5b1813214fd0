#include "archive/writer.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "archive/format.h"
#include "core/data_ops.h"
#include "core/little_endian.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

class Writer {
 public:
  Writer(AppContext& context, ArchiveIndex& index, const std::string& path,
         const WriteOptions& options)
      : context_(context), index_(index), path_(path), options_(options) {}

  ~Writer() { RemoveTemporary(); }

  bool Run() {
    if (!platform::IsAbsolutePath(path_)) {
      ErrorText(context_, ErrorCode::PathNotAbsolute, {platform::AsciiUpper(path_)});
      return false;
    }
    if (!CheckColumns() || !CheckSizes()) return false;
    std::optional<ArchiveLock> ownLock;
    ArchiveLock* lock = options_.lock;
    if (lock == nullptr) {
      ownLock = ArchiveLock::Acquire(context_, path_, ArchiveLock::Purpose::Change,
                                     ErrorCode::ReplaceFile);
      if (!ownLock) return false;
      lock = &*ownLock;
    }

    Bytes head;
    if (!BuildHead(head)) return false;

    bool ok = WriteTemporary(head);
    if (interrupted_) return false;

    if (options_.sink != nullptr &&
        !options_.sink->Report(options_.progressBase + options_.progressSpan,
                               TitleText(context_, TitleCode::CompressionDone))) {
      // The last chance to stop: nothing has replaced the archive yet.
      if (ok) {
        ErrorText(context_, ErrorCode::Interrupted);
        return false;
      }
    }
    if (!ok) {
      ErrorText(context_, ErrorCode::WriteData);
      return false;
    }
    if (!Publish(*lock)) return false;
    tempPath_.clear();  // it is the archive now
    return true;
  }

 private:
  [[nodiscard]] std::size_t Count() const { return static_cast<std::size_t>(index_.count); }
  [[nodiscard]] bool Holds(std::size_t items) const {
    return index_.count >= 0 && items == Count();
  }

  bool CheckColumns() {
    if (!Holds(index_.paths.size()) || !Holds(index_.originalSizes.size()) ||
        !Holds(index_.times.size()) || !Holds(index_.flags.size()) ||
        !Holds(index_.md5Texts.size()) || !Holds(index_.storedSizes.size())) {
      ErrorText(context_, ErrorCode::InternalLogic, {"1011"});
      return false;
    }
    if (!index_.carriesDataArea &&
        (!Holds(index_.storedBlocks.size()) ||
         (!index_.blockPlaces.empty() && !Holds(index_.blockPlaces.size())))) {
      ErrorText(context_, ErrorCode::InternalLogic, {"1012"});
      return false;
    }
    if (index_.carriesDataArea && !Holds(index_.dataOffsets.size())) {
      ErrorText(context_, ErrorCode::InternalLogic, {"1013"});
      return false;
    }
    return true;
  }

  // Every size and offset must fit the 32-bit fields, checked before anything exists on disk.
  bool CheckSizes() {
    if (index_.carriesDataArea) {
      const std::uint64_t areaSize = index_.dataAreaPlace.file != nullptr
                                         ? static_cast<std::uint64_t>(index_.dataAreaLength)
                                         : index_.dataArea.size();
      if (areaSize > static_cast<std::uint64_t>(kMaxFieldValue)) return TooLarge();
      for (std::size_t i = 0; i < Count(); ++i) {
        const std::int64_t end =
            std::int64_t{index_.dataOffsets[i]} + std::int64_t{index_.storedSizes[i]};
        if (end > kMaxFieldValue) return TooLarge();
      }
      return true;
    }
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < Count(); ++i) {
      // The stored size goes into the record, the block into the data area: if they differ,
      // every later offset points at the wrong bytes.
      const std::int32_t storedSize = index_.storedSizes[i];
      // A block kept in a file is its stored size long there; its memory item stays empty.
      const bool placed = Placed(i);
      if (storedSize < 0 || (placed && !index_.storedBlocks[i].empty()) ||
          (!placed && static_cast<std::uint64_t>(storedSize) != index_.storedBlocks[i].size())) {
        // A block longer than any int32 also lands here unless it is the size problem itself.
        if (index_.storedBlocks[i].size() > static_cast<std::uint64_t>(kMaxFieldValue)) {
          return TooLarge();
        }
        ErrorText(context_, ErrorCode::InternalLogic, {"1012"});
        return false;
      }
      offset += storedSize;
      if (offset > kMaxFieldValue) return TooLarge();
    }
    return true;
  }

  // Puts the finished temporary file in place of the archive. An archive that existed when the
  // hold began is still the one held and is replaced; where there was none, the new file is
  // placed only if no other program has created one meanwhile.
  bool Publish(const ArchiveLock& lock) {
    if (lock.exists()) {
      if (platform::ReplaceWith(tempPath_, path_)) return true;
      ErrorText(context_, ErrorCode::ReplaceFile, {platform::AsciiUpper(path_)});
      return false;
    }
    switch (platform::PlaceNew(tempPath_, path_)) {
      case platform::PlaceResult::Placed:
        return true;
      case platform::PlaceResult::TargetExists:
        ErrorText(context_, ErrorCode::ReplaceFile, {platform::AsciiUpper(path_)});
        ErrorText(context_, ErrorCode::ArchiveBusy, {platform::AsciiUpper(path_)});
        return false;
      case platform::PlaceResult::Failed:
        break;
    }
    ErrorText(context_, ErrorCode::ReplaceFile, {platform::AsciiUpper(path_)});
    return false;
  }

  [[nodiscard]] bool Placed(std::size_t i) const {
    return !index_.blockPlaces.empty() && index_.blockPlaces[i].file != nullptr;
  }

  bool TooLarge() {
    ErrorText(context_, ErrorCode::ArchiveTooLarge);
    return false;
  }

  // Percent of report i (1-based) of count in one half of the band; integer arithmetic, so
  // no report comes out one short through rounding.
  [[nodiscard]] int HalfBandPercent(std::size_t i) const {
    return static_cast<int>(static_cast<std::int64_t>(i) * options_.progressSpan /
                            (2 * static_cast<std::int64_t>(Count()))) +
           options_.progressBase;
  }

  bool Report(int percent, TitleCode title, std::size_t i) {
    if (options_.sink == nullptr) return true;
    const std::string text =
        TitleText(context_, title, {std::to_string(i) + "/" + std::to_string(Count())});
    if (options_.sink->Report(percent, text)) return true;
    interrupted_ = true;
    ErrorText(context_, ErrorCode::Interrupted);
    return false;
  }

  // Header, count and every index block, built in memory before any file is created.
  bool BuildHead(Bytes& head) {
    const std::string headerText = ComposeHeaderText(context_.archiveMagic, context_.formatVersion);
    head.assign(headerText.begin(), headerText.end());
    head.push_back(kHeaderTerminator);
    little_endian::Append(head, index_.count);

    // One context for every record: a context per record costs more than the record.
    Compressor compressor;
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (!Report(HalfBandPercent(i + 1), TitleCode::PreparingWrite, i + 1)) return false;
      std::int32_t dataOffset = 0;
      if (index_.carriesDataArea) {
        dataOffset = index_.dataOffsets[i];
      } else {
        dataOffset = static_cast<std::int32_t>(offset);  // CheckSizes bounded it
        offset += index_.storedSizes[i];
      }
      const Bytes record = EncodeEntryRecord(index_.Entry(i), dataOffset);
      const ByteView block = compressor.CompressInPlace(record);
      if (block.empty()) {
        ErrorText(context_, ErrorCode::WriteData);
        return false;
      }
      little_endian::Append(head, static_cast<std::int32_t>(block.size()));
      head.insert(head.end(), block.begin(), block.end());
    }
    return true;
  }

  // Creates the temporary file beside the file the archive path finally names, writes the
  // whole archive into it, syncs it and gives it the archive's permission bits. False on any
  // failure (18 recorded when the file cannot be created) or an interrupt.
  bool WriteTemporary(const Bytes& head) {
    const std::string target = platform::ResolveFinalTarget(path_);
    std::string created;
    auto file = platform::File::CreateTemporary(platform::ParentFolder(target),
                                                platform::LastLevel(target), &created);
    if (!file) {
      ErrorText(context_, ErrorCode::OpenTemporaryFile);
      return false;
    }
    tempPath_ = std::move(created);

    bool ok = file->Write(head);
    index_.dataAreaStart = static_cast<std::int64_t>(head.size());
    if (ok) ok = WriteDataArea(*file);
    if (ok) ok = file->Sync();
    if (ok) ok = file->SetMode(platform::ReplacementMode(path_));
    // A close error can mean the data never reached the disk: it fails the write too.
    const bool closed = file->Close();
    return ok && closed;
  }

  // Blocks in memory go out with one write each. Blocks kept in files are copied from there;
  // neighbours in one file are copied together, up to kCopyRun bytes, so a change that keeps
  // most of an archive copies it in a few large steps rather than one per entry.
  bool WriteDataArea(platform::File& file) {
    if (index_.carriesDataArea) {
      const BlockPlace& place = index_.dataAreaPlace;
      if (place.file != nullptr) {
        return index_.dataAreaLength == 0 ||
               file.CopyFrom(*place.file, static_cast<std::uint64_t>(place.offset),
                             static_cast<std::uint64_t>(index_.dataAreaLength));
      }
      return index_.dataArea.empty() || file.Write(index_.dataArea);
    }
    const int secondHalf = options_.progressSpan / 2;
    CopyRun run;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (!Report(HalfBandPercent(i + 1) + secondHalf, TitleCode::WritingData, i + 1)) return false;
      if (Placed(i)) {
        const BlockPlace& place = index_.blockPlaces[i];
        const auto size = static_cast<std::uint64_t>(index_.storedSizes[i]);
        if (!run.Extends(place) || run.length + size > kCopyRun) {
          if (!run.Flush(file)) return false;
          run.from = place.file;
          run.offset = static_cast<std::uint64_t>(place.offset);
        }
        run.length += size;
        continue;
      }
      if (!run.Flush(file)) return false;
      const Bytes& block = index_.storedBlocks[i];
      if (!block.empty() && !file.Write(block)) return false;
    }
    return run.Flush(file);
  }

  // Neighbouring blocks of one file not copied yet.
  struct CopyRun {
    const platform::File* from = nullptr;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;

    [[nodiscard]] bool Extends(const BlockPlace& place) const {
      return place.file == from && static_cast<std::uint64_t>(place.offset) == offset + length;
    }
    bool Flush(platform::File& to) {
      const bool ok = length == 0 || to.CopyFrom(*from, offset, length);
      from = nullptr;
      length = 0;
      return ok;
    }
  };
  static constexpr std::uint64_t kCopyRun = std::uint64_t{8} << 20;

  void RemoveTemporary() {
    if (tempPath_.empty()) return;
    (void)platform::RemoveFile(tempPath_);
    tempPath_.clear();
  }

  AppContext& context_;
  ArchiveIndex& index_;
  const std::string& path_;
  const WriteOptions& options_;
  std::string tempPath_;  // "" when no temporary file exists
  bool interrupted_ = false;
};

}  // namespace

bool WriteArchive(AppContext& context, ArchiveIndex& index, const std::string& path,
                  const WriteOptions& options) {
  bool ok = false;
  try {
    // The writer's destructor removes a temporary file left by any failure.
    ok = Writer(context, index, path, options).Run();
  } catch (const std::exception&) {
    ErrorText(context, ErrorCode::WriteData);
    ok = false;
  }
  context.stepOk = ok;
  return ok;
}

}  // namespace tovask
