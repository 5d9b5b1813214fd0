#include "support/archive_builder.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace tovask::testing {

Bytes Int32Bytes(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

StoredEntry MakeStoredEntry(DataOps& dataOps, std::string path, std::string_view content,
                            const std::string& password, double time, std::uint8_t attributes) {
  const auto encoded = EncodeDataBlock(dataOps, AsBytes(content), password);
  if (!encoded) throw std::runtime_error("EncodeDataBlock failed");
  StoredEntry stored;
  stored.entry.path = std::move(path);
  stored.entry.originalSize = static_cast<std::int32_t>(content.size());
  stored.entry.time = time;
  stored.entry.flags = static_cast<std::uint8_t>(attributes | encoded->transformFlags);
  stored.entry.md5Text = encoded->md5Text;
  stored.entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
  stored.entry.dataOffset = 0;
  stored.block = encoded->block;
  return stored;
}

ArchiveBuilder& ArchiveBuilder::Header(std::string text) {
  header_ = std::move(text);
  return *this;
}

ArchiveBuilder& ArchiveBuilder::OmitTerminator() {
  terminator_ = false;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Count(std::int32_t count) {
  count_ = count;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::OmitCount() {
  countField_ = false;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Entry(const StoredEntry& stored) {
  ArchiveEntry entry = stored.entry;
  entry.storedSize = static_cast<std::int32_t>(stored.block.size());
  entry.dataOffset = static_cast<std::int32_t>(blocks_.size());
  blocks_.insert(blocks_.end(), stored.block.begin(), stored.block.end());
  return Record(entry);
}

ArchiveBuilder& ArchiveBuilder::Record(const ArchiveEntry& entry) {
  const Bytes record = EncodeEntryRecord(entry, entry.dataOffset);
  return RawRecord(record);
}

ArchiveBuilder& ArchiveBuilder::RawRecord(ByteView record) {
  const Bytes block = dataOps_.Compress(record);
  return RawIndexBlock(block);
}

ArchiveBuilder& ArchiveBuilder::RawIndexBlock(ByteView block, std::optional<std::int32_t> length) {
  const Bytes lengthBytes = Int32Bytes(length.value_or(static_cast<std::int32_t>(block.size())));
  index_.insert(index_.end(), lengthBytes.begin(), lengthBytes.end());
  index_.insert(index_.end(), block.begin(), block.end());
  ++blockCount_;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::DataArea(ByteView bytes) {
  dataArea_ = Bytes(bytes.begin(), bytes.end());
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Trailer(ByteView bytes) {
  trailer_.insert(trailer_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes ArchiveBuilder::Build() const {
  Bytes out(header_.begin(), header_.end());
  if (terminator_) out.push_back(0x00);
  if (countField_) {
    const Bytes countBytes = Int32Bytes(count_.value_or(blockCount_));
    out.insert(out.end(), countBytes.begin(), countBytes.end());
    out.insert(out.end(), index_.begin(), index_.end());
    const Bytes& data = dataArea_ ? *dataArea_ : blocks_;
    out.insert(out.end(), data.begin(), data.end());
  }
  out.insert(out.end(), trailer_.begin(), trailer_.end());
  return out;
}

void ArchiveBuilder::WriteTo(const std::string& path) const {
  const Bytes bytes = Build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tovask::testing
