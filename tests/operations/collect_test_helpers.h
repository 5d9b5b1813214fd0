// Helpers shared by the collection and compress tests.
#pragma once

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_handle.h"

#include "support/archive_fixture.h"  // LoggedCodes

namespace tovask::testing {

// Installs a fault hook for as long as it lives.
class HookGuard {
 public:
  explicit HookGuard(platform::FaultHook hook) { platform::SetFaultHook(std::move(hook)); }
  ~HookGuard() { platform::SetFaultHook({}); }
  HookGuard(const HookGuard&) = delete;
  HookGuard& operator=(const HookGuard&) = delete;
};

}  // namespace tovask::testing
