#include "archive/block_spill.h"

#include <utility>

#include "core/message_codes.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/temporary_folders.h"

namespace tovask {

bool BlockSpill::Keep(AppContext& context, Bytes&& block, Bytes& slot, BlockPlace& place) {
  place = {};
  if (held_ + block.size() <= budget_) {
    held_ += block.size();
    slot = std::move(block);
    return true;
  }
  slot = Bytes{};
  if (!scratch_) {
    scratch_ = platform::File::CreateScratch(folder_);
    if (!scratch_) {
      ErrorText(context, ErrorCode::OpenTemporaryFile);
      ErrorText(context, ErrorCode::WriteData);
      return false;
    }
  }
  // After a partial write the file's length is unknown: no later block may go there. The
  // file stays open for the places already handed out.
  if (broken_ || !scratch_->Write(block)) {
    broken_ = true;
    ErrorText(context, ErrorCode::WriteData);
    return false;
  }
  place = {&*scratch_, static_cast<std::int64_t>(scratchSize_)};
  scratchSize_ += block.size();
  Bytes().swap(block);
  return true;
}

std::string BlockSpill::FolderFor(const std::string& archivePath) {
  std::string folder = platform::ParentFolder(platform::ResolveFinalTarget(archivePath));
  if (!folder.empty() && platform::FolderExists(folder)) return folder;
  return platform::TemporaryFilesFolder();
}

}  // namespace tovask
