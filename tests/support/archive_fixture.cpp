#include "support/archive_fixture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tovask::testing {

std::vector<int> LoggedCodes(const std::string& errorLog) {
  std::vector<int> codes;
  std::size_t start = 0;
  while (start <= errorLog.size() && !errorLog.empty()) {
    std::size_t end = errorLog.find("\r\n", start);
    if (end == std::string::npos) end = errorLog.size();
    const std::string line = errorLog.substr(start, end - start);
    std::size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) {
      ++digits;
    }
    if (digits > 0 && digits < line.size() && line[digits] == ':') {
      codes.push_back(std::stoi(line.substr(0, digits)));
    }
    if (end == errorLog.size()) break;
    start = end + 2;
  }
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
