// Helpers shared by the collection and compress tests.
#pragma once

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_handle.h"

namespace tovask::testing {

// The codes of an error log ("code:text" lines joined by CR LF), in order.
inline std::vector<int> LoggedCodes(const std::string& log) {
  std::vector<int> codes;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    std::size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) {
      ++digits;
    }
    if (digits > 0 && digits < line.size() && line[digits] == ':') {
      codes.push_back(std::stoi(line.substr(0, digits)));
    }
    start = end + 2;
  }
  return codes;
}

// Installs a fault hook for as long as it lives.
class HookGuard {
 public:
  explicit HookGuard(platform::FaultHook hook) { platform::SetFaultHook(std::move(hook)); }
  ~HookGuard() { platform::SetFaultHook({}); }
  HookGuard(const HookGuard&) = delete;
  HookGuard& operator=(const HookGuard&) = delete;
};

}  // namespace tovask::testing
