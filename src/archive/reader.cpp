#include "archive/reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/entry_names.h"
#include "archive/format.h"
#include "core/little_endian.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace tovask {
namespace {

// The header text is searched for its 0x00 in pieces of this size, so a file without one
// costs no more memory than the file itself.
constexpr std::size_t kHeaderChunk = 4096;

// The index region (lengths and compressed records) is read ahead in pieces of this size:
// 100,000 records cost a few reads instead of two per record. Reading ahead stops at the end
// of the file, so what is read is bounded by the file, never by a claimed length.
constexpr std::size_t kIndexPiece = std::size_t{1} << 20;

// Where one index block lies: bytes [offset, offset + length) of one piece as read.
struct IndexSpan {
  std::size_t piece = 0;
  std::size_t offset = 0;
  std::size_t length = 0;
};

// Decoded records may hold texts far longer than their compressed index blocks. Their total
// is held to this multiple of the file size (plus a fixed allowance for a few long names in a
// small archive), so a small hostile file cannot make the index grow without bound. Real
// records are a few hundred bytes and never come near it.
constexpr std::uint64_t kRecordGrowthFactor = 64;
constexpr std::uint64_t kRecordAllowance = std::uint64_t{16} << 20;

// Why a step failed; the message is recorded once, by the caller, with the path.
enum class Failure {
  None,
  Unreadable,  // 2: open, lock, size or an I/O error
  Damaged,     // 53
  EndsEarly,   // 54
};

class Loader {
 public:
  Loader(AppContext& context, ArchiveIndex& index, const std::string& path,
         const LoadOptions& options)
      : context_(context), index_(index), path_(path), options_(options) {}

  bool Run() {
    if (!platform::IsAbsolutePath(path_)) {
      ErrorText(context_, ErrorCode::PathNotAbsolute, {UpperPath()});
      return false;
    }
    std::optional<ArchiveLock> ownLock;
    ArchiveLock* lock = options_.lock;
    if (lock == nullptr) {
      ownLock =
          ArchiveLock::Acquire(context_, path_, ArchiveLock::Purpose::Read, ErrorCode::ReadFile);
      if (!ownLock) return false;
      lock = &*ownLock;
    }
    if (!lock->exists()) return Fail(Failure::Unreadable);
    if (KeepsPlaces() && options_.lock == nullptr) {
      // Places in a file that closes with this load would name nothing afterwards.
      ErrorText(context_, ErrorCode::InternalLogic, {"1004"});
      return false;
    }
    file_ = &lock->file();
    // A caller's hold may have been read through before; an own one is fresh.
    if (options_.lock != nullptr && !file_->Seek(0)) return Fail(Failure::Unreadable);
    return Load();  // an own hold ends here; a caller's stays
  }

 private:
  std::string UpperPath() const { return platform::AsciiUpper(path_); }

  [[nodiscard]] bool KeepsPlaces() const {
    return options_.mode == LoadMode::WithBlockPlaces ||
           options_.mode == LoadMode::WithDataAreaPlace;
  }
  [[nodiscard]] bool KeepsBlocks() const {
    return options_.mode == LoadMode::WithBlocks || options_.mode == LoadMode::WithBlockPlaces;
  }

  bool Fail(Failure failure) {
    switch (failure) {
      case Failure::Unreadable:
        ErrorText(context_, ErrorCode::ReadFile, {UpperPath()});
        break;
      case Failure::Damaged:
        ErrorText(context_, ErrorCode::Damaged, {UpperPath()});
        break;
      case Failure::EndsEarly:
        ErrorText(context_, ErrorCode::EndedEarly, {UpperPath()});
        break;
      case Failure::None:
        break;
    }
    return false;
  }

  // Reads exactly count bytes at the current position into out. The caller has checked that
  // they lie inside the file, so a short read means the file shrank meanwhile.
  Failure ReadExactly(std::size_t count, Bytes& out, Failure shortRead) {
    auto bytes = file_->Read(count);
    if (!bytes) return Failure::Unreadable;
    if (bytes->size() != count) return shortRead;
    out = std::move(*bytes);
    position_ += count;
    return Failure::None;
  }

  [[nodiscard]] std::uint64_t Remaining() const {
    return position_ <= fileSize_ ? fileSize_ - position_ : 0;
  }

  bool Load() {
    const auto size = file_->Size();
    if (!size) return Fail(Failure::Unreadable);
    fileSize_ = *size;

    std::string headerText;
    std::int32_t count = 0;
    if (const Failure f = ReadHeader(headerText, count); f != Failure::None) return Fail(f);
    if (!CheckHeader(headerText)) return false;
    if (count <= 0) return Fail(Failure::Damaged);

    std::vector<IndexSpan> blocks;
    if (const Failure f = ReadIndexBlocks(count, blocks); f != Failure::None) return Fail(f);
    index_.dataAreaStart = static_cast<std::int64_t>(position_);

    if (options_.mode == LoadMode::WithDataArea) {
      // The index was read ahead past its end.
      if (!file_->Seek(position_)) return Fail(Failure::Unreadable);
      if (const Failure f = ReadExactly(static_cast<std::size_t>(Remaining()), index_.dataArea,
                                        Failure::EndsEarly);
          f != Failure::None) {
        return Fail(f);
      }
      index_.carriesDataArea = true;
    } else if (options_.mode == LoadMode::WithDataAreaPlace) {
      index_.dataAreaPlace = {file_, static_cast<std::int64_t>(position_)};
      index_.dataAreaLength = static_cast<std::int64_t>(Remaining());
      index_.carriesDataArea = true;
    }

    if (!DecodeEntries(blocks)) return false;

    const auto expected = static_cast<std::size_t>(index_.count);
    const bool columnsEqual =
        index_.paths.size() == expected && index_.originalSizes.size() == expected &&
        index_.times.size() == expected && index_.flags.size() == expected &&
        index_.md5Texts.size() == expected && index_.storedSizes.size() == expected &&
        index_.dataOffsets.size() == expected;
    if (!columnsEqual) {
      ErrorText(context_, ErrorCode::InternalLogic, {"1001"});
      return false;
    }
    if (KeepsBlocks() && index_.storedBlocks.size() != expected) {
      ErrorText(context_, ErrorCode::InternalLogic, {"1002"});
      return false;
    }
    return true;
  }

  // The header text up to its 0x00 and the entry count after it. The file ending anywhere
  // before the last byte of the count is damage (53).
  Failure ReadHeader(std::string& headerText, std::int32_t& count) {
    for (;;) {
      if (Remaining() == 0) return Failure::Damaged;
      const auto piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderChunk, Remaining()));
      auto bytes = file_->Read(piece);
      if (!bytes) return Failure::Unreadable;
      if (bytes->empty()) return Failure::Damaged;
      const auto zero = std::find(bytes->begin(), bytes->end(), kHeaderTerminator);
      headerText.append(bytes->begin(), zero);
      if (zero != bytes->end()) {
        position_ = headerText.size() + 1;
        break;
      }
      position_ += bytes->size();
    }
    if (Remaining() < kCountFieldSize) return Failure::Damaged;
    if (!file_->Seek(position_)) return Failure::Unreadable;
    Bytes countBytes;
    if (const Failure f = ReadExactly(kCountFieldSize, countBytes, Failure::Damaged);
        f != Failure::None) {
      return f;
    }
    count = little_endian::Read<std::int32_t>(countBytes);
    return Failure::None;
  }

  // 51 when the text does not start with the magic, 52 when its version field differs.
  bool CheckHeader(const std::string& headerText) {
    const std::string& magic = context_.archiveMagic;
    if (headerText.size() < magic.size() || headerText.compare(0, magic.size(), magic) != 0) {
      ErrorText(context_, ErrorCode::NotArchive, {UpperPath(), magic});
      return false;
    }
    std::string_view field(headerText);
    if (field.size() > kVersionFieldWidth) field.remove_prefix(field.size() - kVersionFieldWidth);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field != context_.formatVersion) {
      ErrorText(context_, ErrorCode::WrongVersion,
                {UpperPath(), headerText, magic + context_.formatVersion});
      return false;
    }
    return true;
  }

  // count index blocks, each a length and that many bytes, as spans of pieces_. Every length
  // is checked against what is left of the file before its bytes are taken, and a count that
  // could not fit even with empty blocks is refused before anything is allocated.
  Failure ReadIndexBlocks(std::int32_t count, std::vector<IndexSpan>& blocks) {
    if (static_cast<std::uint64_t>(count) > Remaining() / kLengthFieldSize) {
      return Failure::Damaged;
    }
    // No reserve from the count: the list grows with the blocks actually read.
    for (std::int32_t i = 0; i < count; ++i) {
      if (Remaining() < kLengthFieldSize) return Failure::Damaged;
      IndexSpan field;
      if (const Failure f = TakeIndexBytes(kLengthFieldSize, field); f != Failure::None) return f;
      const std::int32_t length = little_endian::Read<std::int32_t>(SpanBytes(field));
      if (length < 0 || static_cast<std::uint64_t>(length) > Remaining()) return Failure::Damaged;
      IndexSpan block;
      if (const Failure f = TakeIndexBytes(static_cast<std::size_t>(length), block);
          f != Failure::None) {
        return f;
      }
      blocks.push_back(block);
    }
    return Failure::None;
  }

  // Takes the next count bytes of the index region (inside the file: the caller has checked),
  // reading the next piece when the last one does not hold them. Bytes that straddle two
  // pieces are joined into a piece of their own, so every span lies in one piece and only
  // such straddling fields and blocks are ever copied. A short read means the file shrank
  // meanwhile (53).
  Failure TakeIndexBytes(std::size_t count, IndexSpan& span) {
    const std::size_t rest = pieces_.empty() ? 0 : pieces_.back().size() - pieceUsed_;
    if (pieces_.empty() || rest < count) {
      // The file has been read up to position_ + rest.
      const std::uint64_t readTo = position_ + rest;
      const std::uint64_t fileLeft = readTo < fileSize_ ? fileSize_ - readTo : 0;
      const std::size_t missing = count - rest;
      const auto wanted = static_cast<std::size_t>(
          std::min<std::uint64_t>(fileLeft, std::max(missing, kIndexPiece)));
      auto bytes = file_->Read(wanted);
      if (!bytes) return Failure::Unreadable;
      if (bytes->size() < missing) return Failure::Damaged;
      if (rest > 0) {
        Bytes joined;
        joined.reserve(count);
        joined.assign(pieces_.back().end() - static_cast<std::ptrdiff_t>(rest),
                      pieces_.back().end());
        joined.insert(joined.end(), bytes->begin(),
                      bytes->begin() + static_cast<std::ptrdiff_t>(missing));
        pieces_.push_back(std::move(joined));
        span = {pieces_.size() - 1, 0, count};
        pieces_.push_back(std::move(*bytes));
        pieceUsed_ = missing;
        position_ += count;
        return Failure::None;
      }
      pieces_.push_back(std::move(*bytes));
      pieceUsed_ = 0;
    }
    span = {pieces_.size() - 1, pieceUsed_, count};
    pieceUsed_ += count;
    position_ += count;
    return Failure::None;
  }

  ByteView SpanBytes(const IndexSpan& span) const {
    return ByteView(pieces_[span.piece]).subspan(span.offset, span.length);
  }

  bool DecodeEntries(const std::vector<IndexSpan>& blocks) {
    const EntryNameSet excluded(options_.exclusions);

    const auto total = static_cast<std::int64_t>(blocks.size());
    const std::uint64_t recordBudget = kRecordGrowthFactor * fileSize_ + kRecordAllowance;
    std::uint64_t recordBytes = 0;
    // Stored blocks of a sound archive never overlap, so together they fit in the data area;
    // holding them to that keeps blocks that all claim the same bytes from multiplying memory.
    const std::uint64_t dataAreaSize = fileSize_ - static_cast<std::uint64_t>(index_.dataAreaStart);
    std::uint64_t blockBytes = 0;

    index_.count = static_cast<std::int32_t>(total);
    // Every block was read from the file (at least its length field), so this is bounded by
    // the file: a few dozen bytes per entry, well inside the records' budget.
    index_.Reserve(blocks.size());
    for (std::int64_t i = 1; i <= total; ++i) {
      if (options_.sink != nullptr) {
        const std::int64_t percent = i * options_.progressSpan / total + options_.progressBase;
        const std::string text = TitleText(context_, TitleCode::ReadingData,
                                           {std::to_string(i) + "/" + std::to_string(total)});
        if (!options_.sink->Report(static_cast<int>(percent), text)) {
          ErrorText(context_, ErrorCode::Interrupted);
          return false;
        }
      }

      const IndexSpan& span = blocks[static_cast<std::size_t>(i - 1)];
      // One decoder for all records; the view lives until the next record is decompressed.
      const ByteView record = context_.dataOps.DecompressReused(SpanBytes(span), kMaxRecordSize);
      recordBytes += record.size();
      if (record.empty() || recordBytes > recordBudget) return Fail(Failure::Damaged);
      std::optional<ArchiveEntry> entry = DecodeEntryRecord(record);
      if (!entry) return Fail(Failure::Damaged);

      if (!excluded.empty() && excluded.Contains(entry->path)) {
        --index_.count;
        continue;
      }
      if (KeepsBlocks()) {
        if (const Failure f = TakeStoredBlock(*entry, dataAreaSize, blockBytes);
            f != Failure::None) {
          return Fail(f);
        }
      }
      index_.Append(std::move(*entry));
    }
    return true;
  }

  // The stored block of entry, which must lie inside the file (54 otherwise): read into
  // storedBlocks, or for WithBlockPlaces only its place noted (and an empty item).
  Failure TakeStoredBlock(const ArchiveEntry& entry, std::uint64_t dataAreaSize,
                          std::uint64_t& blockBytes) {
    if (entry.dataOffset < 0 || entry.storedSize < 0) return Failure::EndsEarly;
    const auto start = static_cast<std::uint64_t>(index_.dataAreaStart) +
                       static_cast<std::uint64_t>(entry.dataOffset);
    const auto size = static_cast<std::uint64_t>(entry.storedSize);
    if (start + size > fileSize_) return Failure::EndsEarly;
    // Also where nothing is read: a writer would copy every block, so blocks that all claim
    // the same bytes must not multiply the new archive either.
    blockBytes += size;
    if (blockBytes > dataAreaSize) return Failure::Damaged;
    if (options_.mode == LoadMode::WithBlockPlaces) {
      index_.blockPlaces.push_back({file_, static_cast<std::int64_t>(start)});
      index_.storedBlocks.emplace_back();
      return Failure::None;
    }
    if (!file_->Seek(start)) return Failure::EndsEarly;
    auto block = file_->Read(static_cast<std::size_t>(size));
    if (!block) return Failure::Unreadable;
    if (block->size() != size) return Failure::EndsEarly;
    index_.storedBlocks.push_back(std::move(*block));
    return Failure::None;
  }

  AppContext& context_;
  ArchiveIndex& index_;
  const std::string& path_;
  const LoadOptions& options_;
  platform::File* file_ = nullptr;
  std::uint64_t fileSize_ = 0;
  std::uint64_t position_ = 0;
  // The index region as read, in pieces (plus the joined copies of straddling bytes): the
  // index blocks and, past their end, at most one read-ahead piece of the data area.
  // pieceUsed_ bytes of the last piece have been taken.
  std::vector<Bytes> pieces_;
  std::size_t pieceUsed_ = 0;
};

}  // namespace

bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index, const std::string& path,
                      const LoadOptions& options) {
  index.Clear();
  bool ok = false;
  try {
    ok = Loader(context, index, path, options).Run();
  } catch (const std::exception&) {
    // Only memory exhaustion can get here: every size was checked against the file before.
    ErrorText(context, ErrorCode::ReadFile, {platform::AsciiUpper(path)});
    ok = false;
  }
  // A failed load is never used; releasing what it read keeps a damaged archive from holding
  // memory until the next operation.
  if (!ok) index.Clear();
  context.stepOk = ok;
  return ok;
}

bool LoadArchiveIndex(AppContext& context, ArchiveIndex& index) {
  index.Clear();
  return context.stepOk;
}

}  // namespace tovask
