#include "archive/archive_index.h"

#include <utility>

namespace tovask {

void ArchiveIndex::Clear() {
  // Swapping with empty containers releases the memory, not only the elements: an operation
  // that held every stored block must give that memory back when it ends.
  std::vector<std::string>().swap(paths);
  std::vector<std::int32_t>().swap(originalSizes);
  std::vector<double>().swap(times);
  std::vector<std::uint8_t>().swap(flags);
  std::vector<std::string>().swap(md5Texts);
  std::vector<std::int32_t>().swap(storedSizes);
  std::vector<std::int32_t>().swap(dataOffsets);
  std::vector<Bytes>().swap(storedBlocks);
  std::vector<BlockPlace>().swap(blockPlaces);
  Bytes().swap(dataArea);
  dataAreaPlace = {};
  dataAreaLength = 0;
  count = 0;
  dataAreaStart = 0;
  carriesDataArea = false;
}

void ArchiveIndex::Reserve(std::size_t entries) {
  const std::size_t size = paths.size() + entries;
  paths.reserve(size);
  originalSizes.reserve(size);
  times.reserve(size);
  flags.reserve(size);
  md5Texts.reserve(size);
  storedSizes.reserve(size);
  dataOffsets.reserve(size);
}

void ArchiveIndex::Append(const ArchiveEntry& entry) {
  paths.push_back(entry.path);
  originalSizes.push_back(entry.originalSize);
  times.push_back(entry.time);
  flags.push_back(entry.flags);
  md5Texts.push_back(entry.md5Text);
  storedSizes.push_back(entry.storedSize);
  dataOffsets.push_back(entry.dataOffset);
}

void ArchiveIndex::Append(ArchiveEntry&& entry) {
  paths.push_back(std::move(entry.path));
  originalSizes.push_back(entry.originalSize);
  times.push_back(entry.time);
  flags.push_back(entry.flags);
  md5Texts.push_back(std::move(entry.md5Text));
  storedSizes.push_back(entry.storedSize);
  dataOffsets.push_back(entry.dataOffset);
}

ArchiveEntry ArchiveIndex::Entry(std::size_t i) const {
  ArchiveEntry entry;
  entry.path = paths[i];
  entry.originalSize = originalSizes[i];
  entry.time = times[i];
  entry.flags = flags[i];
  entry.md5Text = md5Texts[i];
  entry.storedSize = storedSizes[i];
  entry.dataOffset = dataOffsets[i];
  return entry;
}

ArchiveEntry ArchiveIndex::TakeEntry(std::size_t i) {
  ArchiveEntry entry;
  entry.path = std::move(paths[i]);
  entry.originalSize = originalSizes[i];
  entry.time = times[i];
  entry.flags = flags[i];
  entry.md5Text = std::move(md5Texts[i]);
  entry.storedSize = storedSizes[i];
  entry.dataOffset = dataOffsets[i];
  return entry;
}

}  // namespace tovask
