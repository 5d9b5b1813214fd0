// Feeds arbitrary bytes to LoadArchiveIndex in every load mode. The reader must answer each
// input with success or a numbered error: a crash, a sanitizer report, a hang or an
// allocation far beyond the input's size is a finding.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/reader.h"
#include "core/app_context.h"

namespace {

// One file per process, rewritten for every input; removed at exit. The name is never
// destroyed, so the exit handler can still read it.
const std::string& InputPath() {
  static const std::string& path = *[] {
    std::string pattern = "/tmp/fuzz_load_archive-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      std::perror("mkstemp");
      std::abort();
    }
    close(fd);
    std::atexit([] { unlink(InputPath().c_str()); });
    return new std::string(pattern);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tovask::AppContext& context = []() -> tovask::AppContext& {
    static tovask::AppContext c;
    // No StartUp: messages fall back to their built-in texts and no file is written.
    c.archiveMagic = "RID";
    c.formatVersion = "1.05";
    return c;
  }();
  std::FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::abort();
  }

  for (const auto mode : {tovask::LoadMode::IndexOnly, tovask::LoadMode::WithBlocks,
                          tovask::LoadMode::WithDataArea}) {
    tovask::ArchiveIndex index;
    tovask::LoadOptions options;
    options.mode = mode;
    ClearErrorLog(context);
    context.stepOk = true;
    const bool ok = tovask::LoadArchiveIndex(context, index, InputPath(), options);
    // Every outcome is either a consistent index or a recorded error.
    if (ok != context.errorLog.empty()) std::abort();
    if (ok && index.paths.size() != static_cast<std::size_t>(index.count)) std::abort();
  }
  return 0;
}
