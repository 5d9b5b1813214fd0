// Reading, decoding and verifying the data of one entry in pieces, so memory stays bounded
// whatever the entry's size or the sizes its record claims.
//
// The checks and their order are those of extraction.h: the stored block must lie inside the
// archive file and read completely (else ReadFailed); the content's digest must match (else
// DigestMismatch), then its length (else LengthMismatch). Content that cannot be decoded (a
// wrong password, a damaged frame, a frame larger than the entry's original size) counts as
// empty, as DecodeDataBlock gives it, and is checked as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive_index.h"
#include "core/data_ops.h"
#include "platform/file_handle.h"

namespace tovask {

enum class EntryCheck { Ok, ReadFailed, DigestMismatch, LengthMismatch, Stopped };

struct EntryDecodeResult {
  EntryCheck check = EntryCheck::ReadFailed;
  // The block could not be decoded, so its content is empty, whatever pieces were handed out
  // (with Ok only for an entry whose original size is 0).
  bool decodedEmpty = false;
};

// The archive file an index was loaded from, for reading blocks from any thread.
struct ArchiveSource {
  const platform::File* file = nullptr;
  std::uint64_t size = 0;  // the file's size
};

// Bytes read from the archive per piece.
inline constexpr std::size_t kDecodePiece = std::size_t{1} << 20;

// Reads entry i's block in pieces into readBuffer (reused from call to call), decodes it and
// hands each piece of content to out. The pieces are final only when the result is Ok and
// not decodedEmpty. keepGoing (may be empty) is asked before each stored piece after the first
// and after each kDecodePiece of content; when it answers false the result is Stopped.
// Touches no state but dataOps' key cache (through BeginDecrypt), so any number of threads may
// decode at once.
[[nodiscard]] EntryDecodeResult DecodeEntryData(DataOps& dataOps, const ArchiveSource& archive,
                                                const ArchiveIndex& index, std::size_t i,
                                                const std::string& password, const PieceSink& out,
                                                const std::function<bool()>& keepGoing,
                                                Bytes& readBuffer);

// How many distinct keys decrypting the encrypted entries among those wanted would derive:
// the distinct key choices (DataOps::kKeyChoiceSize bytes) at the start of their blocks. Reads
// those bytes only; counting stops once it exceeds stopAbove. A block that does not hold them
// within the archive needs no key (it fails its checks without one); nullopt when a read fails.
[[nodiscard]] std::optional<std::size_t> CountKeysNeeded(
    const ArchiveSource& archive, const ArchiveIndex& index,
    const std::function<bool(std::size_t)>& wanted, std::size_t stopAbove);

}  // namespace tovask
