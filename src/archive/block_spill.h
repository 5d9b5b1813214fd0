// BlockSpill: holds the new stored blocks of a change (compressed or sealed files) within a
// memory budget until the writer has put them into the new archive.
//
// Blocks stay in memory while together they fit the budget; every later one is appended to an
// anonymous scratch file (platform::File::CreateScratch, made on first need, gone when the
// spill ends, also after a crash) and its place handed out instead, which the writer copies
// from (writer.h). A run that fits the budget touches no disk. The spill must outlive every
// index holding its places. One thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "archive/archive_index.h"
#include "core/app_context.h"
#include "platform/bytes.h"
#include "platform/file_handle.h"

namespace tovask {

class BlockSpill {
 public:
  // folder: where the scratch file goes (best on the archive's volume, so the copy stays
  // inside one file system); budget: the bytes kept in memory (AppContext::blockMemoryBudget).
  BlockSpill(std::string folder, std::uint64_t budget)
      : folder_(std::move(folder)), budget_(budget) {}
  // Places point into the spill's own file: it never moves.
  BlockSpill(const BlockSpill&) = delete;
  BlockSpill& operator=(const BlockSpill&) = delete;

  // Takes block: afterwards either slot holds it and place is empty (file null), or slot is
  // empty and place names the block's bytes in the scratch file. On a failure nothing is kept
  // and the writer's messages are recorded: 18 then 20 when the scratch file cannot be made,
  // 20 when it cannot be written.
  [[nodiscard]] bool Keep(AppContext& context, Bytes&& block, Bytes& slot, BlockPlace& place);

  // The folder for a spill serving the archive at archivePath: the folder of the file the path
  // finally names when it exists, else the folder for temporary files.
  [[nodiscard]] static std::string FolderFor(const std::string& archivePath);

 private:
  std::string folder_;
  std::uint64_t budget_;
  std::uint64_t held_ = 0;  // bytes of the blocks handed back in memory
  std::optional<platform::File> scratch_;
  std::uint64_t scratchSize_ = 0;
  bool broken_ = false;
};

}  // namespace tovask
