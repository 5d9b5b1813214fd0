#include "support/archive_fixture.h"

#include <algorithm>
#include <filesystem>

namespace tovask::testing {

std::vector<int> LoggedCodes(const AppContext& context) {
  std::vector<int> codes;
  for (const LoggedMessage& message : context.errorMessages)
    codes.push_back(CodeNumber(message.code));
  return codes;
}

std::vector<std::string> ArchiveFixture::WorkFolderNames() const {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(work.path())) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tovask::testing
