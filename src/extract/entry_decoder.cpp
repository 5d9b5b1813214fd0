#include "extract/entry_decoder.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>

#include "archive/format.h"

namespace tovask {
namespace {

// The scheme byte, salt and nonce that open an encrypted block.
constexpr std::size_t kSealedHeader = 29;

// The inverse of EncodeDataBlock for a block that comes in pieces: decrypt (when Encrypted),
// then decompress (when Compressed, bounded by the original size), each stage streaming.
class BlockDecoder {
 public:
  BlockDecoder(DataOps& dataOps, std::uint8_t flags, const std::string& password,
               std::size_t storedSize, std::int32_t originalSize)
      : dataOps_(dataOps),
        password_(password),
        storedSize_(storedSize),
        encrypted_((flags & EntryFlags::Encrypted) != 0),
        method_((flags & EntryFlags::SecondCipher) != 0 ? 2 : 1) {
    if ((flags & EntryFlags::Compressed) != 0) {
      if (originalSize < 0) {
        failed_ = true;
      } else {
        decompress_.emplace(static_cast<std::size_t>(originalSize));
      }
    }
  }

  bool Update(ByteView piece, const PieceSink& out) {
    if (failed_) return false;
    if (!encrypted_) return Stage2(piece, out);
    if (!decrypt_) {
      const std::size_t take = std::min(piece.size(), kSealedHeader - header_.size());
      header_.insert(header_.end(), piece.begin(), piece.begin() + take);
      piece = piece.subspan(take);
      if (header_.size() < kSealedHeader) return true;
      decrypt_ = dataOps_.BeginDecrypt(header_, storedSize_, password_, method_);
      if (!decrypt_) return Fail();
    }
    if (!decrypt_->Update(piece, [&](ByteView plain) { (void)Stage2(plain, out); })) return Fail();
    return !failed_;
  }

  bool Finish(const PieceSink& out) {
    if (failed_) return false;
    if (encrypted_ && (!decrypt_ || !decrypt_->Finish())) return Fail();
    if (decompress_ && !decompress_->Finish(out)) return Fail();
    return true;
  }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }

  // After decryption: decompress, or hand the bytes out as they are.
  bool Stage2(ByteView bytes, const PieceSink& out) {
    if (failed_) return false;
    if (!decompress_) {
      out(bytes);
      return true;
    }
    if (!decompress_->Update(bytes, out)) return Fail();
    return true;
  }

  DataOps& dataOps_;
  const std::string& password_;
  const std::size_t storedSize_;
  const bool encrypted_;
  const int method_;
  Bytes header_;
  std::optional<DataOps::DecryptStream> decrypt_;
  std::optional<DecompressStream> decompress_;
  bool failed_ = false;
};

// Where entry i's block starts in the archive, when its first length bytes lie within the
// file (length is at most the stored size); nullopt for a record pointing elsewhere.
std::optional<std::int64_t> BlockStart(const ArchiveSource& archive, const ArchiveIndex& index,
                                       std::size_t i, std::int64_t length) {
  const std::int64_t offset = index.dataAreaStart + index.dataOffsets[i];
  const auto fileSize = static_cast<std::int64_t>(archive.size);
  if (index.dataOffsets[i] < 0 || index.dataAreaStart < 0 || length < 0 ||
      length > index.storedSizes[i] || offset > fileSize || length > fileSize - offset) {
    return std::nullopt;
  }
  return offset;
}

}  // namespace

EntryDecodeResult DecodeEntryData(DataOps& dataOps, const ArchiveSource& archive,
                                  const ArchiveIndex& index, std::size_t i,
                                  const std::string& password, const PieceSink& out,
                                  const std::function<bool()>& keepGoing, Bytes& readBuffer) {
  EntryDecodeResult result;
  const std::int64_t size = index.storedSizes[i];
  const std::optional<std::int64_t> start = BlockStart(archive, index, i, size);
  if (!start) return result;  // ReadFailed
  const std::int64_t offset = *start;
  const std::uint8_t flags = index.flags[i];
  const std::int32_t originalSize = index.originalSizes[i];
  BlockDecoder decoder(dataOps, flags, password, static_cast<std::size_t>(size), originalSize);
  DigestStream digest;
  std::uint64_t length = 0;
  // A block that inflates far beyond its stored size (a hostile one claims up to 2 GiB from a
  // few KiB) is one stored piece: keepGoing is also asked after each kDecodePiece of output,
  // and a stop is thrown out of the decoders (a type of its own, which they let through).
  struct Stop {};
  std::uint64_t sinceAsked = 0;
  const PieceSink content = [&](ByteView piece) {
    sinceAsked += piece.size();
    if (sinceAsked >= kDecodePiece && keepGoing) {
      sinceAsked = 0;
      if (!keepGoing()) throw Stop{};
    }
    digest.Update(piece);
    length += piece.size();
    out(piece);
  };

  bool decoded = true;
  std::uint64_t done = 0;
  const auto total = static_cast<std::uint64_t>(size);
  try {
    while (done < total) {
      if (done > 0 && keepGoing && !keepGoing()) throw Stop{};
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kDecodePiece, total - done));
      if (readBuffer.size() < want) readBuffer.resize(want);
      const std::optional<std::size_t> got =
          archive.file->ReadAt(static_cast<std::uint64_t>(offset) + done, readBuffer.data(), want);
      if (!got || *got != want) return result;  // ReadFailed
      done += want;
      // A block found undecodable is still read to its end: a read failure further on is
      // reported as such, as when the block was read whole before decoding.
      if (decoded && !decoder.Update(ByteView(readBuffer.data(), want), content)) decoded = false;
    }
    if (decoded && !decoder.Finish(content)) decoded = false;
  } catch (const Stop&) {
    result.check = EntryCheck::Stopped;
    return result;
  }

  std::string md5;
  if (decoded) {
    md5 = digest.Finish();
  } else {
    result.decodedEmpty = true;
    length = 0;
    md5 = dataOps.Digest({});
  }
  if (md5 != index.md5Texts[i]) {
    result.check = EntryCheck::DigestMismatch;
  } else if (originalSize < 0 || length != static_cast<std::uint64_t>(originalSize)) {
    result.check = EntryCheck::LengthMismatch;
  } else {
    result.check = EntryCheck::Ok;
  }
  return result;
}

std::optional<std::size_t> CountKeysNeeded(const ArchiveSource& archive,
                                           const ArchiveIndex& index,
                                           const std::function<bool(std::size_t)>& wanted,
                                           std::size_t stopAbove) {
  using KeyChoice = std::array<std::uint8_t, DataOps::kKeyChoiceSize>;
  std::set<KeyChoice> choices;
  KeyChoice choice{};
  for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
    if ((index.flags[i] & EntryFlags::Encrypted) == 0 || !wanted(i)) continue;
    const std::optional<std::int64_t> start =
        BlockStart(archive, index, i, static_cast<std::int64_t>(choice.size()));
    if (!start) continue;
    const std::optional<std::size_t> got =
        archive.file->ReadAt(static_cast<std::uint64_t>(*start), choice.data(), choice.size());
    if (!got) return std::nullopt;
    if (*got != choice.size()) continue;
    choices.insert(choice);
    if (choices.size() > stopAbove) break;
  }
  return choices.size();
}

}  // namespace tovask
