#include "core/ordered_work.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "core/app_context.h"
#include "platform/processors.h"

namespace tovask {

unsigned WorkerThreads(const AppContext& context) {
  constexpr unsigned kMostWorkers = 256;
  if (context.workerThreads != 0) return std::min(context.workerThreads, kMostWorkers);
  if (const char* text = std::getenv("TOVASK_WORKERS"); text != nullptr) {
    const std::string_view value(text);
    unsigned workers = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), workers);
    if (error == std::errc{} && end == value.data() + value.size() && workers >= 1 &&
        workers <= kMostWorkers) {
      return workers;
    }
  }
  return std::min(platform::UsableProcessors(), kMostWorkers);
}

}  // namespace tovask
