#include "archive/block_spill.h"

#include <utility>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/temporary_folders.h"

namespace tovask {

BlockSpill::Result BlockSpill::Keep(Bytes&& block, Bytes& slot, BlockPlace& place) {
  place = {};
  if (held_ + block.size() <= budget_) {
    held_ += block.size();
    slot = std::move(block);
    return Result::Kept;
  }
  slot = Bytes{};
  if (!scratch_) {
    scratch_ = platform::File::CreateScratch(folder_);
    if (!scratch_) return Result::CannotCreate;
  }
  // After a partial write the file's length is unknown: no later block may go there. The
  // file stays open for the places already handed out.
  if (broken_ || !scratch_->Write(block)) {
    broken_ = true;
    return Result::CannotWrite;
  }
  place = {&*scratch_, static_cast<std::int64_t>(scratchSize_)};
  scratchSize_ += block.size();
  Bytes().swap(block);
  return Result::Kept;
}

std::string BlockSpill::FolderFor(const std::string& archivePath) {
  std::string folder = platform::ParentFolder(platform::ResolveFinalTarget(archivePath));
  if (!folder.empty() && platform::FolderExists(folder)) return folder;
  return platform::TemporaryFilesFolder();
}

}  // namespace tovask
