// The .tvk archive format: the one definition of the bytes on disk, shared by the reader and
// the writer.
//
//   offset 0   header text: magic "RID", then the version right-aligned in 5 characters
//   offset 8   0x00
//   offset 9   entry count N (int32)
//   offset 13  N index blocks: int32 length L, then L bytes = Compress(entry record)
//   then       the data area: the stored blocks, found by data offset + stored size only
//
// Entry record (no padding): path bytes, 0x00 | original size int32 | modification time
// (8-byte double, local time, days since 1899-12-30) | flags byte | MD5 text, 0x00 |
// stored size int32 | data offset int32 (from the data-area start).
// All integers are little-endian, signed 32-bit. Paths are UTF-8 with "\" between levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/data_ops.h"
#include "platform/bytes.h"
#include "platform/times.h"

namespace tovask {

inline constexpr std::string_view kArchiveMagic = "RID";
inline constexpr std::string_view kFormatVersion = "1.05";
inline constexpr std::size_t kVersionFieldWidth = 5;
inline constexpr std::uint8_t kHeaderTerminator = 0x00;
inline constexpr std::size_t kCountFieldSize = 4;
inline constexpr std::size_t kLengthFieldSize = 4;
// A record is 21 bytes plus its two texts and their terminators.
inline constexpr std::size_t kRecordFixedSize = 21;
// Bound passed to Decompress for one index record.
inline constexpr std::size_t kMaxRecordSize = 1u << 20;
// Largest value a size or offset field can hold.
inline constexpr std::int64_t kMaxFieldValue = 0x7FFFFFFF;
inline constexpr char kEntrySeparator = '\\';

// The flags byte of an entry.
struct EntryFlags {
  static constexpr std::uint8_t ReadOnly = 0x01;
  static constexpr std::uint8_t Hidden = 0x02;
  static constexpr std::uint8_t System = 0x04;
  static constexpr std::uint8_t Archive = 0x08;
  static constexpr std::uint8_t Compressed = 0x20;
  static constexpr std::uint8_t Encrypted = 0x40;
  static constexpr std::uint8_t SecondCipher = 0x80;
  static constexpr std::uint8_t AttributeMask = ReadOnly | Hidden | System | Archive;
  static constexpr std::uint8_t TransformMask = Compressed | Encrypted | SecondCipher;
};

// One row of the index: the fields of one entry record.
struct ArchiveEntry {
  std::string path;
  std::int32_t originalSize = 0;
  double time = 0.0;
  std::uint8_t flags = 0;
  std::string md5Text;
  std::int32_t storedSize = 0;
  std::int32_t dataOffset = 0;
  friend bool operator==(const ArchiveEntry&, const ArchiveEntry&) = default;
};

// Magic followed by the version right-aligned in 5 characters, padded with spaces on the
// left; a longer version keeps only its last 5 characters. ("RID", "1.05") -> "RID 1.05".
[[nodiscard]] std::string ComposeHeaderText(std::string_view magic, std::string_view version);

// The seven fields in order, uncompressed; the record's own dataOffset is replaced by the
// given one. Neither text may hold a 0x00 byte (entry names never do: collection refuses
// control characters), or the record would not decode again.
[[nodiscard]] Bytes EncodeEntryRecord(const ArchiveEntry& entry, std::int32_t dataOffset);

// The inverse, strict: nullopt when a text has no 0x00, a field runs past the end, bytes are
// left over, or the time is not a valid date-time (NaN, infinite, out of range). Never reads
// outside record.
[[nodiscard]] std::optional<ArchiveEntry> DecodeEntryRecord(ByteView record);

// A stored block as it goes into the data area.
struct EncodedBlock {
  Bytes block;
  std::uint8_t transformFlags = 0;  // Compressed, Encrypted, SecondCipher
  std::string md5Text;
};

// MD5 of the content; the compressed form when strictly shorter (Compressed); with a
// non-empty password, encrypted with a cipher method drawn at random (Encrypted, and
// SecondCipher for method 2). nullopt when the encryption itself fails.
[[nodiscard]] std::optional<EncodedBlock> EncodeDataBlock(DataOps& dataOps, ByteView content,
                                                          const std::string& password);

// The inverse: decrypt (when Encrypted), then decompress (when Compressed, bounded by
// originalSize). The result is not verified here: callers compare its digest with the MD5
// text, then its length with the original size. Damaged input gives an empty or wrong block.
[[nodiscard]] Bytes DecodeDataBlock(DataOps& dataOps, ByteView stored, std::uint8_t flags,
                                    const std::string& password, std::int32_t originalSize);

// Date-time values: days since 1899-12-30 00:00 plus seconds of the day / 86400, in double,
// on the proleptic Gregorian calendar (no OS call, no time zone). The value is linear in time,
// also before day 0. The fields must name a valid date and time, as LocalFromUnix gives them.
[[nodiscard]] double DateTimeFromLocal(const platform::LocalDateTime& local);
// Back to whole seconds by rounding to the nearest second; nullopt for NaN, infinite and
// values outside the years 1..9999.
[[nodiscard]] std::optional<platform::LocalDateTime> LocalFromDateTime(double value);

}  // namespace tovask
